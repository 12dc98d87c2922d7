#include "facts.h"
#include "modMain.h"
#include "orbelle_version.h"
#include "unicode.h"

#include <cmath>
#include <cstdio>

namespace modMain {
namespace {

const std::u16string &TemplateOf(ReportKind kind) {
    const TextBlockStore &blocks = TextBlocks();
    switch (kind) {
    case kVersion: return blocks.infoVersion;
    case kMemoryStat: return blocks.memoryStat;
    case kMemoryInfo: return blocks.memoryInfo;
    case kProcessorInfo: return blocks.processorInfo;
    case kLightInfo: return blocks.lightInfo;
    case kLightInfo2: return blocks.lightInfo2;
    case kAll: break;
    }
    return blocks.infoAll;
}

void ReplaceByteSize(std::u16string &text, std::u16string_view placeholder, double bytes) {
    std::u16string value;
    Check(kxutil::kxFormatByteSizeEx(bytes, value), "formatting the report");
    ReplacePlaceholder(text, placeholder, value);
}

void ReplaceNumber(std::u16string &text, std::u16string_view placeholder, std::uint32_t number) {
    std::u16string value;
    Check(kxutil::kxFormatLong(static_cast<std::int32_t>(number), value), "formatting the report");
    ReplacePlaceholder(text, placeholder, value);
}

void ReplaceUnsignedSize(std::u16string &text, std::u16string_view placeholder,
                         std::uint32_t field) {
    double bytes = 0;
    Check(kxutil::kxLongToUnsignedLong(static_cast<std::int32_t>(field), bytes),
          "formatting the report");
    ReplaceByteSize(text, placeholder, bytes);
}

// Addresses and masks are shown at the platform's own width, so nothing of
// a 64-bit value is cut off.
void ReplaceAddress(std::u16string &text, std::u16string_view placeholder, std::uintptr_t address) {
    std::u16string value;
    if constexpr (sizeof address == 8)
        Check(kxutil::kxHexEx8(address, value), "formatting the report");
    else
        Check(kxutil::kxHexEx4(static_cast<std::uint32_t>(address), value),
              "formatting the report");
    ReplacePlaceholder(text, placeholder, value);
}

void ReplaceMask(std::u16string &text, std::u16string_view placeholder, std::uintptr_t mask) {
    std::u16string value;
    if constexpr (sizeof mask == 8)
        Check(kxutil::kxBin8(mask, value), "formatting the report");
    else
        Check(kxutil::kxBin4(static_cast<std::uint32_t>(mask), value), "formatting the report");
    ReplacePlaceholder(text, placeholder, value);
}

} // namespace

// The difference of two finite doubles is finite unless it overflowed, and
// an infinite or NaN operand gives an infinite or NaN result: one test
// catches every floating-point error here.
double SwapInUse(const kxutil::MemoryStatusRecord &memory) {
    const double used = memory.ullTotalPageFile - memory.ullAvailPageFile;
    if (!std::isfinite(used))
        throw RunTimeError{"subtracting the available page file from the total", kxutil::kErrDomain,
                           "floating-point error"};
    return used;
}

namespace {

void ShowFact(std::u16string &text, const Fact &fact, const Reading &reading) {
    if (fact.shown == Shown::kNot)
        return;
    if (fact.shown == Shown::kProcessor) {
        DescribeProcessor(text, reading.system.wProcessorArchitecture,
                          reading.system.wProcessorLevel, reading.system.wProcessorRevision);
        return;
    }
    const FactValue value = fact.value(reading);
    switch (fact.shown) {
    case Shown::kNumber:
        ReplaceNumber(text, fact.placeholder, static_cast<std::uint32_t>(value.integer));
        return;
    case Shown::kByteSize: ReplaceByteSize(text, fact.placeholder, value.bytes); return;
    case Shown::kUnsignedSize:
        ReplaceUnsignedSize(text, fact.placeholder, static_cast<std::uint32_t>(value.integer));
        return;
    case Shown::kAddress:
        ReplaceAddress(text, fact.placeholder, static_cast<std::uintptr_t>(value.integer));
        return;
    case Shown::kMask:
        ReplaceMask(text, fact.placeholder, static_cast<std::uintptr_t>(value.integer));
        return;
    case Shown::kText: ReplacePlaceholder(text, fact.placeholder, value.text); return;
    case Shown::kNot:
    case Shown::kProcessor: return;
    }
}

} // namespace

void ReplacePlaceholder(std::u16string &text, std::u16string_view placeholder,
                        std::u16string_view value) {
    // In place: the search goes on after the inserted value, never into it.
    for (std::size_t at = unicode::Find(text, placeholder, 0); at != std::u16string::npos;
         at = unicode::Find(text, placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

// Every fact the text shows, in the table's order, each step on the result
// of the one before.
void FillReport(std::u16string &text, const kxutil::SystemInfoRecord &system,
                const kxutil::MemoryStatusRecord &memory, bool hostIs64,
                std::u16string_view systemName) {
    const Reading reading{system, memory, hostIs64, systemName, {}};
    for (const Fact &fact : kFacts)
        ShowFact(text, fact, reading);
}

namespace {

std::u16string IntegerText(std::uint64_t value) {
    return unicode::AsciiToUtf16(std::to_string(value));
}

// A byte count, held as a double, as the whole number it is: every digit,
// never an exponent. FillReport has already refused an infinite or NaN
// count; one beyond 64 bits, negative or with a fraction, which no system
// gives, goes through printf, rounded to the nearest whole number.
std::u16string ByteCountText(double bytes) {
    if (bytes >= 0 && bytes < 18446744073709551616.0 && bytes == std::floor(bytes))
        return IntegerText(static_cast<std::uint64_t>(bytes));
    char digits[320];
    std::snprintf(digits, sizeof digits, "%.0f", bytes);
    return std::string_view(digits) == "-0" ? u"0" : unicode::AsciiToUtf16(digits);
}

std::u16string KindName(ReportKind kind) {
    switch (kind) {
    case kVersion: return u"version";
    case kMemoryStat: return u"memory-stat";
    case kMemoryInfo: return u"memory-info";
    case kProcessorInfo: return u"processor-info";
    case kLightInfo: return u"light-info";
    case kLightInfo2: return u"light-info-2";
    case kAll: break;
    }
    return u"all";
}

std::u16string ExactText(const Fact &fact, const Reading &reading) {
    const FactValue value = fact.value(reading);
    switch (fact.exact) {
    case Exact::kInteger: return IntegerText(value.integer);
    case Exact::kByteCount: return ByteCountText(value.bytes);
    case Exact::kText: break;
    }
    return std::u16string(value.text);
}

} // namespace

// Every fact of the table, in its order, the same for every kind: the
// journal takes the reported ones by name, and the Windows event takes them
// all by position, with an empty string for a fact the kind does not report.
std::vector<kxutil::LogField> ReportFields(ReportKind kind, std::u16string_view reportTemplate,
                                           const kxutil::SystemInfoRecord &system,
                                           const kxutil::MemoryStatusRecord &memory, bool hostIs64,
                                           std::u16string_view systemName) {
    const std::u16string kindName = KindName(kind);
    const Reading reading{system, memory, hostIs64, systemName, kindName};
    // The placeholders the template holds, found in one pass: "%" and two digits.
    bool holds[100] = {};
    for (std::size_t i = 0; i + 2 < reportTemplate.size(); ++i)
        if (const int number = PlaceholderNumber(reportTemplate.substr(i, 3)); number >= 0)
            holds[number] = true;
    std::vector<kxutil::LogField> fields;
    fields.reserve(std::size(kFacts));
    for (const Fact &fact : kFacts) {
        const bool reported = fact.placeholder.empty() ||
                              (holds[PlaceholderNumber(fact.placeholder)] &&
                               (!fact.underMemoryLimit || memory.ullMachineTotalPhys > 0));
        fields.push_back(
            {fact.field, reported ? ExactText(fact, reading) : std::u16string(), reported});
    }
    return fields;
}

void BuildReport(ReportKind kind, OutputMode mode) {
    kxutil::SystemInfoRecord system{};
    Check(kxutil::kxGetNativeSystemInfo(system), "reading the processor and memory layout");
    kxutil::MemoryStatusRecord memory{};
    Check(kxutil::kxGlobalMemoryStatus(memory), "reading the memory status");
    std::int16_t is64 = 0;
    Check(kxutil::kxIsHostWin64(is64), "reading the system's name");
    std::u16string systemName;
    Check(kxutil::kxGetHostOSFullName(0, -1, systemName), "reading the system's name");
    const std::u16string &reportTemplate = TemplateOf(kind);
    std::u16string text = reportTemplate;
    FillReport(text, system, memory, is64 != 0, systemName);
    // The fields are made only for the event log.
    DeliverReport(std::move(text), mode,
                  mode == kEventLog
                      ? ReportFields(kind, reportTemplate, system, memory, is64 != 0, systemName)
                      : std::vector<kxutil::LogField>{});
}

} // namespace modMain
