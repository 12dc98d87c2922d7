#include "kxutil_posix_detail.h"
#include "linux_sources.h"

#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace linux_sources;

namespace {

constexpr std::uint64_t KiB = 1024;

const char kMemInfo[] = "MemTotal:        8000000 kB\n"
                        "MemFree:         1000000 kB\n"
                        "MemAvailable:    6000000 kB\n"
                        "Buffers:          100000 kB\n"
                        "Cached:          2000000 kB\n"
                        "SwapCached:            0 kB\n"
                        "Shmem:            300000 kB\n"
                        "SReclaimable:     200000 kB\n"
                        "SwapTotal:       2000000 kB\n"
                        "SwapFree:        1500000 kB\n";

} // namespace

TEST(MemInfo, MapsToTheWindowsMeanings) {
    const auto info = ParseMemInfo(kMemInfo);
    ASSERT_TRUE(info);
    const kxutil::MemoryStatusRecord record = posix_sources::MapMemoryStatus(
        PhysicalMemoryOf(*info), std::nullopt, 3221225472u, 25600, 4096);
    EXPECT_EQ(record.ullTotalPhys, 8000000.0 * KiB);
    EXPECT_EQ(record.ullAvailPhys, 6000000.0 * KiB);
    EXPECT_EQ(record.dwMemoryLoad, 25u);
    EXPECT_EQ(record.ullTotalPageFile, 10000000.0 * KiB);
    EXPECT_EQ(record.ullAvailPageFile, 7500000.0 * KiB);
    // A 3 GiB address space of which the process's 25600 pages take 100 MiB.
    EXPECT_EQ(record.ullTotalVirtual, 3221225472.0);
    EXPECT_EQ(record.ullAvailVirtual, 3221225472.0 - 104857600.0);
    // A process as large as the space, or whose pages times the page size overflow 64 bits.
    EXPECT_EQ(posix_sources::MapMemoryStatus(PhysicalMemoryOf(*info), std::nullopt, 4096, 2, 4096)
                  .ullAvailVirtual,
              0.0);
    EXPECT_EQ(posix_sources::MapMemoryStatus(PhysicalMemoryOf(*info), std::nullopt, 4096,
                                             1ull << 52, 4096)
                  .ullAvailVirtual,
              0.0);
}

TEST(MemInfo, FieldsAndTheAvailableMemoryAtTheirLimits) {
    std::string noAvailable = kMemInfo;
    noAvailable.erase(noAvailable.find("MemAvailable"), 28);
    struct Row {
        std::string text;
        std::uint64_t total, available, swapFree;
    } rows[] = {
        // Free + Buffers + Cached + SReclaimable - Shmem without MemAvailable,
        // or with one above MemTotal; MemAvailable equal to MemTotal holds.
        {noAvailable, 8000000 * KiB, 3000000 * KiB, 1500000 * KiB},
        {"MemAvailable: 9000000 kB\n" + noAvailable, 8000000 * KiB, 3000000 * KiB, 1500000 * KiB},
        {"MemAvailable: 8000000 kB\n" + noAvailable, 8000000 * KiB, 8000000 * KiB, 1500000 * KiB},
        // The first line of a field counts; swap free is at most swap total.
        {"MemTotal: 100 kB\nMemTotal: 200 kB\nMemAvailable: 7 kB\nSwapTotal: 5 kB\nSwapFree: 6 "
         "kB\n",
         100 * KiB, 7 * KiB, 5 * KiB},
        // Shmem above the estimate; reclaimable parts that overflow 64 bits
        // in sum; a count without "kB" is bytes.
        {"MemTotal: 4096\nMemFree: 1 kB\nShmem: 2 kB\n", 4096, 0, 0},
        {"MemTotal: 1000 kB\nMemFree: 18014398509481983 kB\nBuffers: 1 kB\n", 1000 * KiB,
         1000 * KiB, 0},
        {"MemTotal: 18014398509481983 kB\nMemAvailable: 0 kB", UINT64_MAX - 1023, 0, 0},
    };
    for (const Row &row : rows) {
        const auto info = ParseMemInfo(row.text);
        ASSERT_TRUE(info) << row.text;
        EXPECT_EQ(info->total, row.total) << row.text;
        EXPECT_EQ(AvailablePhysical(*info), row.available) << row.text;
        EXPECT_EQ(info->swapFree, row.swapFree) << row.text;
    }
}

TEST(MemInfo, RejectsTextWithoutTotal) {
    EXPECT_FALSE(ParseMemInfo(""));
    EXPECT_FALSE(ParseMemInfo("MemFree: 10 kB\n"));
    EXPECT_FALSE(ParseMemInfo("MemTotal: 0 kB\n"));
    EXPECT_FALSE(ParseMemInfo("MemTotal: lots kB\n"));
    EXPECT_FALSE(ParseMemInfo("MemTotal: 10 MB\n"));
    EXPECT_FALSE(ParseMemInfo("MemTotal: 99999999999999999999 kB\n"));
    EXPECT_FALSE(ParseMemInfo("MemTotal: 18014398509481984 kB\n")); // 2^64 bytes
    EXPECT_FALSE(ParseMemInfo("MemTotalX: 10 kB\n"));
}

TEST(Cgroup, ALimitBelowTheMachineIsThePhysicalMemory) {
    const auto info = ParseMemInfo(kMemInfo);
    constexpr std::uint64_t MiB = KiB * KiB, machine = 8000000 * KiB, free = 6000000 * KiB;
    const struct {
        CgroupMemory cgroup;
        std::uint64_t total, available;
        std::uint32_t load;
    } rows[] = {
        {{512 * MiB, 200 * MiB, 50 * MiB}, 512 * MiB, 362 * MiB, 29}, // file cache is not held
        {{512 * MiB, 10 * MiB, 50 * MiB}, 512 * MiB, 512 * MiB, 0},   // more cache than usage
        {{512 * MiB, 600 * MiB, 0}, 512 * MiB, 0, 100},               // usage above the limit
        {{machine, machine, 0}, machine, free, 25}, // a limit of the machine's memory: no limit
        {{UINT64_MAX, 200, 0}, machine, free, 25},
    };
    for (const auto &row : rows) {
        const auto record =
            posix_sources::MapMemoryStatus(PhysicalMemoryOf(*info), row.cgroup, 1 << 30, 0, 4096);
        EXPECT_EQ(record.ullTotalPhys, static_cast<double>(row.total)) << row.cgroup.usage;
        EXPECT_EQ(record.ullAvailPhys, static_cast<double>(row.available)) << row.cgroup.usage;
        EXPECT_EQ(record.dwMemoryLoad, row.load) << row.cgroup.usage;
        EXPECT_EQ(record.ullTotalPageFile, row.total + 2000000.0 * KiB) << row.cgroup.usage;
        // The machine's own total goes with a limit, and only with one.
        EXPECT_EQ(record.ullMachineTotalPhys, row.total < machine ? 8000000.0 * KiB : 0)
            << row.cgroup.usage;
    }
}

TEST(Cgroup, FindsTheMemoryControllersDirectory) {
    const auto v1 = MemoryCgroupPath("12:pids:/a\n4:cpu,memory:/box/app\n0::/\n");
    ASSERT_TRUE(v1);
    EXPECT_FALSE(v1->unified);
    EXPECT_EQ(v1->path, "/box/app");
    const auto v2 = MemoryCgroupPath("0::/user.slice/a:b\n");
    ASSERT_TRUE(v2);
    EXPECT_TRUE(v2->unified);
    EXPECT_EQ(v2->path, "/user.slice/a:b");
    EXPECT_FALSE(MemoryCgroupPath("1:cpu:/\n5::/a\ngarbage\n"));

    const char mountInfo[] =
        "31 23 0:28 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
        "32 31 0:29 / /sys/fs/cgroup/cpu rw,relatime - cgroup cgroup rw,cpu\n"
        "35 31 0:32 / /sys/fs/cgroup/memory rw,relatime - cgroup cgroup rw,memory\n"
        "36 31 0:33 /box /sys/fs/cgroup/my\\040memory rw - cgroup cgroup rw,memory,hugetlb\n"
        "40 23 0:40 / /sys/fs/cgroup/unified rw shared:9 - cgroup2 cgroup2 rw\n";
    const auto directory = MemoryCgroupDirectory(mountInfo, *v1);
    ASSERT_TRUE(directory);
    EXPECT_EQ(directory->directory, "/sys/fs/cgroup/memory/box/app");
    EXPECT_EQ(directory->mountPoint, "/sys/fs/cgroup/memory");
    const auto unified = MemoryCgroupDirectory(mountInfo, *v2);
    ASSERT_TRUE(unified);
    EXPECT_EQ(unified->directory, "/sys/fs/cgroup/unified/user.slice/a:b");
    // A hierarchy mounted from a sub-directory (as in a container).
    const char containerMount[] =
        "36 31 0:33 /box /sys/fs/cgroup/my\\040memory rw - cgroup cgroup rw,memory\n";
    EXPECT_EQ(MemoryCgroupDirectory(containerMount, *v1)->directory,
              "/sys/fs/cgroup/my memory/app");
    EXPECT_FALSE(MemoryCgroupDirectory(containerMount, CgroupPath{false, "/elsewhere"}));
    EXPECT_FALSE(MemoryCgroupDirectory(containerMount, CgroupPath{false, "/boxes/app"}));
}

TEST(Statm, SizeIsTheFirstField) {
    EXPECT_EQ(linux_sources::ParseStatmSize("2361 331 298 71 0 141 0\n"), 2361u);
    EXPECT_EQ(linux_sources::ParseStatmSize("2361"), std::nullopt);
    EXPECT_EQ(linux_sources::ParseStatmSize(" 2361 331"), std::nullopt);
}

TEST(CpuList, RangesBecomeAMaskAndACountOfEveryProcessor) {
    const struct {
        const char *list;
        std::uint64_t mask, count;
    } rows[] = {{"0-1\n", 0b11u, 2},
                {"0,0,0", 1, 1},
                {"5-9,0-6,2,70,8-8", 0b1111111111u, 11},
                {"0-4294967295", UINT64_MAX, 1ull << 32},
                {"1-18446744073709551615,0-5", UINT64_MAX, UINT64_MAX},
                {"0,2-3,5", 0b101101u, 4},
                {"0-127", UINT64_MAX, 128},
                {"0-63,100,4094-4095\n", UINT64_MAX, 67},
                {"64-65", 0, 2},
                {"3-3", 0b1000u, 1},
                {"63-65", 1ull << 63, 3}};
    for (const auto &row : rows) {
        std::uint64_t count = 0;
        EXPECT_EQ(ParseCpuList(row.list, &count), row.mask) << row.list;
        EXPECT_EQ(count, row.count) << row.list;
    }
    EXPECT_FALSE(ParseCpuList(""));
    EXPECT_FALSE(ParseCpuList("3-1"));
    EXPECT_FALSE(ParseCpuList("0-"));
    EXPECT_FALSE(ParseCpuList("a"));
}

TEST(Processor, LevelAndRevisionFromProcCpuInfo) {
    struct CpuInfoRow {
        const char *text;
        std::uint16_t level, revision;
    };
    const CpuInfoRow cpuinfo[] = {
        {"processor\t: 0\nCPU architecture: 7\nCPU variant\t: 0x0\nCPU part\t: 0xd03\n"
         "CPU revision\t: 4\n\nprocessor\t: 1\nCPU architecture: 8\n",
         7, 0x0004},
        {"CPU implementer\t: 0x41\nCPU architecture: 5TEJ\nCPU variant\t: 0x1\nCPU revision\t: 5\n",
         5, 0x0105},
        {"CPU variant : 0xA\nCPU architecture: 8\nCPU revision : 13", 8, 0x0A0D},
        {"vendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\nstepping\t: 10\n", 0, 0},
        {"CPU architecture: AArch64\nCPU variant\t: 0xzz\n", 0, 0},
        {"CPU architecture: 70000\nCPU variant\t: 0xf\nCPU revision\t: 0x12345\n", 0xFFFF, 0x0FFF},
    };
    for (const CpuInfoRow &row : cpuinfo) {
        EXPECT_EQ(CpuInfoProcessorIdentity(row.text).level, row.level) << row.text;
        EXPECT_EQ(CpuInfoProcessorIdentity(row.text).revision, row.revision) << row.text;
    }
}

// Only regular files of at most 1 MiB are read, and no descriptor is left open.
TEST(SystemFiles, SmallRegularFilesOnlyAndNoDescriptorLeftOpenBaseNamesAndConversions) {
    const std::string big = testing::TempDir() + "orbelle-big", fifo = testing::TempDir() + "fifo";
    std::ofstream(big) << std::string((1 << 20) + 1, 'x');
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int firstFree = dup(0);
    close(firstFree);
    const std::pair<std::string, std::int32_t> rows[] = {
        {"/proc/self/statm", 0}, {"/dev/null", -EINVAL}, {"/", -EINVAL},
        {fifo, -EINVAL},         {big, -EFBIG},          {"/nonexistent", -ENOENT}};
    for (const auto &[path, status] : rows) {
        std::string content;
        EXPECT_EQ(kxutil::posix_detail::ReadSmallFile(path.c_str(), content).value, status) << path;
        const int fd = dup(0);
        EXPECT_EQ(fd, firstFree) << path;
        close(fd);
    }
    unlink(fifo.c_str());
    unlink(big.c_str());
    using kxutil::posix_detail::BaseNameOf;
    EXPECT_EQ(BaseNameOf("/usr/bin/OrbelleC"), "OrbelleC");
    EXPECT_EQ(BaseNameOf("/a.b/c.d.EXE"), "c.d");
    EXPECT_EQ(BaseNameOf("/opt/.hidden"), ".hidden");
    EXPECT_EQ(BaseNameOf("name"), "name");
    // One '?' for each character, whatever the length of its UTF-8 sequence.
    std::string ascii;
    ASSERT_EQ(kxutil::posix_detail::Iconv(
                  "ASCII", "UTF-8",
                  "a\xC3\xA9\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBFz", "?",
                  true, ascii)
                  .value,
              0);
    EXPECT_EQ(ascii, "a??????z");
    // A field name journald would take as its own, or not at all, is refused before sending.
    std::int32_t unused = 0;
    const std::string names[] = {"_SOURCE", "0X", "9X", "Ab", "A-B", std::string(65, 'A')};
    for (const std::string &name : names)
        EXPECT_EQ(kxutil::kxLogInfo(u"x", {{name, u"v"}}, unused).value, -EINVAL) << name;
}
