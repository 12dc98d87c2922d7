// Preloaded into the program by the fault matrix: a clock that reads
// 2040-02-29 12:34:56 UTC, past the end of 32-bit time. It stands in for the
// C library's time(), under both of its names: __time64 is what a 32-bit
// program built with 64-bit time calls; a 32-bit time() cannot hold the
// date and fails as the C library's does.
#include <cerrno>
#include <cstdint>

namespace {
constexpr std::int64_t kNow = 2214131696;
}

extern "C" {

std::int64_t __time64(std::int64_t *result) {
    if (result != nullptr)
        *result = kNow;
    return kNow;
}

long time(long *result) {
    if (sizeof(long) < sizeof kNow) {
        errno = EOVERFLOW;
        return -1;
    }
    if (result != nullptr)
        *result = static_cast<long>(kNow);
    return static_cast<long>(kNow);
}
}
