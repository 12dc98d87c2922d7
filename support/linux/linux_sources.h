// Parsers for the Linux files that kxutil reads (/proc, /sys, os-release),
// kept free of I/O so that any text can be fed to them.
#pragma once

#include "kxutil.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace linux_sources {

// The /proc/meminfo fields that the memory status is made of, in bytes.
struct MemInfo {
    std::uint64_t total = 0;
    std::optional<std::uint64_t> available;
    std::uint64_t free = 0, buffers = 0, cached = 0, sReclaimable = 0, shmem = 0;
    std::uint64_t swapTotal = 0, swapFree = 0;
};

// A memory cgroup's limit and what it holds against that limit.
struct CgroupMemory {
    std::uint64_t limit = 0;
    std::uint64_t usage = 0;
    std::uint64_t inactiveFile = 0;
};

// The value of a "key N" line (as in memory.stat).
std::optional<std::uint64_t> SpaceSeparatedField(std::string_view text, std::string_view key);
// nullopt when MemTotal is missing or zero.
std::optional<MemInfo> ParseMemInfo(std::string_view text);
// The program's size in pages: the first field of /proc/self/statm.
std::optional<std::uint64_t> ParseStatmSize(std::string_view text);
std::uint64_t AvailablePhysical(const MemInfo &info);
std::uint32_t MemoryLoadPercent(std::uint64_t total, std::uint64_t available);
kxutil::MemoryStatusRecord MapMemoryStatus(const MemInfo &info,
                                           const std::optional<CgroupMemory> &cgroup,
                                           std::uint64_t userSpaceBytes, std::uint64_t processPages,
                                           std::uint64_t pageSize);

// The value of a key of an os-release file, unquoted and unescaped.
std::optional<std::string> OsReleaseValue(std::string_view text, std::string_view key);

// A CPU list such as "0-3,8,10-11" as a mask of the CPUs below 64; count,
// when given, gets the number of CPUs in the list, all of them, each once
// however often it is listed (at most UINT64_MAX).
std::optional<std::uint64_t> ParseCpuList(std::string_view text, std::uint64_t *count = nullptr);

// The memory controller's path in /proc/self/cgroup: the v1 "memory"
// hierarchy when there is one, else the unified (v2) hierarchy.
struct CgroupPath {
    bool unified = false;
    std::string path;
};
std::optional<CgroupPath> MemoryCgroupPath(std::string_view procSelfCgroup);
// Where that cgroup's files are, and where its hierarchy is mounted, from
// /proc/self/mountinfo.
struct CgroupDirectory {
    std::string directory;
    std::string mountPoint;
};
std::optional<CgroupDirectory> MemoryCgroupDirectory(std::string_view mountInfo,
                                                     const CgroupPath &cgroup);
// The limit in a memory.max or memory.limit_in_bytes file; nullopt for no limit.
std::optional<std::uint64_t> ParseMemoryLimit(std::string_view text);

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
// Elsewhere, from /proc/cpuinfo where it gives the CPU's identification (ARM):
// level = "CPU architecture", revision = ("CPU variant" << 8) | "CPU
// revision"; zeros where it does not.
ProcessorIdentity CpuInfoProcessorIdentity(std::string_view cpuinfo);

} // namespace linux_sources
