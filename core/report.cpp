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

} // namespace

void ReplacePlaceholder(std::u16string &text, std::u16string_view placeholder,
                        std::u16string_view value) {
    // In place: the search goes on after the inserted value, never into it.
    for (std::size_t at = unicode::Find(text, placeholder, 0); at != std::u16string::npos;
         at = unicode::Find(text, placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

// Every step runs for every kind, in this order, each on the result of the
// one before; the system's name comes last and is never searched.
void FillReport(std::u16string &text, const kxutil::SystemInfoRecord &system,
                const kxutil::MemoryStatusRecord &memory, bool hostIs64,
                std::u16string_view systemName) {
    ReplaceNumber(text, u"%01", memory.dwMemoryLoad);
    ReplaceByteSize(text, u"%02", memory.ullAvailPhys);
    ReplaceByteSize(text, u"%03", memory.ullTotalPhys);
    ReplaceByteSize(text, u"%04", memory.ullAvailPageFile);
    ReplaceByteSize(text, u"%05", memory.ullTotalPageFile);
    ReplaceByteSize(text, u"%06", memory.ullAvailVirtual);
    ReplaceByteSize(text, u"%07", memory.ullTotalVirtual);
    ReplaceByteSize(text, u"%08", SwapInUse(memory));
    ReplaceUnsignedSize(text, u"%10", system.dwPageSize);
    ReplaceUnsignedSize(text, u"%11", system.dwAllocationGranularity);
    ReplaceAddress(text, u"%12", system.lpMinimumApplicationAddress);
    ReplaceAddress(text, u"%13", system.lpMaximumApplicationAddress);
    DescribeProcessor(text, system.wProcessorArchitecture, system.wProcessorLevel,
                      system.wProcessorRevision);
    ReplaceNumber(text, u"%23", system.dwNumberOfProcessors);
    ReplaceMask(text, u"%24", system.dwActiveProcessorMask);
    ReplacePlaceholder(text, u"%30", hostIs64 ? u"64" : u"32");
    ReplacePlaceholder(text, u"%32", systemName);
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

} // namespace

// The report's facts in a fixed order, the same for every kind: the
// journal takes the reported ones by name, and the Windows event takes them
// all by position, field n of this list being insertion string n + 1 (the
// text is the first), with an empty string for a fact the kind does not
// report. This list is the position table of docs/FLEET.md and OrbelleC(1):
// a new fact goes at its end.
std::vector<kxutil::LogField> ReportFields(ReportKind kind, std::u16string_view reportTemplate,
                                           const kxutil::SystemInfoRecord &system,
                                           const kxutil::MemoryStatusRecord &memory, bool hostIs64,
                                           std::u16string_view systemName) {
    std::vector<kxutil::LogField> fields = {
        {"ORBELLE_REPORT_KIND", KindName(kind)},
        {"ORBELLE_VERSION", unicode::AsciiToUtf16(ORBELLE_VERSION_FULL)}};
    // The placeholders the template holds, found in one pass: "%" and two digits.
    bool holds[100] = {};
    for (std::size_t i = 0; i + 2 < reportTemplate.size(); ++i)
        if (reportTemplate[i] == u'%' && reportTemplate[i + 1] >= u'0' &&
            reportTemplate[i + 1] <= u'9' && reportTemplate[i + 2] >= u'0' &&
            reportTemplate[i + 2] <= u'9')
            holds[(reportTemplate[i + 1] - u'0') * 10 + (reportTemplate[i + 2] - u'0')] = true;
    const auto add = [&](bool reported, std::string_view field, std::u16string value) {
        fields.push_back({field, reported ? std::move(value) : std::u16string(), reported});
    };
    add(holds[1], "ORBELLE_MEMORY_LOAD_PERCENT", IntegerText(memory.dwMemoryLoad));
    add(holds[2], "ORBELLE_MEMORY_AVAILABLE_PHYSICAL_BYTES", ByteCountText(memory.ullAvailPhys));
    add(holds[3], "ORBELLE_MEMORY_TOTAL_PHYSICAL_BYTES", ByteCountText(memory.ullTotalPhys));
    add(holds[4], "ORBELLE_MEMORY_AVAILABLE_PAGE_FILE_BYTES",
        ByteCountText(memory.ullAvailPageFile));
    add(holds[5], "ORBELLE_MEMORY_TOTAL_PAGE_FILE_BYTES", ByteCountText(memory.ullTotalPageFile));
    add(holds[6], "ORBELLE_MEMORY_AVAILABLE_VIRTUAL_BYTES", ByteCountText(memory.ullAvailVirtual));
    add(holds[7], "ORBELLE_MEMORY_TOTAL_VIRTUAL_BYTES", ByteCountText(memory.ullTotalVirtual));
    add(holds[8], "ORBELLE_MEMORY_USED_PAGE_FILE_BYTES", ByteCountText(SwapInUse(memory)));
    add(holds[10], "ORBELLE_PAGE_SIZE_BYTES", IntegerText(system.dwPageSize));
    add(holds[11], "ORBELLE_ALLOCATION_GRANULARITY_BYTES",
        IntegerText(system.dwAllocationGranularity));
    add(holds[12], "ORBELLE_MINIMUM_APPLICATION_ADDRESS",
        IntegerText(system.lpMinimumApplicationAddress));
    add(holds[13], "ORBELLE_MAXIMUM_APPLICATION_ADDRESS",
        IntegerText(system.lpMaximumApplicationAddress));
    add(holds[20], "ORBELLE_PROCESSOR_ARCHITECTURE", IntegerText(system.wProcessorArchitecture));
    add(holds[21], "ORBELLE_PROCESSOR_LEVEL", IntegerText(system.wProcessorLevel));
    add(holds[22], "ORBELLE_PROCESSOR_REVISION", IntegerText(system.wProcessorRevision));
    add(holds[23], "ORBELLE_PROCESSOR_COUNT", IntegerText(system.dwNumberOfProcessors));
    add(holds[24], "ORBELLE_PROCESSOR_ACTIVE_MASK", IntegerText(system.dwActiveProcessorMask));
    add(holds[30], "ORBELLE_OS_BITNESS", hostIs64 ? u"64" : u"32");
    add(holds[32], "ORBELLE_OS_NAME", std::u16string(systemName));
    // Where the total physical memory is a memory cgroup's limit, an
    // inventory is told so, and given the machine's own total.
    const bool limited = holds[3] && memory.ullMachineTotalPhys > 0;
    add(limited, "ORBELLE_MEMORY_LIMIT_SOURCE", u"cgroup");
    add(limited, "ORBELLE_MEMORY_MACHINE_TOTAL_PHYSICAL_BYTES",
        ByteCountText(memory.ullMachineTotalPhys));
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
