#include "posix_sources.h"

#include <gtest/gtest.h>

using namespace posix_sources;

TEST(MemInfo, MemoryLoadIsTruncated) {
    EXPECT_EQ(MemoryLoadPercent(1000, 1000), 0u);
    EXPECT_EQ(MemoryLoadPercent(1000, 0), 100u);
    EXPECT_EQ(MemoryLoadPercent(1000, 991), 0u);
    EXPECT_EQ(MemoryLoadPercent(1000, 5), 99u);
    EXPECT_EQ(MemoryLoadPercent(UINT64_MAX, 0), 100u);
    // Exact beyond 184 PB too, where 100 * used overflows 64 bits.
    EXPECT_EQ(MemoryLoadPercent(UINT64_MAX, UINT64_MAX / 100 + 1), 98u);
    EXPECT_EQ(MemoryLoadPercent(UINT64_MAX, UINT64_MAX / 100), 99u);
    EXPECT_EQ(MemoryLoadPercent(0, 0), 0u);
}

TEST(OsRelease, UnquotesAndUnescapes) {
    EXPECT_EQ(
        OsReleaseValue("NAME=x\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n", "PRETTY_NAME"),
        "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(OsReleaseValue("PRETTY_NAME='It''s \\ here'", "PRETTY_NAME"), "Its \\ here");
    EXPECT_EQ(OsReleaseValue("PRETTY_NAME=\"A \\\"B\\\" \\$C\"\r\n", "PRETTY_NAME"), "A \"B\" $C");
    EXPECT_EQ(OsReleaseValue("PRETTY_NAME=Plain\n", "PRETTY_NAME"), "Plain");
    EXPECT_EQ(OsReleaseValue("# PRETTY_NAME=no\nPRETTY_NAME_X=no\n", "PRETTY_NAME"), std::nullopt);
    EXPECT_EQ(OsReleaseValue("PRETTY_NAME=\"unterminated", "PRETTY_NAME"), "unterminated");
    EXPECT_EQ(OsReleaseValue("PRETTY_NAME=a\nPRETTY_NAME=b\n", "PRETTY_NAME"), "b");
}

TEST(Processor, MachineNamesAsWindowsArchitectureCodesAndKernelWidths) {
    struct Row {
        const char *machine;
        std::uint16_t code;
        bool sixtyFourBit;
    };
    const Row rows[] = {
        {"x86_64", 9, true},       {"amd64", 9, true},        {"i686", 0, false},
        {"i386", 0, false},        {"i586", 0, false},        {"i786", 0xFFFF, false},
        {"i286", 0xFFFF, false},   {"ix86", 0xFFFF, false},   {"aarch64", 12, true},
        {"aarch64_be", 12, true},  {"arm64", 12, true},       {"armv7l", 5, false},
        {"armv8l", 5, false},      {"armv8b", 5, false},      {"armv5tel", 5, false},
        {"mips", 1, false},        {"mips64", 1, true},       {"alpha", 2, true},
        {"ppc64le", 3, true},      {"ppc64", 3, true},        {"ppc", 3, false},
        {"powerpc", 3, false},     {"ia64", 6, true},         {"s390x", 0xFFFF, true},
        {"s390", 0xFFFF, false},   {"riscv64", 0xFFFF, true}, {"loongarch64", 0xFFFF, true},
        {"sparc64", 0xFFFF, true}, {"parisc", 0xFFFF, false}, {"", 0xFFFF, false},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(ArchitectureCode(row.machine), row.code) << row.machine;
        EXPECT_EQ(IsSixtyFourBitMachine(row.machine), row.sixtyFourBit) << row.machine;
    }
}

TEST(Processor, LevelAndRevisionFromX86Cpuid) {
    struct X86Row {
        std::uint32_t eax;
        std::uint16_t level, revision;
    };
    const X86Row x86[] = {
        {0x00000435, 4, 0x0305},  // 486 DX4: family 4, model 3, stepping 5
        {0x00000543, 5, 0x0403},  // Pentium
        {0x00000663, 6, 0x0603},  // qemu's 32-bit CPU
        {0x000906EA, 6, 0x9E0A},  // family 6 takes the extended model: 158
        {0x00A20F10, 25, 0x2100}, // family 15 adds the extended family: 25, model 33
    };
    for (const X86Row &row : x86) {
        EXPECT_EQ(X86ProcessorIdentity(row.eax).level, row.level) << std::hex << row.eax;
        EXPECT_EQ(X86ProcessorIdentity(row.eax).revision, row.revision) << std::hex << row.eax;
    }
}
