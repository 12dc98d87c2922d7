// Every report kind, filled with this machine's values.
#include "kxutil.h"
#include "reference_commands.h"
#include "run_program.h"
#include "unicode.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sys/personality.h>
#include <sys/utsname.h>
#include <unistd.h>

using e2e::Execute;

namespace {

// The template each report kind fills, in the order of the kinds' numbers.
const char *const kTemplates[] = {"TXT_INFO_ALL",    "TXT_INFO_VERSION",   "TXT_MEMORY_STAT",
                                  "TXT_MEMORY_INFO", "TXT_PROCESSOR_INFO", "TXT_LIGHT_INFO",
                                  "TXT_LIGHT_INFO_2"};

// The template's lines as patterns: literal text, a value for each
// placeholder, and the last line without its trailing blanks.
std::vector<std::regex> LinePatterns(const char *resource) {
    std::string text =
        e2e::ReadFile(std::string(ORBELLE_SOURCE_DIR) + "/resources/" + resource + ".txt");
    text.erase(text.find_last_not_of(' ') + 1);
    std::vector<std::regex> patterns;
    for (const std::string &line : e2e::SplitLines(text)) {
        const std::string escaped =
            std::regex_replace(line, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
        patterns.emplace_back(
            std::regex_replace(escaped, std::regex("%[0-9][0-9]"), "[^%\\r\\n]+"));
    }
    return patterns;
}

std::vector<std::string> ReportLines(const e2e::Invocation &run) {
    const e2e::Result result = Execute(run);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.back(), '\n');
    return e2e::ScreenLines(result.out.substr(0, result.out.size() - 1));
}

std::string Value(const std::vector<std::string> &lines, const std::string &label) {
    for (const std::string &line : lines)
        if (line.compare(0, label.size(), label) == 0)
            return line.substr(line.find_first_not_of(' ', label.size()));
    ADD_FAILURE() << "no line " << label;
    return {};
}

std::string ByteSize(double bytes) {
    std::u16string text;
    kxutil::kxFormatByteSizeEx(bytes, text);
    return unicode::Utf16ToUtf8(text);
}

std::string ProcLine(const char *path, const std::string &key) {
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        if (line.compare(0, key.size(), key) == 0)
            return line.substr(key.size());
    return {};
}

} // namespace

TEST(Reports, EveryKindIsItsTemplateWithEveryPlaceholderFilled) {
    int screenCommands = 0;
    for (const auto &[text, report] : reference::ReportCommands()) {
        if (report.second != modMain::kScreen)
            continue;
        ++screenCommands;
        const std::string command(text.begin(), text.end());
        SCOPED_TRACE(command);
        const std::vector<std::string> lines =
            ReportLines({std::vector<std::string>(text.empty() ? 0 : 1, command)});
        const std::vector<std::regex> patterns = LinePatterns(kTemplates[report.first]);
        ASSERT_EQ(lines.size(), patterns.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(std::regex_match(lines[i], patterns[i]))
                << "line " << i + 1 << ": " << lines[i];
        EXPECT_NE(lines.back().back(), ' ');
    }
    EXPECT_EQ(screenCommands, 9);
}

TEST(Reports, ValuesAreThisMachines) {
    utsname names{};
    ASSERT_EQ(uname(&names), 0);
    std::string pretty = ProcLine("/etc/os-release", "PRETTY_NAME=");
    if (pretty.size() >= 2 && pretty.front() == '"')
        pretty = pretty.substr(1, pretty.size() - 2);
    // The machine names of uname(2) that stand for a 64-bit kernel: any other is 32-bit.
    const std::set<std::string> sixtyFour = {
        "x86_64", "aarch64",     "aarch64_be", "ppc64le", "ppc64", "s390x",   "riscv64",
        "mips64", "loongarch64", "sparc64",    "alpha",   "ia64",  "parisc64"};
    // Natively, and in the 32-bit personality that a 64-bit kernel gives its
    // 32-bit programs (uname then names the 32-bit machine).
    const int native = personality(0xFFFFFFFF);
    for (const bool compat : {true, false}) {
        if (personality(compat ? PER_LINUX32 : native) == -1)
            continue; // a kernel without 32-bit programs
        ASSERT_EQ(uname(&names), 0);
        personality(native);
        const std::string kernel =
            std::string(names.sysname) + " " + names.release + " " + names.machine;
        e2e::Invocation run{{"/I:V"}};
        if (compat)
            run.prefix = {"/usr/bin/setarch", "linux32"};
        const std::vector<std::string> version = ReportLines(run);
        ASSERT_EQ(version.size(), 3u);
        EXPECT_EQ(version[0], pretty.empty() ? kernel : pretty + ", " + kernel);
        EXPECT_EQ(version[2], std::string("Running ") +
                                  (sixtyFour.count(names.machine) ? "64" : "32") + "-bit system")
            << names.machine;
    }

    const std::vector<std::string> processor = ReportLines({{"/I:PI"}});
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    EXPECT_EQ(Value(processor, "Number of processors:"), std::to_string(online));
    const std::string mask = processor.back().substr(3);
    EXPECT_EQ(mask.size(), sizeof(void *) * 8);
    EXPECT_EQ(std::count(mask.begin(), mask.end(), '1'), std::min(online, 64L));
    if (std::string(names.machine) == "x86_64") {
        EXPECT_EQ(Value(processor, "Processor architecture:"), "Unknown"); // code 9 has no row
    }

    const std::vector<std::string> layout = ReportLines({{"/I:MI"}});
    EXPECT_EQ(Value(layout, "Page size:"), ByteSize(static_cast<double>(sysconf(_SC_PAGESIZE))));
    EXPECT_EQ(Value(layout, "Allocation granularity:"),
              ByteSize(static_cast<double>(sysconf(_SC_PAGESIZE))));
    const unsigned long minimum = std::stoul(e2e::ReadFile("/proc/sys/vm/mmap_min_addr"));
    const unsigned long expectedMinimum = std::max<unsigned long>(minimum, sysconf(_SC_PAGESIZE));
    EXPECT_EQ(std::stoul(Value(layout, "Minimum application address:"), nullptr, 16),
              expectedMinimum);
    // Where any address may be mapped, the first page still may not.
    const std::string zero = e2e::TemporaryDirectory() + "/zero";
    e2e::WriteFile(zero, "0\n");
    e2e::Invocation anywhere{{"/I:MI"}};
    anywhere.prefix = {"/usr/bin/unshare",
                       "-m",
                       "--propagation=private",
                       "/bin/sh",
                       "-c",
                       "mount --bind " + zero + " /proc/sys/vm/mmap_min_addr && exec \"$@\"",
                       "-"};
    EXPECT_EQ(std::stoul(Value(ReportLines(anywhere), "Minimum application address:"), nullptr, 16),
              static_cast<unsigned long>(sysconf(_SC_PAGESIZE)));
    // The top of the user address space lies above this very stack; on
    // x86-64 it is the kernel's TASK_SIZE less one, 47 address bits less a
    // guard page, or 56 bits with five-level paging (the la57 flag).
    const std::string maximum = Value(layout, "Maximum application address:");
    int onTheStack = 0;
    EXPECT_GT(std::stoull(maximum, nullptr, 16), reinterpret_cast<std::uintptr_t>(&onTheStack));
    EXPECT_EQ(maximum.size(), 2 + sizeof(void *) * 2);
    if (std::string(names.machine) == "x86_64" && sizeof(void *) == 8) {
        const bool la57 = ProcLine("/proc/cpuinfo", "flags").find(" la57") != std::string::npos;
        const std::uint64_t userSpace = (std::uint64_t{1} << (la57 ? 56 : 47)) - 4096;
        EXPECT_EQ(std::stoull(maximum, nullptr, 16), userSpace - 1);
        EXPECT_EQ(Value(ReportLines({{"/I:MS"}}), "Total virtual:"),
                  ByteSize(static_cast<double>(userSpace)));
    }

    const std::vector<std::string> light = ReportLines({{"/I:LI"}});
    const double memTotal = std::stod(ProcLine("/proc/meminfo", "MemTotal:")) * 1024;
    EXPECT_EQ(Value(light, "RAM total:"), ByteSize(memTotal));
}

TEST(Reports, MemoryStatisticsAreConsistent) {
    const std::vector<std::string> lines = ReportLines({{"/I:MS"}});
    const std::string load = Value(lines, "Memory load:");
    EXPECT_EQ(load.back(), '%');
    const int percent = std::stoi(load);
    EXPECT_TRUE(percent >= 0 && percent <= 100) << load;
    const double swapTotal = std::stod(ProcLine("/proc/meminfo", "SwapTotal:")) * 1024;
    const double memTotal = std::stod(ProcLine("/proc/meminfo", "MemTotal:")) * 1024;
    EXPECT_EQ(Value(lines, "Total page file:"), ByteSize(memTotal + swapTotal));
}
