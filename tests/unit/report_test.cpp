#include "facts.h"
#include "fake_front_end.h"
#include "modMain.h"
#include "unicode.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <regex>
#include <tuple>

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

// Every occurrence, left to right, without looking into what was put in;
// found among characters that hold the byte of '%' (U+2525, U+0125), or
// whose bytes alone spell "%01" (U+3025 U+3130).
TEST(Placeholder, ReplacesEveryOccurrenceLeftToRightWithoutRescanning) {
    const struct {
        std::u16string text, placeholder, value, filled;
    } rows[] = {
        {u"%01 and %01%01, %011", u"%01", u"7", u"7 and 77, 71"},
        {u"%00%00", u"%00", u"%00x", u"%00x%00x"},
        {u"%%000", u"%00", u"Name", u"%Name0"},
        {u"no placeholder", u"%32", u"x", u"no placeholder"},
        {u"%01", u"%01", u"7", u"7"},
        {u"%0", u"%01", u"x", u"%0"},
        {u"", u"%01", u"x", u""},
        {u"\u2525\u0125%\u2525%01\u2501%01", u"%01", u"x", u"\u2525\u0125%\u2525x\u2501x"},
        {u"\u3025\u3130%01", u"%01", u"x", u"\u3025\u3130x"},
    };
    for (const auto &row : rows) {
        std::u16string text = row.text;
        modMain::ReplacePlaceholder(text, row.placeholder, row.value);
        EXPECT_EQ(text, row.filled);
    }
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

namespace {

kxutil::SystemInfoRecord SampleSystem() {
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
    return system;
}

kxutil::MemoryStatusRecord SampleMemory() {
    kxutil::MemoryStatusRecord memory{};
    memory.dwMemoryLoad = 0;
    memory.ullTotalPhys = 8589934592.0;
    memory.ullAvailPhys = 4294967296.0;
    memory.ullTotalPageFile = 10737418240.0;
    memory.ullAvailPageFile = 6442450944.0;
    memory.ullTotalVirtual = 2147352576.0;
    memory.ullAvailVirtual = 2000000000.0;
    return memory;
}

} // namespace

TEST(ReportFilling, EveryPlaceholderIsFilledInOrder) {
    kxutil::SystemInfoRecord system = SampleSystem();
    kxutil::MemoryStatusRecord memory = SampleMemory();
    std::u16string text =
        u"%01|%02|%03|%04|%05|%06|%07|%08|%10|%11|%12|%13|%20|%21|%22|%23|%24|%30";
    modMain::FillReport(text, system, memory, true, u"");
    const std::u16string mask =
        sizeof(void *) == 8 ? std::u16string(61, u'0') + u"101" : std::u16string(29, u'0') + u"101";
    const std::u16string address =
        sizeof(void *) == 8 ? u"0x0000000000010000|0x000000007FFEFFFF" : u"0x00010000|0x7FFEFFFF";
    const std::u16string expectedStart =
        u"0|4.00 GB|8.00 GB|6.00 GB|10.0 GB|1.86 GB|1.99 GB|4.00 GB|4.00 KB|64.0 KB|" + address +
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
    system.dwPageSize = 16384; // "%1" and "16.0 KB" make the granularity's placeholder
    text = u"%1%10";
    modMain::FillReport(text, system, memory, true, u"");
    EXPECT_EQ(text, u"64.0 KB6.0 KB");

    // A used page file that is no finite number is a floating-point error.
    memory.ullTotalPageFile = std::numeric_limits<double>::max();
    memory.ullAvailPageFile = -memory.ullTotalPageFile;
    try {
        modMain::FillReport(text, system, memory, true, u"");
        ADD_FAILURE() << "no error for an infinite page file in use";
    } catch (const modMain::RunTimeError &error) {
        EXPECT_EQ(error.status, -33);
    }
}

// The journal's fields of each kind: the facts its text shows, as exact
// whole numbers, after the kind and the version, an unreported one empty.
// (Their order for every template, and the memory limit's two: the
// report_fill fuzz target.)
TEST(ReportFields, EachKindCarriesExactlyTheFactsItShows) {
    modMain::LoadTextBlocks();
    const modMain::TextBlockStore &blocks = modMain::TextBlocks();
    kxutil::SystemInfoRecord system = SampleSystem();
    system.wProcessorArchitecture = 9;
    system.wProcessorLevel = 0xFFFF;
    system.lpMaximumApplicationAddress = sizeof(void *) == 8 ? 0x7FFFFFFFEFFF : 0x7FFEFFFF;
    system.dwActiveProcessorMask = sizeof(void *) == 8 ? ~std::uintptr_t{0} : 0b101;
    kxutil::MemoryStatusRecord memory = SampleMemory();
    memory.dwMemoryLoad = 37;
    memory.ullAvailPageFile = 8000000001.0;
    memory.ullTotalPhys = 1152921504606846976.0; // 2^60: every digit, no exponent
    const std::vector<std::pair<std::string, std::string>> memoryStat = {
        {"ORBELLE_MEMORY_LOAD_PERCENT", "37"},
        {"ORBELLE_MEMORY_AVAILABLE_PHYSICAL_BYTES", "4294967296"},
        {"ORBELLE_MEMORY_TOTAL_PHYSICAL_BYTES", "1152921504606846976"},
        {"ORBELLE_MEMORY_AVAILABLE_PAGE_FILE_BYTES", "8000000001"},
        {"ORBELLE_MEMORY_TOTAL_PAGE_FILE_BYTES", "10737418240"},
        {"ORBELLE_MEMORY_AVAILABLE_VIRTUAL_BYTES", "2000000000"},
        {"ORBELLE_MEMORY_TOTAL_VIRTUAL_BYTES", "2147352576"}};
    const std::vector<std::pair<std::string, std::string>> memoryInfo = {
        {"ORBELLE_PAGE_SIZE_BYTES", "4096"},
        {"ORBELLE_ALLOCATION_GRANULARITY_BYTES", "65536"},
        {"ORBELLE_MINIMUM_APPLICATION_ADDRESS", "65536"},
        {"ORBELLE_MAXIMUM_APPLICATION_ADDRESS",
         sizeof(void *) == 8 ? "140737488351231" : "2147418111"}};
    const std::vector<std::pair<std::string, std::string>> processorInfo = {
        {"ORBELLE_PROCESSOR_ARCHITECTURE", "9"},
        {"ORBELLE_PROCESSOR_LEVEL", "65535"},
        {"ORBELLE_PROCESSOR_REVISION", "40458"},
        {"ORBELLE_PROCESSOR_COUNT", "2"},
        {"ORBELLE_PROCESSOR_ACTIVE_MASK", sizeof(void *) == 8 ? "18446744073709551615" : "5"}};
    const std::vector<std::pair<std::string, std::string>> version = {
        {"ORBELLE_OS_BITNESS", "64"}, {"ORBELLE_OS_NAME", "Name=1\nNEXT=2, Linux"}};
    const auto join =
        [](std::initializer_list<std::vector<std::pair<std::string, std::string>>> parts) {
            std::vector<std::pair<std::string, std::string>> all;
            for (const auto &part : parts)
                all.insert(all.end(), part.begin(), part.end());
            return all;
        };
    const struct {
        modMain::ReportKind kind;
        const std::u16string &reportTemplate;
        const char *kindName;
        std::vector<std::pair<std::string, std::string>> facts;
    } rows[] = {
        {modMain::kAll, blocks.infoAll, "all",
         join({memoryStat, memoryInfo, processorInfo, version})},
        {modMain::kVersion, blocks.infoVersion, "version", version},
        {modMain::kMemoryStat, blocks.memoryStat, "memory-stat", memoryStat},
        {modMain::kMemoryInfo, blocks.memoryInfo, "memory-info", memoryInfo},
        {modMain::kProcessorInfo, blocks.processorInfo, "processor-info", processorInfo},
        {modMain::kLightInfo, blocks.lightInfo, "light-info", {memoryStat[1], memoryStat[2]}},
        {modMain::kLightInfo2,
         blocks.lightInfo2,
         "light-info-2",
         {memoryStat[1],
          memoryStat[2],
          memoryStat[4],
          {"ORBELLE_MEMORY_USED_PAGE_FILE_BYTES", "2737418239"}}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.kindName);
        std::vector<std::pair<std::string, std::string>> expected = {
            {"ORBELLE_REPORT_KIND", row.kindName}, {"ORBELLE_VERSION", "1.4.0.112"}};
        expected.insert(expected.end(), row.facts.begin(), row.facts.end());
        std::vector<std::pair<std::string, std::string>> got;
        for (const kxutil::LogField &field : modMain::ReportFields(
                 row.kind, row.reportTemplate, system, memory, true, u"Name=1\nNEXT=2, Linux")) {
            if (field.reported)
                got.emplace_back(std::string(field.name), unicode::Utf16ToUtf8(field.value));
            else
                EXPECT_EQ(field.value, u"") << field.name;
        }
        EXPECT_EQ(got, expected);
    }
}

// The documents against the table of facts: the Windows event's position
// table of docs/FLEET.md and the manual page (position, Properties index,
// field, in the table's order), and the manual page's journal fields.
TEST(ReportFields, TheDocumentsGiveTheTablesFieldsAndPositions) {
    const std::tuple<const char *, const char *, bool> documents[] = {
        {"/docs/FLEET.md", R"(\| (\d+) \| (\d+) \| `(ORBELLE_\w+)` \|)", false},
        {"/docs/man/OrbelleC.1.in", R"( *(\d+) +(\d+) +(ORBELLE_\w+))", false},
        {"/docs/man/OrbelleC.1.in", R"(()()\.B (ORBELLE_\w+))", true}}; // in an order of its own
    std::vector<std::string> positions, fields; // the text is string 1, fact i string i + 2
    for (std::size_t i = 0; i < std::size(modMain::kFacts); ++i) {
        const std::string field(modMain::kFacts[i].field);
        fields.push_back("  " + field);
        positions.push_back(std::to_string(i + 2) + " " + std::to_string(i + 1) + " " + field);
    }
    std::sort(fields.begin(), fields.end());
    for (const auto &[document, row, sorted] : documents) {
        std::ifstream file(std::string(ORBELLE_SOURCE_DIR) + document);
        std::vector<std::string> rows;
        std::smatch match;
        for (std::string line; std::getline(file, line);)
            if (std::regex_match(line, match, std::regex(row)))
                rows.push_back(match.str(1) + " " + match.str(2) + " " + match.str(3));
        if (sorted)
            std::sort(rows.begin(), rows.end());
        EXPECT_EQ(rows, sorted ? fields : positions) << document;
    }
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

TEST(TextBlocks, MissingResourceIsAnError) {
    std::u16string text;
    EXPECT_LT(kxutil::kxLoadResTextA(u"TXT_NOT_THERE", u"TEXT_DATABLOCK", text).value, 0);
    EXPECT_LT(kxutil::kxLoadResTextA(u"TXT_INFO_ALL", u"RCDATA", text).value, 0);
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
