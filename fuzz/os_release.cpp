// os_release: any bytes as os-release, /proc/self/cgroup, mountinfo, a CPU
// list, a memory limit and /proc/self/status, through every parser of
// linux_sources and posix_sources (no crash, no undefined behaviour), and these properties:
//
// - OsReleaseValue gives one line's value; a value written in double quotes
//   with \ before " \ $ ` or in single quotes comes back as it was, after
//   any text (the last assignment wins).
// - ParseCpuList, ParseMemoryLimit and SpaceSeparatedField equal plain
//   reference parsers of "0-3,8,10-11", "N\n" and "key N" (decimal numbers
//   that fit in 64 bits, nothing else).
// - The memory cgroup's directory is its mount point or lies below it.
#include "fuzz_support.h"
#include "linux_sources.h"

#include <algorithm>

namespace {

using fuzz::Digits;
using fuzz::Lines;
using fuzz::WithoutLeadingBlanks;

std::string_view WithoutTrailing(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    return text;
}

std::optional<std::uint64_t> ReferenceCpuList(std::string_view text) {
    text = WithoutTrailing(text);
    if (text.empty())
        return std::nullopt;
    std::uint64_t mask = 0;
    while (true) {
        const std::size_t comma = text.find(',');
        std::string_view range = text.substr(0, comma);
        const auto first = Digits(range);
        if (!first)
            return std::nullopt;
        std::uint64_t last = *first;
        if (!range.empty() && range.front() == '-') {
            range.remove_prefix(1);
            const auto end = Digits(range);
            if (!end || *end < *first)
                return std::nullopt;
            last = *end;
        }
        if (!range.empty())
            return std::nullopt;
        for (std::uint64_t cpu = *first; cpu < 64 && cpu <= last; ++cpu)
            mask |= std::uint64_t{1} << cpu;
        if (comma == std::string_view::npos)
            return mask;
        text.remove_prefix(comma + 1);
    }
}

std::optional<std::uint64_t> ReferenceMemoryLimit(std::string_view text) {
    text = WithoutTrailing(text);
    const auto limit = Digits(text);
    return limit && text.empty() ? limit : std::nullopt;
}

std::optional<std::uint64_t> ReferenceSpaceSeparatedField(std::string_view text,
                                                          std::string_view key) {
    for (std::string_view line : Lines(text)) {
        if (line.size() <= key.size() || line.substr(0, key.size()) != key ||
            line[key.size()] != ' ')
            continue;
        std::string_view rest = line.substr(key.size() + 1);
        const auto number = Digits(rest);
        return number && rest.empty() ? number : std::nullopt;
    }
    return std::nullopt;
}

void CheckCgroupDirectory(std::string_view mountInfo, const linux_sources::CgroupPath &path) {
    const auto where = linux_sources::MemoryCgroupDirectory(mountInfo, path);
    if (!where)
        return;
    // kxutil walks up from the directory to the mount point by cutting at the
    // last '/': what follows the mount point is nothing or starts with one.
    const std::string &directory = where->directory, &mountPoint = where->mountPoint;
    FUZZ_REQUIRE(directory.compare(0, mountPoint.size(), mountPoint) == 0);
    FUZZ_REQUIRE(directory.size() == mountPoint.size() || directory[mountPoint.size()] == '/');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The parsers read the fuzzer's own buffer, so that reading past it is caught.
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    const auto pretty = posix_sources::OsReleaseValue(text, "PRETTY_NAME");
    if (pretty)
        FUZZ_REQUIRE(pretty->find('\n') == std::string::npos &&
                     text.find("PRETTY_NAME=") != std::string::npos);

    // The same bytes as a value, appended in both quotings.
    std::string value(text), doubleQuoted, singleQuoted;
    value.erase(std::remove(value.begin(), value.end(), '\n'), value.end());
    for (char c : value) {
        if (c == '"' || c == '\\' || c == '$' || c == '`')
            doubleQuoted += '\\';
        doubleQuoted += c;
        if (c != '\'')
            singleQuoted += c;
    }
    const std::string before(text);
    FUZZ_REQUIRE(posix_sources::OsReleaseValue(before + "\nPRETTY_NAME=\"" + doubleQuoted + "\"\n",
                                               "PRETTY_NAME") == value);
    FUZZ_REQUIRE(posix_sources::OsReleaseValue(before + "\n  PRETTY_NAME='" + singleQuoted + "'",
                                               "PRETTY_NAME") == singleQuoted);

    FUZZ_REQUIRE(linux_sources::ParseCpuList(text) == ReferenceCpuList(text));
    FUZZ_REQUIRE(linux_sources::ParseMemoryLimit(text) == ReferenceMemoryLimit(text));
    for (const char *key : {"inactive_file", "total_inactive_file"})
        FUZZ_REQUIRE(linux_sources::SpaceSeparatedField(text, key) ==
                     ReferenceSpaceSeparatedField(text, key));

    const auto cgroup = linux_sources::MemoryCgroupPath(text);
    if (cgroup)
        CheckCgroupDirectory(text, *cgroup);
    CheckCgroupDirectory(text, {true, "/"});
    CheckCgroupDirectory(text, {true, "/user.slice/session-1.scope"});
    CheckCgroupDirectory(text, {false, "/docker/0123456789ab"});
    return 0;
}
