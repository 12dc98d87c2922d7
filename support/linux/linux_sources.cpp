#include "linux_sources.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace linux_sources {

using posix_sources::NextLine;
using posix_sources::SkipBlanks;

namespace {

// A decimal number at the front of text, taken off it; nullopt without
// digits or on overflow.
std::optional<std::uint64_t> TakeNumber(std::string_view &text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc())
        return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

// The rest of the line that starts with key and then separator.
std::optional<std::string_view> LineValue(std::string_view text, std::string_view key,
                                          char separator) {
    while (!text.empty()) {
        std::string_view line = NextLine(text);
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            line[key.size()] == separator)
            return line.substr(key.size() + 1);
    }
    return std::nullopt;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t end = text.find(separator);
        parts.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            return parts;
        text.remove_prefix(end + 1);
    }
}

// mountinfo writes blanks, tabs, newlines and backslashes in paths as \ooo.
std::string UnescapeOctal(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        text.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) |
                                     (text[i + 3] - '0'));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool HasOption(std::string_view options, std::string_view option) {
    for (std::string_view candidate : Split(options, ','))
        if (candidate == option)
            return true;
    return false;
}

// Whether path lies at or below the directory root.
bool IsWithin(std::string_view path, std::string_view root) {
    if (root == "/")
        return !path.empty() && path.front() == '/';
    return path.substr(0, root.size()) == root &&
           (path.size() == root.size() || path[root.size()] == '/');
}

// A meminfo value: a number, and "kB" when it counts kibibytes.
std::optional<std::uint64_t> KibibyteValue(std::string_view value) {
    SkipBlanks(value);
    std::optional<std::uint64_t> number = TakeNumber(value);
    if (!number)
        return std::nullopt;
    SkipBlanks(value);
    if (value == "kB") {
        if (*number > UINT64_MAX / 1024)
            return std::nullopt;
        return *number * 1024;
    }
    if (value.empty())
        return number;
    return std::nullopt;
}

// The number of a "key : value" line of /proc/cpuinfo, decimal or
// 0x-hexadecimal, up to 0xFFFF ("CPU architecture: 5TEJ" is 5); 0 without one.
unsigned CpuInfoNumber(std::string_view cpuinfo, std::string_view key) {
    while (!cpuinfo.empty()) {
        std::string_view line = NextLine(cpuinfo);
        if (line.substr(0, key.size()) != key)
            continue;
        line.remove_prefix(key.size());
        SkipBlanks(line);
        if (line.empty() || line.front() != ':')
            continue;
        line.remove_prefix(1);
        SkipBlanks(line);
        if (line.substr(0, 2) != "0x")
            return static_cast<unsigned>(
                std::min<std::uint64_t>(TakeNumber(line).value_or(0), 0xFFFF));
        line.remove_prefix(2);
        std::uint64_t value = 0;
        const auto error = std::from_chars(line.data(), line.data() + line.size(), value, 16).ec;
        if (error == std::errc::result_out_of_range)
            return 0xFFFF;
        return error == std::errc() ? static_cast<unsigned>(std::min<std::uint64_t>(value, 0xFFFF))
                                    : 0;
    }
    return 0;
}

} // namespace

std::optional<std::uint64_t> SpaceSeparatedField(std::string_view text, std::string_view key) {
    std::optional<std::string_view> value = LineValue(text, key, ' ');
    if (!value)
        return std::nullopt;
    std::optional<std::uint64_t> number = TakeNumber(*value);
    if (!number || !value->empty())
        return std::nullopt;
    return number;
}

// One pass over the lines; each field comes from the first "Key: value"
// line that names it.
std::optional<MemInfo> ParseMemInfo(std::string_view text) {
    enum {
        kTotal,
        kAvailable,
        kFree,
        kBuffers,
        kCached,
        kSReclaimable,
        kShmem,
        kSwapTotal,
        kSwapFree,
        kFields
    };
    static constexpr std::string_view kKeys[kFields] = {"MemTotal", "MemAvailable", "MemFree",
                                                        "Buffers",  "Cached",       "SReclaimable",
                                                        "Shmem",    "SwapTotal",    "SwapFree"};
    std::optional<std::string_view> values[kFields];
    int found = 0;
    for (std::string_view rest = text; !rest.empty() && found < kFields;) {
        const std::string_view line = NextLine(rest);
        const std::string_view key = line.substr(0, line.find(':'));
        for (int field = 0; key.size() < line.size() && field < kFields; ++field)
            if (!values[field] && key == kKeys[field]) {
                values[field] = line.substr(key.size() + 1);
                ++found;
                break;
            }
    }
    auto field = [&](int index) {
        return values[index] ? KibibyteValue(*values[index]) : std::nullopt;
    };
    MemInfo info;
    const std::optional<std::uint64_t> total = field(kTotal);
    if (!total || *total == 0)
        return std::nullopt;
    info.total = *total;
    info.available = field(kAvailable);
    info.free = field(kFree).value_or(0);
    info.buffers = field(kBuffers).value_or(0);
    info.cached = field(kCached).value_or(0);
    info.sReclaimable = field(kSReclaimable).value_or(0);
    info.shmem = field(kShmem).value_or(0);
    info.swapTotal = field(kSwapTotal).value_or(0);
    info.swapFree = std::min(field(kSwapFree).value_or(0), info.swapTotal);
    return info;
}

std::uint64_t AvailablePhysical(const MemInfo &info) {
    if (info.available && *info.available <= info.total)
        return *info.available;
    // Kernels before 3.14 have no MemAvailable: estimate it the way free(1)
    // and the kernel itself did, from free memory and reclaimable caches.
    std::uint64_t estimate = 0;
    for (std::uint64_t part : {info.free, info.buffers, info.cached, info.sReclaimable})
        estimate = part > UINT64_MAX - estimate ? UINT64_MAX : estimate + part;
    estimate = estimate > info.shmem ? estimate - info.shmem : 0;
    return std::min(estimate, info.total);
}

posix_sources::PhysicalMemory PhysicalMemoryOf(const MemInfo &info) {
    return {info.total, AvailablePhysical(info), info.swapTotal, info.swapFree};
}

std::optional<std::uint64_t> ParseCpuList(std::string_view text, std::uint64_t *count) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    if (text.empty())
        return std::nullopt;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (std::string_view range : Split(text, ',')) {
        std::optional<std::uint64_t> first = TakeNumber(range);
        std::optional<std::uint64_t> last = first;
        if (!first)
            return std::nullopt;
        if (!range.empty() && range.front() == '-') {
            range.remove_prefix(1);
            last = TakeNumber(range);
            if (!last || *last < *first)
                return std::nullopt;
        }
        if (!range.empty())
            return std::nullopt;
        ranges.emplace_back(*first, *last);
    }
    // A CPU listed twice is one CPU: the ranges are merged before counting.
    std::sort(ranges.begin(), ranges.end());
    std::uint64_t mask = 0, cpus = 0, next = 0; // next: the first CPU not yet counted
    for (const auto &[first, last] : ranges) {
        const std::uint64_t from = std::max(first, next);
        if (from > last)
            continue;
        for (std::uint64_t cpu = from; cpu <= last && cpu < 64; ++cpu)
            mask |= std::uint64_t{1} << cpu;
        const std::uint64_t more = last - from + 1; // 0 only for all 2^64 of them
        cpus = more == 0 || cpus + more < cpus ? UINT64_MAX : cpus + more;
        next = last + 1;
        if (next == 0)
            break;
    }
    if (count != nullptr)
        *count = cpus;
    return mask;
}

std::optional<CgroupPath> MemoryCgroupPath(std::string_view procSelfCgroup) {
    std::optional<CgroupPath> unified;
    while (!procSelfCgroup.empty()) {
        // "hierarchy-id:controllers:path"; the path itself may hold colons.
        const std::string_view line = NextLine(procSelfCgroup);
        const std::size_t first = line.find(':');
        const std::size_t second =
            line.find(':', first == std::string_view::npos ? first : first + 1);
        if (second == std::string_view::npos)
            continue;
        const std::string_view id = line.substr(0, first);
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string path(line.substr(second + 1));
        if (HasOption(controllers, "memory"))
            return CgroupPath{false, path};
        if (id == "0" && controllers.empty())
            unified = CgroupPath{true, path};
    }
    return unified;
}

std::optional<CgroupDirectory> MemoryCgroupDirectory(std::string_view mountInfo,
                                                     const CgroupPath &cgroup) {
    while (!mountInfo.empty()) {
        const std::string_view line = NextLine(mountInfo);
        // Most mounts are not cgroups at all: pass them by without splitting.
        if (line.find(" - cgroup") == std::string_view::npos)
            continue;
        const std::vector<std::string_view> fields = Split(line, ' ');
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 5 || dash == fields.end() || fields.end() - dash < 4)
            continue;
        const std::string_view type = dash[1];
        const bool matches =
            cgroup.unified ? type == "cgroup2" : type == "cgroup" && HasOption(dash[3], "memory");
        if (!matches)
            continue;
        const std::string root = UnescapeOctal(fields[3]);
        const std::string mountPoint = UnescapeOctal(fields[4]);
        if (!IsWithin(cgroup.path, root))
            continue;
        const std::string relative = root == "/" ? cgroup.path : cgroup.path.substr(root.size());
        return CgroupDirectory{relative == "/" ? mountPoint : mountPoint + relative, mountPoint};
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ParseStatmSize(std::string_view text) {
    std::optional<std::uint64_t> pages = TakeNumber(text);
    if (!pages || text.empty() || text.front() != ' ')
        return std::nullopt;
    return pages;
}

std::optional<std::uint64_t> ParseMemoryLimit(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    std::optional<std::uint64_t> limit = TakeNumber(text);
    if (!limit || !text.empty())
        return std::nullopt;
    return limit;
}

ProcessorIdentity CpuInfoProcessorIdentity(std::string_view cpuinfo) {
    const unsigned variant = CpuInfoNumber(cpuinfo, "CPU variant") & 0xFF;
    const unsigned revision = CpuInfoNumber(cpuinfo, "CPU revision") & 0xFF;
    return {static_cast<std::uint16_t>(CpuInfoNumber(cpuinfo, "CPU architecture")),
            static_cast<std::uint16_t>((variant << 8) | revision)};
}

} // namespace linux_sources
