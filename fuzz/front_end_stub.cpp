// The front-end that the shared core links against. No fuzz target drives
// the core as far as showing anything, so every way of showing is a fault.
#include "FrontEnd.h"

#include <cstdio>
#include <cstdlib>

namespace FrontEnd {

const char16_t kProgramTitle[] = u"Orbelle fuzz target";

namespace {

[[noreturn]] void Unexpected(const char *what) {
    std::fprintf(stderr, "fuzz target reached FrontEnd::%s\n", what);
    std::abort();
}

} // namespace

void ShowAbout() { Unexpected("ShowAbout"); }
void ShowUsage(std::u16string) { Unexpected("ShowUsage"); }
void ShowReport(std::u16string) { Unexpected("ShowReport"); }
void ShowRunTimeError(std::u16string_view) { Unexpected("ShowRunTimeError"); }

} // namespace FrontEnd
