#include "modMain.h"
#include "unicode.h"

#include <cmath>

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
        throw RunTimeError{"subtracting the available page file from the total", -33,
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

void BuildReport(ReportKind kind, OutputMode mode) {
    kxutil::SystemInfoRecord system{};
    Check(kxutil::kxGetNativeSystemInfo(system), "reading the processor and memory layout");
    kxutil::MemoryStatusRecord memory{};
    Check(kxutil::kxGlobalMemoryStatus(memory), "reading the memory status");
    std::int16_t is64 = 0;
    Check(kxutil::kxIsHostWin64(is64), "reading the system's name");
    std::u16string systemName;
    Check(kxutil::kxGetHostOSFullName(0, -1, systemName), "reading the system's name");
    std::u16string text = TemplateOf(kind);
    FillReport(text, system, memory, is64 != 0, systemName);
    DeliverReport(std::move(text), mode);
}

} // namespace modMain
