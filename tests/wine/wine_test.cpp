// The Windows executables, x64 and x86, run under Wine: their bytes on the
// console, their report files, their event-log entries, and what they are
// made of.
#include "run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

struct Build {
    const char *name;
    std::string directory;
    const char *loader;
    const char *objdump;
    int addressDigits;
};

const Build kBuilds[] = {
    {"win64", WINDOWS_BUILD_64, "/usr/lib/wine/wine64", "x86_64-w64-mingw32-objdump", 16},
    {"win32", WINDOWS_BUILD_32, "/usr/lib/wine/wine", "i686-w64-mingw32-objdump", 8},
};

const std::string kAbout = "Brenvik - Pavik system info (console) 1.04.0112\r\n"
                           "Copyright (C) 2026 Brenvik - Pavik";
const std::string kDialogTitle = "Brenvik - Pavik system info";

std::string Resource(const std::string &name) {
    return e2e::ReadFile(std::string(ORBELLE_SOURCE_DIR) + "/resources/" + name + ".txt");
}

std::string Filled(std::string text, const std::string &name) {
    for (std::size_t at; (at = text.find("%00")) != std::string::npos;)
        text.replace(at, 3, name);
    return text;
}

// Why the x86 executables cannot run here, or "" when they can: some x86-64
// kernels are built without 32-bit support, and Wine's 32-bit half with them.
const std::string &WhyNo32BitPrograms() {
    static const std::string reason = [] {
        e2e::Invocation check;
        check.program = std::string(ORBELLE_SOURCE_DIR) + "/tests/runs_32_bit_programs.sh";
        const e2e::Result result = e2e::Execute(check);
        return result.exitStatus == 77 ? result.out : std::string();
    }();
    return reason;
}

class Wine : public testing::TestWithParam<Build> {
  protected:
    // What the executables are made of is read without running them.
    void SetUp() override {
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        const bool runsWine =
            test.rfind("Executables", 0) != 0 && test.rfind("VersionInformation", 0) != 0;
        if (runsWine && std::string(GetParam().name) == "win32" && !WhyNo32BitPrograms().empty())
            GTEST_SKIP() << WhyNo32BitPrograms();
    }

    std::string Program(const char *name = "OrbelleC") const {
        return GetParam().directory + "/" + name + ".exe";
    }

    // Runs a Windows program as a user in a Russian locale would: Wine's
    // ANSI code page is then 1251 and its OEM code page 866.
    e2e::Result Run(const std::vector<std::string> &arguments, const std::string &directory = ".",
                    const std::string &program = "", const char *debug = "-all") const {
        e2e::Invocation run;
        run.arguments = arguments;
        run.locale = "ru_RU.UTF-8";
        run.directory = directory;
        run.program = program.empty() ? Program() : program;
        run.prefix = {GetParam().loader};
        run.environment = {std::string("WINEPREFIX=") + WINE_PREFIX,
                           std::string("WINEDEBUG=") + debug,
                           std::string("HOME=") + ORBELLE_BINARY_DIR};
        return e2e::Execute(run);
    }

    // The screen report of a kind, as written to the console.
    std::string Screen(const std::string &kind) const {
        const e2e::Result result = Run({kind});
        EXPECT_EQ(result.exitStatus, 0) << kind << ": " << result.err;
        return result.out;
    }
};

std::string BuildName(const testing::TestParamInfo<Build> &info) { return info.param.name; }

void PrintTo(const Build &build, std::ostream *out) { *out << build.name; }

INSTANTIATE_TEST_SUITE_P(, Wine, testing::ValuesIn(kBuilds), BuildName);

// --- What the executables are made of ---

std::string Command(const std::string &command) {
    std::string output;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t count; (count = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, count);
        pclose(pipe);
    }
    return output;
}

std::string Utf16(const std::string &ascii) {
    std::string bytes;
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

TEST_P(Wine, ExecutablesImportOnlySystemDllsAndHaveTheirSubsystems) {
    const std::set<std::string> system = {"ADVAPI32.DLL", "COMCTL32.DLL", "KERNEL32.DLL",
                                          "MSVCRT.DLL",   "SHELL32.DLL",  "USER32.DLL",
                                          "VERSION.DLL"};
    for (const char *name : {"OrbelleC", "Orbelle"}) {
        const std::string dump =
            Command(std::string(GetParam().objdump) + " -p '" + Program(name) + "' 2>&1");
        std::istringstream lines(dump);
        int dlls = 0;
        for (std::string line; std::getline(lines, line);) {
            const std::size_t at = line.find("DLL Name: ");
            if (at == std::string::npos)
                continue;
            ++dlls;
            std::string dll = line.substr(at + 10);
            for (char &c : dll)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_TRUE(system.count(dll)) << name << " imports " << line;
        }
        EXPECT_GE(dlls, 3) << dump.substr(0, 500);
        const bool console = std::string(name) == "OrbelleC";
        EXPECT_NE(dump.find(console ? "(Windows CUI)" : "(Windows GUI)"), std::string::npos)
            << name;
    }
}

TEST_P(Wine, VersionInformationHoldsTheProgramsIdentity) {
    for (const char *name : {"OrbelleC", "Orbelle"}) {
        const std::string image = e2e::ReadFile(Program(name));
        const bool console = std::string(name) == "OrbelleC";
        // VS_FIXEDFILEINFO: signature, structure version, then 1.4.0.112 twice.
        const std::string fixed("\xBD\x04\xEF\xFE\x00\x00\x01\x00"
                                "\x04\x00\x01\x00\x70\x00\x00\x00"
                                "\x04\x00\x01\x00\x70\x00\x00\x00",
                                24);
        EXPECT_NE(image.find(fixed), std::string::npos) << name;
        const std::string description =
            (console ? "Brenvik - Pavik system info (console)" : kDialogTitle) + " 1.03";
        for (const std::string &text :
             {std::string("040904B0"), std::string("1.04.0112"), description,
              std::string(name) + ".EXE", std::string("Copyright (C) 2026 Brenvik - Pavik")})
            EXPECT_NE(image.find(Utf16(text) + std::string(2, '\0')), std::string::npos)
                << name << ": " << text;
    }
}

// --- The console, in the OEM code page ---

TEST_P(Wine, UsageIsWrittenInCodePage866) {
    const std::string expected =
        kAbout + "\r\n\r\n" +
        Filled(e2e::Recode(Resource("TXT_USAGE_NEW"), "CP1251", "IBM866"), "OrbelleC") + "\r\n";
    const e2e::Result result = Run({"/?"});
    EXPECT_EQ(result.out, expected);
    // Capital Ve of "Вывести": 0x82 in code page 866, not 0xC2 as in 1251.
    const std::size_t at = result.out.find("/I, /I:A - ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(result.out[at + 11], '\x82');
}

TEST_P(Wine, CommandLineIsTheRawTextAfterTheProgramsName) {
    // Case does not matter; quotes are not taken away, so a quoted
    // command (Wine quotes an argument holding blanks) is not a command.
    const e2e::Result about = Run({"/a"});
    EXPECT_EQ(about.out + about.err, kAbout + "\r\n");
    EXPECT_EQ(about.exitStatus, 0);
    const std::string directory = e2e::TemporaryDirectory();
    EXPECT_EQ(Run({"/i:pi", "/f:u"}, directory).out, "");
    EXPECT_EQ(e2e::DirectoryEntries(directory), std::vector<std::string>{"OrbelleC.TXT"});
    const std::string usage = Run({"/?"}).out;
    EXPECT_EQ(Run({" /I "}).out, usage);
    EXPECT_EQ(Run({"/X"}).out, usage);
}

std::string TemplateLinePattern(const std::string &line) {
    static const std::regex placeholder("%[0-9][0-9]");
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    std::string pattern;
    std::size_t done = 0;
    for (std::sregex_iterator it(line.begin(), line.end(), placeholder), end; it != end; ++it) {
        pattern += std::regex_replace(line.substr(done, it->position() - done), special, R"(\$&)");
        pattern += ".+";
        done = it->position() + it->length();
    }
    return pattern + std::regex_replace(line.substr(done), special, R"(\$&)");
}

TEST_P(Wine, EveryReportKindFollowsItsTemplate) {
    const std::pair<const char *, const char *> kinds[] = {
        {"/I", "TXT_INFO_ALL"},          {"/I:V", "TXT_INFO_VERSION"},
        {"/I:MS", "TXT_MEMORY_STAT"},    {"/I:MI", "TXT_MEMORY_INFO"},
        {"/I:PI", "TXT_PROCESSOR_INFO"}, {"/I:LI", "TXT_LIGHT_INFO"},
        {"/I:LI2", "TXT_LIGHT_INFO_2"}};
    for (const auto &[kind, block] : kinds) {
        std::string text = Resource(block);
        text.erase(text.find_last_not_of(' ') + 1);
        const std::vector<std::string> lines = e2e::SplitLines(text);
        std::vector<std::string> shown = e2e::SplitLines(Screen(kind));
        ASSERT_FALSE(shown.empty()) << kind;
        EXPECT_EQ(shown.back(), "") << kind << ": no final CR LF";
        shown.pop_back();
        ASSERT_EQ(shown.size(), lines.size()) << kind;
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(std::regex_match(shown[i], std::regex(TemplateLinePattern(lines[i]))))
                << kind << " line " << i + 1 << ": " << shown[i];
    }
}

TEST_P(Wine, AddressesAndMaskHaveTheBuildsWidth) {
    const std::string digits = std::to_string(GetParam().addressDigits);
    const std::string memory = Screen("/I:MI");
    EXPECT_TRUE(std::regex_search(memory, std::regex("address: 0x[0-9A-F]{" + digits + "}\r\n")))
        << memory;
    const std::string processor = Screen("/I:PI");
    const std::string maskDigits = std::to_string(GetParam().addressDigits * 4);
    EXPECT_TRUE(std::regex_search(processor, std::regex("\r\n +[01]{" + maskDigits + "}\r\n")))
        << processor;
    // The host is 64-bit, whichever build asks.
    EXPECT_NE(Screen("/I:V").find("Running 64-bit system"), std::string::npos);
}

// --- Report files ---

TEST_P(Wine, AnsiReportFileHasTheHeaderInCodePage1251) {
    const std::string directory = e2e::TemporaryDirectory();
    const e2e::Result result = Run({"/I:PI", "/F"}, directory);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out + result.err, "");
    const std::string file = e2e::ReadFile(directory + "/OrbelleC.TXT");
    const std::vector<std::string> lines = e2e::SplitLines(file);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Brenvik - Pavik system info (console) 1.04.0112");
    EXPECT_EQ(lines[1].substr(0, 14), "\xD1\xE3\xE5\xED\xE5\xF0\xE8\xF0\xEE\xE2\xE0\xED\xEE ");
    EXPECT_TRUE(std::regex_search(lines[1], std::regex("[0-9]")));
    EXPECT_EQ(lines[2], "");
    const std::string screen = Screen("/I:PI");
    EXPECT_EQ(file.substr(file.find("\r\n\r\n") + 4), screen.substr(0, screen.size() - 2));
}

TEST_P(Wine, UnicodeReportFileIsUtf16WithAByteOrderMark) {
    const std::string directory = e2e::TemporaryDirectory();
    EXPECT_EQ(Run({"/i:pi", "/f:u"}, directory).exitStatus, 0);
    const std::string file = e2e::ReadFile(directory + "/OrbelleC.TXT");
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(file.size() % 2, 0u);
    const std::string text = e2e::Recode(file.substr(2), "UTF-16LE", "UTF-8");
    const std::size_t secondLine = file.find(Utf16("\r\n")) + 4;
    EXPECT_EQ(file.substr(secondLine, 4), std::string("\x21\x04\x33\x04", 4));
    const std::string screen = Screen("/I:PI");
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "Brenvik - Pavik system info (console) 1.04.0112");
    EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4), screen.substr(0, screen.size() - 2));
}

TEST_P(Wine, SecondReportReplacesTheFirstWhole) {
    const std::string directory = e2e::TemporaryDirectory();
    Run({"/I", "/F"}, directory);
    Run({"/I:V", "/F"}, directory);
    const std::string file = e2e::ReadFile(directory + "/OrbelleC.TXT");
    const std::string version = Screen("/I:V");
    EXPECT_EQ(file.substr(file.find("\r\n\r\n") + 4), version.substr(0, version.size() - 2));
    EXPECT_EQ(e2e::DirectoryEntries(directory), std::vector<std::string>{"OrbelleC.TXT"});
}

TEST_P(Wine, RenamedCopyGoesByItsOwnName) {
    const std::string directory = e2e::TemporaryDirectory();
    const std::string copy = directory + "/Sysinfo.exe";
    std::filesystem::copy_file(Program(), copy);
    const e2e::Result usage = Run({"/?"}, directory, copy);
    EXPECT_EQ(usage.out.find("OrbelleC"), std::string::npos);
    EXPECT_NE(usage.out.find("Sysinfo[.EXE] [[/I"), std::string::npos);
    EXPECT_NE(usage.out.find("\"Sysinfo.TXT\""), std::string::npos);
    EXPECT_EQ(Run({"/I:V", "/F:U"}, directory, copy).exitStatus, 0);
    EXPECT_EQ(e2e::DirectoryEntries(directory),
              (std::vector<std::string>{"Sysinfo.TXT", "Sysinfo.exe"}));
}

TEST_P(Wine, UnwritableReportIsARunTimeErrorOnStandardError) {
    // A directory at the report's name, and a read-only report file.
    for (const bool readOnly : {false, true}) {
        const std::string directory = e2e::TemporaryDirectory();
        const std::string report = directory + "/OrbelleC.TXT";
        if (readOnly) {
            e2e::WriteFile(report, "old report");
            std::filesystem::permissions(report, std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::group_read |
                                                     std::filesystem::perms::others_read);
        } else {
            std::filesystem::create_directory(report);
        }
        const e2e::Result result = Run({"/I:V", "/F"}, directory);
        EXPECT_EQ(result.exitStatus, 1) << readOnly;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind(
                      "OrbelleC: run-time error: writing the report file failed (status -", 0),
                  0u)
            << result.err;
        EXPECT_EQ(e2e::DirectoryEntries(directory), std::vector<std::string>{"OrbelleC.TXT"});
        if (readOnly) {
            EXPECT_EQ(e2e::ReadFile(report), "old report");
        }
    }
}

// Ctrl-C reaches a program under Wine as SIGINT, which Wine turns into a
// console control event on a thread of its own. strace sends it at the
// report's flush and holds the flush back two seconds: the temporary file
// must not be left behind, and the report is the old one or the whole new
// one. Without a handler, whether the event's end of the process comes
// before the rename is a race, so the run is made four times. (Wine ends a
// thread on SIGTERM without any event: nothing can be tested there.)
TEST_P(Wine, CtrlCWhileWritingLeavesNoTemporaryFile) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::string directory = e2e::TemporaryDirectory();
        e2e::WriteFile(directory + "/OrbelleC.TXT", "old report");
        e2e::Invocation run;
        run.program = Program();
        run.arguments = {"/I:V", "/F"};
        run.directory = directory;
        run.prefix = {"/usr/bin/strace",
                      "-fqq",
                      "-o/dev/null",
                      "-etrace=fsync",
                      "-einject=fsync:signal=INT:delay_exit=2000000",
                      GetParam().loader};
        run.environment = {std::string("WINEPREFIX=") + WINE_PREFIX, "WINEDEBUG=-all",
                           std::string("HOME=") + ORBELLE_BINARY_DIR};
        const e2e::Result result = e2e::Execute(run);
        ASSERT_EQ(e2e::DirectoryEntries(directory), std::vector<std::string>{"OrbelleC.TXT"})
            << "run " << attempt + 1 << ": " << result.err;
        const std::string report = e2e::ReadFile(directory + "/OrbelleC.TXT");
        if (report != "old report") {
            const std::string version = Screen("/I:V");
            EXPECT_EQ(report.substr(report.find("\r\n\r\n") + 4),
                      version.substr(0, version.size() - 2));
        }
    }
}

// Writers that replace one report at once wait for each other, briefly,
// rather than fail.
TEST_P(Wine, ConcurrentWritersAllReplaceTheReport) {
    const std::string directory = e2e::TemporaryDirectory();
    e2e::Invocation run;
    run.program = "/bin/bash";
    run.arguments = {"-c",
                     "for i in $(seq 48); do \"$0\" \"$1\" /I:V /F & done; failed=0; "
                     "for job in $(jobs -p); do wait $job || failed=$((failed + 1)); done; "
                     "echo $failed",
                     GetParam().loader, Program()};
    run.directory = directory;
    run.environment = {std::string("WINEPREFIX=") + WINE_PREFIX, "WINEDEBUG=-all",
                       std::string("HOME=") + ORBELLE_BINARY_DIR};
    const e2e::Result result = e2e::Execute(run);
    EXPECT_EQ(result.out, "0\n") << result.err;
    EXPECT_EQ(e2e::DirectoryEntries(directory), std::vector<std::string>{"OrbelleC.TXT"});
}

// --- The event log ---

// Wine keeps no event log, but its trace shows each ReportEventW string, in
// order, escaped; one of more than about 290 characters is cut off there,
// and ends in "..." here.
std::vector<std::string> TracedEventStrings(const std::string &trace) {
    std::vector<std::string> strings;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find("trace:eventlog:ReportEventW L\"");
        if (at == std::string::npos)
            continue;
        std::string string = line.substr(at + 30);
        const bool cut = string.size() >= 4 && string.compare(string.size() - 4, 4, "\"...") == 0;
        string.erase(string.size() - (cut ? 4 : 1));
        strings.push_back(cut ? string + "..." : string);
    }
    return strings;
}

std::string Escaped(const std::string &text) {
    std::string escaped;
    for (char c : text)
        escaped += c == '\r'   ? std::string("\\r")
                   : c == '\n' ? std::string("\\n")
                               : std::string(1, c);
    return escaped;
}

std::string Captured(const std::string &text, const std::string &pattern) {
    std::smatch match;
    return std::regex_search(text, match, std::regex(pattern)) ? match.str(1) : "";
}

// What Wine itself traced of GlobalMemoryStatusEx: the load in decimal, then
// in hexadecimal the total and available physical memory, page file and
// virtual address space.
std::vector<std::uint64_t> TracedMemoryStatus(const std::string &trace) {
    const std::size_t at = trace.find("GlobalMemoryStatusEx MemoryLoad ");
    const std::string line =
        at == std::string::npos ? "" : trace.substr(at, trace.find('\n', at) - at);
    std::smatch match;
    if (!std::regex_search(
            line, match,
            std::regex("MemoryLoad ([0-9]+), TotalPhys ([0-9a-f]+), AvailPhys ([0-9a-f]+), "
                       "TotalPageFile ([0-9a-f]+), ?AvailPageFile ([0-9a-f]+), "
                       "TotalVirtual ([0-9a-f]+), AvailVirtual ([0-9a-f]+)")))
        return {};
    std::vector<std::uint64_t> figures = {std::stoull(match.str(1))};
    for (int i = 2; i <= 7; ++i)
        figures.push_back(std::stoull(match.str(i), nullptr, 16));
    return figures;
}

// Event 1's insertion strings: the text, then every fact at its position in
// docs/FLEET.md's table, empty where the kind does not report it. The values
// come from elsewhere than the program's list: Wine's own trace of
// GlobalMemoryStatusEx, Wine's page size and granularity, /proc/cpuinfo,
// and the exact figures of the program's other reports.
TEST_P(Wine, EventLogEntryIsTheTextThenEveryFactAtItsPosition) {
    const std::string layout = Screen("/I:MI"), processor = Screen("/I:PI");
    const std::string cpuinfo = e2e::ReadFile("/proc/cpuinfo");
    const auto cpu = [&](const char *key) {
        return std::stoul(Captured(cpuinfo, std::string("\n") + key + "\\s*: ([0-9]+)"));
    };
    const std::string osName = e2e::SplitLines(Screen("/I:V"))[0];
    const auto address = [&](const std::string &label) {
        return std::to_string(
            std::stoull(Captured(layout, label + ": +0x([0-9A-F]+)"), nullptr, 16));
    };
    std::map<int, std::string> machine = {
        {12, "4096"},
        {13, "65536"},
        {14, address("Minimum application address")},
        {15, address("Maximum application address")},
        {16, "9"}, // x86-64, which a 32-bit program is told as well
        {17, std::to_string(cpu("cpu family"))},
        {18, std::to_string(cpu("model") * 256 + cpu("stepping"))},
        {19, Captured(processor, "Number of processors: +([0-9]+)")},
        {20, std::to_string(std::stoull(Captured(processor, "\r\n +([01]+) *\r\n"), nullptr, 2))},
        {21, "64"},
        {22, osName}};
    const std::vector<int> processorFacts = {16, 17, 18, 19, 20};
    const struct {
        const char *program, *kind, *kindName;
        std::vector<int> reported;
    } rows[] = {{"OrbelleC",
                 "/I",
                 "all",
                 {4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22}},
                {"OrbelleC", "/I:PI", "processor-info", processorFacts},
                {"Orbelle", "/I:PI", "processor-info", processorFacts}};
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.program) + " " + row.kind + " /E");
        const std::string directory = e2e::TemporaryDirectory();
        const e2e::Result result =
            Run({row.kind, "/E"}, directory, Program(row.program), "-all,+eventlog,+virtual");
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(e2e::DirectoryEntries(directory).empty());
        const std::vector<std::uint64_t> memory = TracedMemoryStatus(result.err);
        ASSERT_EQ(memory.size(), 7u) << "Wine traced no GlobalMemoryStatusEx";
        std::map<int, std::string> facts = machine;
        facts[2] = row.kindName;
        facts[3] = "1.4.0.112";
        const int positions[] = {4, 6, 5, 8, 7, 10, 9}; // of the figures in the trace's order
        for (std::size_t i = 0; i < memory.size(); ++i)
            facts[positions[i]] = std::to_string(memory[i]);

        const std::vector<std::string> strings = TracedEventStrings(result.err);
        ASSERT_EQ(strings.size(), 24u);
        const std::string header =
            (std::string(row.program) == "OrbelleC" ? "Brenvik - Pavik system info (console)"
                                                    : kDialogTitle) +
            " 1.04.0112\r\n\r\n";
        if (std::string(row.kind) == "/I:PI") {
            EXPECT_EQ(strings[0], Escaped(header + processor.substr(0, processor.size() - 2)));
        } else { // as far as Wine's trace shows it
            EXPECT_EQ(strings[0].rfind(Escaped(header + osName +
                                               "\r\n\r\nRunning 64-bit system\r\n\r\n"
                                               "Memory statistics: \r\n   Memory load:         " +
                                               facts[4] + "%\r\n"),
                                       0),
                      0u)
                << strings[0];
        }
        for (int position = 2; position <= 24; ++position) {
            const bool reported =
                position <= 3 || std::count(row.reported.begin(), row.reported.end(), position);
            EXPECT_EQ(strings[position - 1], reported ? Escaped(facts[position]) : "")
                << "position " << position;
        }
    }
}

// --- The windowed program's files, with no display at all ---

TEST_P(Wine, WindowedProgramWritesItsReportFileWithoutADisplay) {
    const std::string directory = e2e::TemporaryDirectory();
    const e2e::Result result = Run({"/I:PI", "/F"}, directory, Program("Orbelle"));
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const std::string file = e2e::ReadFile(directory + "/Orbelle.TXT");
    EXPECT_EQ(file.substr(0, file.find("\r\n")), kDialogTitle + " 1.04.0112");
    const e2e::Result box = Run({"/I:PI"}, directory, Program("Orbelle"));
    EXPECT_EQ(box.exitStatus, 1);
    EXPECT_EQ(box.err.rfind("Orbelle: run-time error: showing a message box failed", 0), 0u)
        << box.err;
    // One line, ended as the console program ends its error line.
    EXPECT_EQ(box.err.find("\r\n"), box.err.size() - 2) << box.err;
}

} // namespace
