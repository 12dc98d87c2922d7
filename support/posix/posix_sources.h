// What a POSIX system's layer makes its facts of, whichever system it is:
// the machine name uname gives, os-release, the x86 processor's identity
// and the memory figures, each with the meaning of its Windows namesake.
// Free of I/O, so that any input can be fed to them.
#pragma once

#include "kxutil.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace posix_sources {

// Takes the next line off the front of text.
std::string_view NextLine(std::string_view &text);
void SkipBlanks(std::string_view &text);

// --- Memory ---

// The machine's memory as its system counts it, in bytes.
struct PhysicalMemory {
    std::uint64_t total = 0;
    std::uint64_t available = 0;
    std::uint64_t swapTotal = 0, swapFree = 0;
};

// A limit on this process's memory (a Linux memory cgroup's) and what it
// holds against that limit.
struct MemoryLimit {
    std::uint64_t limit = 0;
    std::uint64_t usage = 0;
    std::uint64_t inactiveFile = 0;
};

std::uint32_t MemoryLoadPercent(std::uint64_t total, std::uint64_t available);
kxutil::MemoryStatusRecord MapMemoryStatus(const PhysicalMemory &info,
                                           const std::optional<MemoryLimit> &cgroup,
                                           std::uint64_t userSpaceBytes, std::uint64_t processPages,
                                           std::uint64_t pageSize);

// The value of a key of an os-release file, unquoted and unescaped.
std::optional<std::string> OsReleaseValue(std::string_view text, std::string_view key);

// --- The processor, with the meanings Windows gives its fields ---

// Windows' architecture code for the machine a kernel reports (uname -m):
// kArchIntel for i386 to i686, kArchAmd64 for x86_64, kArchArm for 32-bit
// ARM, kArchArm64 for aarch64, kArchUnknown for what Windows has no code
// for (s390x, riscv64, ...).
std::uint16_t ArchitectureCode(std::string_view machine);
// Whether that machine name is a 64-bit kernel's. armv8l and armv8b are the
// 32-bit ARM personality's, whether of a 32-bit kernel or of a 64-bit one
// running a program as 32-bit: both say 32-bit ARM, as ArchitectureCode does.
bool IsSixtyFourBitMachine(std::string_view machine);

struct ProcessorIdentity {
    std::uint16_t level = 0;
    std::uint16_t revision = 0;
};
// x86, from EAX of cpuid leaf 1: level = the displayed family, revision =
// (displayed model << 8) | stepping.
ProcessorIdentity X86ProcessorIdentity(std::uint32_t cpuidEax);

} // namespace posix_sources
