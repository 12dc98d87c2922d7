// The report's facts, one row each: where the templates show it, what the
// event log calls it, how each shows it, and where its value comes from.
// FillReport and ReportFields both walk this table, in its order.
#pragma once

#include "modMain.h"
#include "orbelle_version.h"

namespace modMain {

// One reading of the system, and the report kind it is for.
struct Reading {
    const kxutil::SystemInfoRecord &system;
    const kxutil::MemoryStatusRecord &memory;
    bool hostIs64;
    std::u16string_view systemName;
    std::u16string_view kindName; // empty where only the text is filled
};

// A fact's value: the member its formatters read.
struct FactValue {
    std::uint64_t integer = 0;
    double bytes = 0;
    std::u16string_view text;
};

constexpr FactValue Integer(std::uint64_t integer) { return {integer, 0, {}}; }
constexpr FactValue Bytes(double bytes) { return {0, bytes, {}}; }
constexpr FactValue Text(std::u16string_view text) { return {0, 0, text}; }

// How the report text shows a fact.
enum class Shown {
    kNot,          // not in the text, or filled by the row before it
    kNumber,       // signed decimal
    kByteSize,     // "4.00 GB"
    kUnsignedSize, // a 32-bit count of bytes as a byte size
    kAddress,      // hexadecimal at the platform's width
    kMask,         // binary at the platform's width
    kProcessor,    // the processor's description: fills %20, %21 and %22
    kText,         // as it is
};

// How the journal and the Windows event carry it: exact.
enum class Exact { kInteger, kByteCount, kText };

struct Fact {
    std::u16string_view placeholder; // reports the fact where the template holds it; empty: always
    std::string_view field;          // in the journal; the Windows event's position is index + 2
    Shown shown;
    Exact exact;
    FactValue (*value)(const Reading &);
    bool underMemoryLimit = false; // and only where the total is a memory cgroup's limit
};

using R = const Reading &;

// A new fact goes at the end: the order is the Windows event's positions, and
// FillReport's, whose last step, the system's name, is never searched again.
inline constexpr Fact kFacts[] = {
    {u"", "ORBELLE_REPORT_KIND", Shown::kNot, Exact::kText, [](R r) { return Text(r.kindName); }},
    {u"", "ORBELLE_VERSION", Shown::kNot, Exact::kText,
     [](R) { return Text(u"" ORBELLE_VERSION_FULL); }},
    {u"%01", "ORBELLE_MEMORY_LOAD_PERCENT", Shown::kNumber, Exact::kInteger,
     [](R r) { return Integer(r.memory.dwMemoryLoad); }},
    {u"%02", "ORBELLE_MEMORY_AVAILABLE_PHYSICAL_BYTES", Shown::kByteSize, Exact::kByteCount,
     [](R r) { return Bytes(r.memory.ullAvailPhys); }},
    {u"%03", "ORBELLE_MEMORY_TOTAL_PHYSICAL_BYTES", Shown::kByteSize, Exact::kByteCount,
     [](R r) { return Bytes(r.memory.ullTotalPhys); }},
    {u"%04", "ORBELLE_MEMORY_AVAILABLE_PAGE_FILE_BYTES", Shown::kByteSize, Exact::kByteCount,
     [](R r) { return Bytes(r.memory.ullAvailPageFile); }},
    {u"%05", "ORBELLE_MEMORY_TOTAL_PAGE_FILE_BYTES", Shown::kByteSize, Exact::kByteCount,
     [](R r) { return Bytes(r.memory.ullTotalPageFile); }},
    {u"%06", "ORBELLE_MEMORY_AVAILABLE_VIRTUAL_BYTES", Shown::kByteSize, Exact::kByteCount,
     [](R r) { return Bytes(r.memory.ullAvailVirtual); }},
    {u"%07", "ORBELLE_MEMORY_TOTAL_VIRTUAL_BYTES", Shown::kByteSize, Exact::kByteCount,
     [](R r) { return Bytes(r.memory.ullTotalVirtual); }},
    {u"%08", "ORBELLE_MEMORY_USED_PAGE_FILE_BYTES", Shown::kByteSize, Exact::kByteCount,
     [](R r) { return Bytes(SwapInUse(r.memory)); }},
    {u"%10", "ORBELLE_PAGE_SIZE_BYTES", Shown::kUnsignedSize, Exact::kInteger,
     [](R r) { return Integer(r.system.dwPageSize); }},
    {u"%11", "ORBELLE_ALLOCATION_GRANULARITY_BYTES", Shown::kUnsignedSize, Exact::kInteger,
     [](R r) { return Integer(r.system.dwAllocationGranularity); }},
    {u"%12", "ORBELLE_MINIMUM_APPLICATION_ADDRESS", Shown::kAddress, Exact::kInteger,
     [](R r) { return Integer(r.system.lpMinimumApplicationAddress); }},
    {u"%13", "ORBELLE_MAXIMUM_APPLICATION_ADDRESS", Shown::kAddress, Exact::kInteger,
     [](R r) { return Integer(r.system.lpMaximumApplicationAddress); }},
    {u"%20", "ORBELLE_PROCESSOR_ARCHITECTURE", Shown::kProcessor, Exact::kInteger,
     [](R r) { return Integer(r.system.wProcessorArchitecture); }},
    {u"%21", "ORBELLE_PROCESSOR_LEVEL", Shown::kNot, Exact::kInteger,
     [](R r) { return Integer(r.system.wProcessorLevel); }},
    {u"%22", "ORBELLE_PROCESSOR_REVISION", Shown::kNot, Exact::kInteger,
     [](R r) { return Integer(r.system.wProcessorRevision); }},
    {u"%23", "ORBELLE_PROCESSOR_COUNT", Shown::kNumber, Exact::kInteger,
     [](R r) { return Integer(r.system.dwNumberOfProcessors); }},
    {u"%24", "ORBELLE_PROCESSOR_ACTIVE_MASK", Shown::kMask, Exact::kInteger,
     [](R r) { return Integer(r.system.dwActiveProcessorMask); }},
    {u"%30", "ORBELLE_OS_BITNESS", Shown::kText, Exact::kText,
     [](R r) { return Text(r.hostIs64 ? u"64" : u"32"); }},
    {u"%32", "ORBELLE_OS_NAME", Shown::kText, Exact::kText, [](R r) { return Text(r.systemName); }},
    // An inventory is told where the total physical memory is a memory
    // cgroup's limit, and given the machine's own total.
    {u"%03", "ORBELLE_MEMORY_LIMIT_SOURCE", Shown::kNot, Exact::kText,
     [](R) { return Text(u"cgroup"); }, true},
    {u"%03", "ORBELLE_MEMORY_MACHINE_TOTAL_PHYSICAL_BYTES", Shown::kNot, Exact::kByteCount,
     [](R r) { return Bytes(r.memory.ullMachineTotalPhys); }, true},
};

// A placeholder's number: "%" and two digits, or -1 for anything else.
constexpr int PlaceholderNumber(std::u16string_view text) {
    const auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    if (text.size() != 3 || text[0] != u'%' || !digit(text[1]) || !digit(text[2]))
        return -1;
    return (text[1] - u'0') * 10 + (text[2] - u'0');
}

constexpr bool PlaceholdersAreWellFormed() {
    for (const Fact &fact : kFacts)
        if (!fact.placeholder.empty() && PlaceholderNumber(fact.placeholder) < 0)
            return false;
    return true;
}
static_assert(PlaceholdersAreWellFormed(), "a placeholder is \"%\" and two digits");

} // namespace modMain
