#include "fake_front_end.h"
#include "modMain.h"
#include "unicode.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

std::u16string Described(std::u16string text, std::uint16_t architecture, std::uint16_t level,
                         std::uint16_t revision) {
    modMain::DescribeProcessor(text, architecture, level, revision);
    return text;
}

const std::u16string kRows = u"%20|%21|%22";

std::string ReadResourceFile(const std::string &name) {
    std::ifstream file(std::string(ORBELLE_SOURCE_DIR) + "/resources/" + name + ".txt",
                       std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

} // namespace

TEST(Placeholder, ReplacesEveryOccurrenceLeftToRightWithoutRescanning) {
    std::u16string text = u"%01 and %01%01, %011";
    modMain::ReplacePlaceholder(text, u"%01", u"7");
    EXPECT_EQ(text, u"7 and 77, 71");
    text = u"%00%00";
    modMain::ReplacePlaceholder(text, u"%00", u"%00x");
    EXPECT_EQ(text, u"%00x%00x");
    text = u"%%000";
    modMain::ReplacePlaceholder(text, u"%00", u"Name");
    EXPECT_EQ(text, u"%Name0");
    text = u"no placeholder";
    modMain::ReplacePlaceholder(text, u"%32", u"x");
    EXPECT_EQ(text, u"no placeholder");
}

TEST(Placeholder, IsFoundAmongCharactersThatShareItsBytes) {
    // U+2525 and U+0125 hold the byte of '%'; '%' is the low byte of the
    // first, so a byte search meets them first and must pass them by.
    std::u16string text = u"\u2525\u0125%\u2525%01\u2501%01";
    modMain::ReplacePlaceholder(text, u"%01", u"x");
    EXPECT_EQ(text, u"\u2525\u0125%\u2525x\u2501x");
    text = u"\u3025\u3130%01"; // "%01" only as the bytes of other characters
    modMain::ReplacePlaceholder(text, u"%01", u"x");
    EXPECT_EQ(text, u"\u3025\u3130x");
    text = u"%0";
    modMain::ReplacePlaceholder(text, u"%01", u"x");
    EXPECT_EQ(text, u"%0");
    text = u"";
    modMain::ReplacePlaceholder(text, u"%01", u"x");
    EXPECT_EQ(text, u"");
}

TEST(ProcessorDescription, IntelRowsByLevel) {
    EXPECT_EQ(Described(kRows, 0, 3, 0x0308), u"Intel|80386|3A8");
    EXPECT_EQ(Described(kRows, 0, 4, 0xFF45), u"Intel|80486|255A69");
    EXPECT_EQ(Described(kRows, 0, 2, 0x0000), u"Intel|80286|0A0");
    EXPECT_EQ(Described(kRows, 0, 5, 0x0204), u"Intel|Pentium|Model 2, Stepping 4");
    EXPECT_EQ(Described(kRows, 0, 6, 0x0F0B),
              u"Intel|Pentium Pro or Pentium II|Model 15, Stepping 11");
    EXPECT_EQ(Described(kRows, 0, 15, 0x0402), u"Intel|Unknown|Model 4, Stepping 2");
    EXPECT_EQ(Described(kRows, 0, 1, 0x0402), u"Intel|Unknown|Model 4, Stepping 2");
    EXPECT_EQ(Described(kRows, 0, 0xFFFF, 0x0402), u"Intel|Unknown|Model 4, Stepping 2");
}

TEST(ProcessorDescription, OtherArchitectures) {
    EXPECT_EQ(Described(kRows, 2, 21164, 0x0502), u"Alpha|21164|Model 5A, Pass 2");
    EXPECT_EQ(Described(kRows, 6, 0xFFFF, 0x0000), u"IA-64|-1|Model 0A, Pass 0");
    EXPECT_EQ(Described(kRows, 7, 1, 0x0101), u"Alpha64|1|Model 1A, Pass 1");
    EXPECT_EQ(Described(kRows, 1, 4, 0x1234), u"MIPS|4|-");
    EXPECT_EQ(Described(kRows, 3, 1, 0), u"PPC|1|-");
    EXPECT_EQ(Described(kRows, 4, 1, 0), u"SHX|1|-");
    EXPECT_EQ(Described(kRows, 5, 8, 0), u"ARM|8|-");
    EXPECT_EQ(Described(kRows, 9, 6, 0x5507), u"Unknown|-|-");
    EXPECT_EQ(Described(kRows, 12, 8, 1), u"Unknown|-|-");
    EXPECT_EQ(Described(kRows, 0xFFFF, 6, 1), u"Unknown|-|-");
    EXPECT_EQ(Described(u"no fields", 0, 6, 1), u"no fields");
}

TEST(ReportFilling, EveryPlaceholderIsFilledInOrder) {
    kxutil::SystemInfoRecord system{};
    system.wProcessorArchitecture = 0;
    system.wProcessorLevel = 6;
    system.wProcessorRevision = 0x9E0A;
    system.dwPageSize = 4096;
    system.dwAllocationGranularity = 65536;
    system.lpMinimumApplicationAddress = 0x10000;
    system.lpMaximumApplicationAddress = 0x7FFEFFFF;
    system.dwActiveProcessorMask = 0b101;
    system.dwNumberOfProcessors = 2;
    kxutil::MemoryStatusRecord memory{};
    memory.dwMemoryLoad = 0;
    memory.ullTotalPhys = 8589934592.0;
    memory.ullAvailPhys = 4294967296.0;
    memory.ullTotalPageFile = 10737418240.0;
    memory.ullAvailPageFile = 10737418240.0;
    memory.ullTotalVirtual = 2147352576.0;
    memory.ullAvailVirtual = 2000000000.0;

    std::u16string text =
        u"%01|%02|%03|%04|%05|%06|%07|%08|%10|%11|%12|%13|%20|%21|%22|%23|%24|%30";
    modMain::FillReport(text, system, memory, true, u"");
    const std::u16string mask =
        sizeof(void *) == 8 ? std::u16string(61, u'0') + u"101" : std::u16string(29, u'0') + u"101";
    const std::u16string address =
        sizeof(void *) == 8 ? u"0x0000000000010000|0x000000007FFEFFFF" : u"0x00010000|0x7FFEFFFF";
    const std::u16string expectedStart =
        u"0|4.00 GB|8.00 GB|10.0 GB|10.0 GB|1.86 GB|1.99 GB|0 bytes|4.00 KB|64.0 KB|" + address +
        u"|Intel|Pentium Pro or Pentium II|Model 158, Stepping 10|2|" + mask + u"|";
    EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
    EXPECT_EQ(text.substr(expectedStart.size()), u"64");
    text = u"%30 %32";
    modMain::FillReport(text, system, memory, false, u"Some OS %01");
    EXPECT_EQ(text, u"32 Some OS %01");

    // A value that completes a later placeholder is filled by that later step:
    // memory load 0 makes "%2" + "0" into the architecture's placeholder.
    text = u"%2%01";
    modMain::FillReport(text, system, memory, true, u"");
    EXPECT_EQ(text, u"Intel");
}

TEST(TextBlocks, ResourceFilesHaveTheirExactSizes) {
    const std::pair<const char *, std::size_t> sizes[] = {
        {"TXT_INFO_ALL", 608},    {"TXT_INFO_VERSION", 32},    {"TXT_MEMORY_STAT", 184},
        {"TXT_MEMORY_INFO", 136}, {"TXT_PROCESSOR_INFO", 148}, {"TXT_LIGHT_INFO", 32},
        {"TXT_LIGHT_INFO_2", 68}, {"TXT_USAGE_NEW", 891}};
    for (const auto &[name, size] : sizes) {
        const std::string bytes = ReadResourceFile(name);
        EXPECT_EQ(bytes.size(), size) << name;
        EXPECT_NE(bytes.substr(bytes.size() - 2), "\r\n") << name;
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\n') {
                EXPECT_EQ(bytes[i - 1], '\r') << name << " byte " << i;
            }
    }
}

TEST(TextBlocks, LoadedBlocksAreTheFilesDecodedAndRightTrimmed) {
    modMain::LoadTextBlocks();
    const modMain::TextBlockStore &blocks = modMain::TextBlocks();
    EXPECT_EQ(
        blocks.memoryStat,
        u"Memory load:         %01%\r\nAvailable physical:  %02\r\nTotal physical:      %03\r\n"
        u"Available page file: %04\r\nTotal page file:     %05\r\nAvailable virtual:   %06\r\n"
        u"Total virtual:       %07");
    EXPECT_EQ(blocks.infoVersion, u"%32\r\n\r\nRunning %30-bit system");
    EXPECT_EQ(blocks.lightInfo, u"RAM free:  %02\r\nRAM total: %03");
    EXPECT_EQ(blocks.lightInfo2,
              u"RAM free:   %02\r\nRAM total:  %03\r\n\r\nSwap used:  %08\r\nSwap total: %05");
    EXPECT_EQ(blocks.memoryInfo,
              u"Page size:                   %10\r\nAllocation granularity:      %11\r\n"
              u"Minimum application address: %12\r\nMaximum application address: %13");
    EXPECT_EQ(blocks.processorInfo,
              u"Processor architecture: %20\r\nProcessor level:        %21\r\nProcessor revision:  "
              u"   %22\r\n"
              u"Number of processors:   %23\r\nActive processor mask: \r\n   %24");
    EXPECT_NE(blocks.infoAll.find(u"\r\nMemory statistics: \r\n   Memory load:         %01%\r\n"),
              std::u16string::npos);
    EXPECT_EQ(blocks.infoAll.substr(blocks.infoAll.size() - 37),
              u"   Active processor mask: \r\n      %24");
    EXPECT_EQ(blocks.usageNew, unicode::Cp1251ToUtf16(ReadResourceFile("TXT_USAGE_NEW")));
    EXPECT_EQ(blocks.usageNew.substr(0, 12), u"%00[.EXE] [[");
    EXPECT_NE(blocks.usageNew.find(u"/I:LI - Вывести \"облегчённую\" информацию.\r\n"),
              std::u16string::npos);
    EXPECT_NE(blocks.usageNew.find(u"в файл \"%00.TXT\" в текущем"), std::u16string::npos);
    EXPECT_EQ(blocks.usageNew.substr(blocks.usageNew.size() - 22), u"/? - Вывести это окно.");
}

TEST(TextBlocks, MissingResourceIsAnError) {
    std::u16string text;
    EXPECT_LT(kxutil::kxLoadResTextA(u"TXT_NOT_THERE", u"TEXT_DATABLOCK", text), 0);
    EXPECT_LT(kxutil::kxLoadResTextA(u"TXT_INFO_ALL", u"RCDATA", text), 0);
    EXPECT_THROW(modMain::LoadTextBlock(u"TXT_NOT_THERE"), modMain::RunTimeError);
}

TEST(Delivery, HeadersAndEncodings) {
    const modMain::ProgramIdentity identity{u"Title", 1, 4, 112, u"Base", u"(C)"};
    EXPECT_EQ(modMain::EventLogText(identity, u"R1\r\nR2"), u"Title 1.04.0112\r\n\r\nR1\r\nR2");
    const std::u16string fileText = modMain::ReportFileText(identity, u"07.12.2026 5:14:51", u"R");
    EXPECT_EQ(fileText, u"Title 1.04.0112\r\nСгенерировано 07.12.2026 5:14:51\r\n\r\nR");
    const std::string unicodeBytes = modMain::EncodeReportFile(u"Сг\r\n", modMain::kUnicodeFile);
    EXPECT_EQ(unicodeBytes, std::string("\xFF\xFE\x21\x04\x33\x04\r\0\n\0", 10));
    EXPECT_EQ(modMain::EncodeReportFile(u"x", static_cast<modMain::OutputMode>(7)), "");
}

TEST(Delivery, UnknownModesDoNothing) {
    fake_front_end::calls.clear();
    modMain::DeliverReport(u"text", static_cast<modMain::OutputMode>(4));
    modMain::DeliverReport(u"text", static_cast<modMain::OutputMode>(-1));
    EXPECT_TRUE(fake_front_end::calls.empty());
    modMain::DeliverReport(u"text", modMain::kScreen);
    ASSERT_EQ(fake_front_end::calls.size(), 1u);
    EXPECT_EQ(fake_front_end::calls[0].operation, "report");
    EXPECT_EQ(fake_front_end::calls[0].text, u"text");
}
