// meminfo: any text as /proc/meminfo, through ParseMemInfo,
// AvailablePhysical and MapMemoryStatus, with an arbitrary memory cgroup and
// address-space sizes.
//
// Input: a 49-byte head (mode, the cgroup's limit, usage and inactive file
// cache, the user address space, the process's size, and a raw total and
// available for MemoryLoadPercent), then the text.
//
// Properties: ParseMemInfo fails only without a non-zero MemTotal; swap free
// never exceeds swap total; available physical never exceeds the total and
// is MemAvailable whenever that is at most MemTotal; every count in the
// record is finite and non-negative, nothing available exceeds its total,
// and the total and available physical are those of the cgroup exactly
// when its limit is below MemTotal; the memory load is the used share of
// the total in percent, truncated (so 0..100); and the report prints such a
// record without a run-time error.
#include "fuzz_support.h"
#include "linux_sources.h"
#include "modMain.h"

#include <algorithm>
#include <cmath>

namespace {

using linux_sources::CgroupMemory;

std::uint32_t ReferenceLoad(std::uint64_t total, std::uint64_t available) {
    if (total == 0)
        return 0;
    const fuzz::Wide used = total - std::min(available, total);
    return static_cast<std::uint32_t>(used * 100 / total);
}

bool IsCount(double value) { return std::isfinite(value) && value >= 0; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::Reader input(data, size);
    const auto mode = input.Take<std::uint8_t>();
    const auto limit = input.Take<std::uint64_t>();
    const auto usage = input.Take<std::uint64_t>();
    const auto inactiveFile = input.Take<std::uint64_t>();
    const auto userSpace = input.Take<std::uint64_t>();
    const auto processPages = input.Take<std::uint64_t>();
    const auto pageSize = std::uint64_t{1} << (input.Take<std::uint8_t>() % 20);
    const auto loadTotal = input.Take<std::uint64_t>();
    const auto loadAvailable = input.Take<std::uint64_t>();
    const std::string_view text = input.Rest();

    const std::uint32_t load = posix_sources::MemoryLoadPercent(loadTotal, loadAvailable);
    FUZZ_REQUIRE(load <= 100);
    FUZZ_REQUIRE(load == ReferenceLoad(loadTotal, loadAvailable));

    const std::optional<linux_sources::MemInfo> info = linux_sources::ParseMemInfo(text);
    const std::optional<std::uint64_t> memTotal = fuzz::KibibyteField(text, "MemTotal");
    if (!info) {
        FUZZ_REQUIRE(!memTotal || *memTotal == 0);
        return 0;
    }
    FUZZ_REQUIRE(memTotal && info->total == *memTotal && info->total > 0);
    FUZZ_REQUIRE(info->swapFree <= info->swapTotal);

    const std::uint64_t available = linux_sources::AvailablePhysical(*info);
    FUZZ_REQUIRE(available <= info->total);
    if (info->available && *info->available <= info->total)
        FUZZ_REQUIRE(available == *info->available);

    // The cgroup's limit: raw, below MemTotal, MemTotal itself or half of it.
    std::optional<CgroupMemory> cgroup;
    if (mode & 1) {
        switch ((mode >> 1) & 3) {
        case 0: cgroup = CgroupMemory{limit, usage, inactiveFile}; break;
        case 1: cgroup = CgroupMemory{limit % info->total, usage, inactiveFile}; break;
        case 2: cgroup = CgroupMemory{info->total, usage, inactiveFile}; break;
        default: cgroup = CgroupMemory{info->total / 2, usage, inactiveFile}; break;
        }
    }
    const kxutil::MemoryStatusRecord record = posix_sources::MapMemoryStatus(
        linux_sources::PhysicalMemoryOf(*info), cgroup, userSpace, processPages, pageSize);

    FUZZ_REQUIRE(record.dwLength == sizeof record);
    for (double count : {record.ullTotalPhys, record.ullAvailPhys, record.ullTotalPageFile,
                         record.ullAvailPageFile, record.ullTotalVirtual, record.ullAvailVirtual,
                         record.ullAvailExtendedVirtual})
        FUZZ_REQUIRE(IsCount(count));
    FUZZ_REQUIRE(record.ullAvailPhys <= record.ullTotalPhys);
    FUZZ_REQUIRE(record.ullAvailPageFile <= record.ullTotalPageFile);
    FUZZ_REQUIRE(record.ullAvailVirtual <= record.ullTotalVirtual);
    FUZZ_REQUIRE(record.ullTotalVirtual == static_cast<double>(userSpace));

    const bool limited = cgroup && cgroup->limit < info->total;
    const std::uint64_t total = limited ? cgroup->limit : info->total;
    std::uint64_t expectedAvailable = available;
    if (limited) {
        const std::uint64_t held = usage > inactiveFile ? usage - inactiveFile : 0;
        expectedAvailable = std::min(available, held < total ? total - held : 0);
    }
    FUZZ_REQUIRE(record.ullTotalPhys == static_cast<double>(total));
    FUZZ_REQUIRE(record.ullMachineTotalPhys == (limited ? static_cast<double>(info->total) : 0));
    FUZZ_REQUIRE(record.ullAvailPhys == static_cast<double>(expectedAvailable));
    FUZZ_REQUIRE(record.dwMemoryLoad <= 100);
    FUZZ_REQUIRE(record.dwMemoryLoad == ReferenceLoad(total, expectedAvailable));

    std::u16string report = u"%01%|%02|%03|%04|%05|%06|%07|%08";
    try {
        modMain::FillReport(report, kxutil::SystemInfoRecord{}, record, true, u"");
    } catch (const modMain::RunTimeError &) {
        FUZZ_REQUIRE(!"the report cannot print the memory status the Linux layer made");
    }
    return 0;
}
