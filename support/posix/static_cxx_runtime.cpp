// Linked into OrbelleC when GNU libstdc++ is linked statically (Linux).
//
// The runtime's default terminate handler names the uncaught exception's
// type: it brings the demangler and stdio with it, seven more C library
// symbols that the loader binds at every start (-z now). main catches the
// program's own errors; anything else that escapes ends the process with
// SIGABRT, as the handler itself would after its message.
#include <cstdlib>
#include <exception>

namespace __cxxabiv1 {
std::terminate_handler __terminate_handler = std::abort;
} // namespace __cxxabiv1
