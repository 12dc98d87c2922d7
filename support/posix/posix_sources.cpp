#include "posix_sources.h"

#include <algorithm>

namespace posix_sources {

// Takes the next line off the front of text.
std::string_view NextLine(std::string_view &text) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

void SkipBlanks(std::string_view &text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
}

namespace {

// floor(10 * rest / total) for rest < total, leaving (10 * rest) mod total
// in rest: exact for any 64-bit values, where 10 * rest could overflow.
unsigned NextDecimalDigit(std::uint64_t &rest, std::uint64_t total) {
    const std::uint64_t part = rest;
    unsigned digit = 0;
    rest = 0;
    for (int i = 0; i < 10; ++i) {
        if (rest >= total - part) {
            rest -= total - part;
            ++digit;
        } else {
            rest += part;
        }
    }
    return digit;
}

} // namespace

std::uint32_t MemoryLoadPercent(std::uint64_t total, std::uint64_t available) {
    if (total == 0)
        return 0;
    // Truncated, as Windows computes its memory load: floor(100 * used / total).
    std::uint64_t rest = total - std::min(available, total);
    if (rest == total)
        return 100;
    const unsigned tens = NextDecimalDigit(rest, total);
    return tens * 10 + NextDecimalDigit(rest, total);
}

kxutil::MemoryStatusRecord MapMemoryStatus(const PhysicalMemory &info,
                                           const std::optional<MemoryLimit> &cgroup,
                                           std::uint64_t userSpaceBytes, std::uint64_t processPages,
                                           std::uint64_t pageSize) {
    std::uint64_t total = info.total;
    std::uint64_t available = info.available;
    const bool limited = cgroup && cgroup->limit < total;
    if (limited) {
        // Inside a memory cgroup the limit is the machine's memory as far as
        // this process can tell; reclaimable file cache does not count as held.
        const std::uint64_t held =
            cgroup->usage > cgroup->inactiveFile ? cgroup->usage - cgroup->inactiveFile : 0;
        total = cgroup->limit;
        available = std::min(available, held < total ? total - held : 0);
    }
    kxutil::MemoryStatusRecord record{};
    record.dwLength = sizeof record;
    record.dwMemoryLoad = MemoryLoadPercent(total, available);
    record.ullTotalPhys = static_cast<double>(total);
    record.ullMachineTotalPhys = limited ? static_cast<double>(info.total) : 0;
    record.ullAvailPhys = static_cast<double>(available);
    record.ullTotalPageFile = static_cast<double>(total) + static_cast<double>(info.swapTotal);
    record.ullAvailPageFile = static_cast<double>(available) + static_cast<double>(info.swapFree);
    record.ullTotalVirtual = static_cast<double>(userSpaceBytes);
    // The process's own mappings, in bytes, are what it can no longer have.
    const std::uint64_t processBytes = pageSize != 0 && processPages > UINT64_MAX / pageSize
                                           ? UINT64_MAX
                                           : processPages * pageSize;
    record.ullAvailVirtual =
        static_cast<double>(userSpaceBytes > processBytes ? userSpaceBytes - processBytes : 0);
    return record;
}

std::optional<std::string> OsReleaseValue(std::string_view text, std::string_view key) {
    std::optional<std::string> found;
    while (!text.empty()) {
        std::string_view line = NextLine(text);
        SkipBlanks(line);
        if (line.size() <= key.size() || line.substr(0, key.size()) != key ||
            line[key.size()] != '=')
            continue;
        line.remove_prefix(key.size() + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        // Shell-like quoting: '...' is literal; in "..." and bare text a
        // backslash takes the next character as it is.
        std::string value;
        char quote = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quote == 0 && (c == '"' || c == '\'')) {
                quote = c;
            } else if (c == quote) {
                quote = 0;
            } else if (c == '\\' && quote != '\'' && i + 1 < line.size()) {
                value += line[++i];
            } else {
                value += c;
            }
        }
        found = value;
    }
    return found;
}

std::uint16_t ArchitectureCode(std::string_view machine) {
    auto starts = [&](std::string_view prefix) {
        return machine.substr(0, prefix.size()) == prefix;
    };
    if (machine == "x86_64" || machine == "amd64")
        return kxutil::kArchAmd64;
    if (machine.size() == 4 && machine[0] == 'i' && machine[1] >= '3' && machine[1] <= '6' &&
        machine.substr(2) == "86")
        return kxutil::kArchIntel;
    if (starts("aarch64") || machine == "arm64")
        return kxutil::kArchArm64;
    if (starts("arm"))
        return kxutil::kArchArm;
    if (machine == "ia64")
        return kxutil::kArchIa64;
    if (starts("mips"))
        return kxutil::kArchMips;
    if (starts("alpha"))
        return kxutil::kArchAlpha;
    if (starts("ppc") || starts("powerpc"))
        return kxutil::kArchPpc;
    return kxutil::kArchUnknown;
}

bool IsSixtyFourBitMachine(std::string_view machine) {
    return machine.find("64") != std::string_view::npos || machine == "s390x" || machine == "alpha";
}

ProcessorIdentity X86ProcessorIdentity(std::uint32_t cpuidEax) {
    const unsigned stepping = cpuidEax & 0xF, model = (cpuidEax >> 4) & 0xF;
    const unsigned family = (cpuidEax >> 8) & 0xF;
    const unsigned extendedModel = (cpuidEax >> 16) & 0xF, extendedFamily = (cpuidEax >> 20) & 0xFF;
    const unsigned shownFamily = family == 0xF ? family + extendedFamily : family;
    const unsigned shownModel =
        family == 0x6 || family == 0xF ? (extendedModel << 4) + model : model;
    return {static_cast<std::uint16_t>(shownFamily),
            static_cast<std::uint16_t>((shownModel << 8) | stepping)};
}

} // namespace posix_sources
