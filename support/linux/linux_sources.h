// Parsers for the Linux files that kxutil reads (/proc, /sys),
// kept free of I/O so that any text can be fed to them.
#pragma once

#include "kxutil.h"
#include "posix_sources.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace linux_sources {

using CgroupMemory = posix_sources::MemoryLimit;
using posix_sources::ProcessorIdentity;

// The /proc/meminfo fields that the memory status is made of, in bytes.
struct MemInfo {
    std::uint64_t total = 0;
    std::optional<std::uint64_t> available;
    std::uint64_t free = 0, buffers = 0, cached = 0, sReclaimable = 0, shmem = 0;
    std::uint64_t swapTotal = 0, swapFree = 0;
};

// The value of a "key N" line (as in memory.stat).
std::optional<std::uint64_t> SpaceSeparatedField(std::string_view text, std::string_view key);
// nullopt when MemTotal is missing or zero.
std::optional<MemInfo> ParseMemInfo(std::string_view text);
// The program's size in pages: the first field of /proc/self/statm.
std::optional<std::uint64_t> ParseStatmSize(std::string_view text);
std::uint64_t AvailablePhysical(const MemInfo &info);
posix_sources::PhysicalMemory PhysicalMemoryOf(const MemInfo &info);

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

// Elsewhere, from /proc/cpuinfo where it gives the CPU's identification (ARM):
// level = "CPU architecture", revision = ("CPU variant" << 8) | "CPU
// revision"; zeros where it does not.
ProcessorIdentity CpuInfoProcessorIdentity(std::string_view cpuinfo);

} // namespace linux_sources
