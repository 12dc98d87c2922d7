// The report file: its bytes, its name, and what happens when it cannot be written.
#include "run_program.h"

#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using e2e::Execute;

namespace {

const std::string kTitleLine = "Brenvik - Pavik system info (console) 1.04.0112";

// The screen's report as the file holds it: with CR LF line ends, without the last.
std::string ScreenReport(const std::string &command, const std::string &locale = "C.UTF-8") {
    const std::string out = Execute({{command}, locale}).out;
    return e2e::LfToCrLf(out.substr(0, out.size() - 1));
}

std::string Utf16ToUtf8(const std::string &utf16le) {
    return e2e::Recode(utf16le, "UTF-16LE", "UTF-8");
}

} // namespace

TEST(AnsiFile, IsTitleGenerationTimeEmptyLineAndReportInTheLocalesEncoding) {
    const std::string directory = e2e::TemporaryDirectory();
    const e2e::Result result = Execute({{"/I:V", "/F"}, "ru_RU.CP1251", directory});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(e2e::DirectoryEntries(directory), std::vector<std::string>{"OrbelleC.TXT"});
    const std::string bytes = e2e::ReadFile(directory + "/OrbelleC.TXT");
    const std::vector<std::string> lines = e2e::SplitLines(bytes);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], kTitleLine);
    // "Сгенерировано " in Windows-1251, then the short date and the long time.
    EXPECT_EQ(lines[1].substr(0, 14), "\xD1\xE3\xE5\xED\xE5\xF0\xE8\xF0\xEE\xE2\xE0\xED\xEE ");
    EXPECT_TRUE(
        std::regex_match(lines[1].substr(14), std::regex(R"(\d\d\.\d\d\.\d{4}( \d\d:\d\d:\d\d)?)")))
        << lines[1].substr(14);
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(bytes.substr(bytes.find("\r\n\r\n") + 4), ScreenReport("/I:V", "ru_RU.CP1251"));
}

TEST(UnicodeFile, IsByteOrderMarkAndUtf16LittleEndian) {
    const std::string directory = e2e::TemporaryDirectory();
    const e2e::Result result = Execute({{"/I:PI /F:U"}, "C", directory});
    EXPECT_EQ(result.exitStatus, 0);
    const std::string bytes = e2e::ReadFile(directory + "/OrbelleC.TXT");
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(bytes.size() % 2, 0u);
    const std::string text = Utf16ToUtf8(bytes.substr(2));
    const std::size_t secondLine = bytes.find(std::string("\r\0\n\0", 4)) + 4;
    EXPECT_EQ(bytes.substr(secondLine, 4), std::string("\x21\x04\x33\x04", 4));
    EXPECT_EQ(text.substr(0, kTitleLine.size() + 2), kTitleLine + "\r\n");
    EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4), ScreenReport("/I:PI"));
    // The C locale's date and time (12/07/26 05:14:51), the date alone at
    // midnight: each local time made by a time zone offset to the second.
    for (const long local : {0L, 30L, 43200L}) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const std::time_t now = std::time(nullptr);
            const long west = (now % 86400 - local + 86400) % 86400;
            e2e::Invocation run{{"/I:V", "/F:U"}, "C", directory};
            run.environment = {"TZ=UTC+" + std::to_string(west / 3600) + ":" +
                               std::to_string(west / 60 % 60) + ":" + std::to_string(west % 60)};
            Execute(run);
            if (std::time(nullptr) != now)
                continue; // a second went by: try again
            const std::time_t shown = now - west;
            char date[32];
            std::strftime(date, sizeof date, local == 0 ? "%m/%d/%y" : "%m/%d/%y %H:%M:%S",
                          std::gmtime(&shown));
            const std::string file =
                Utf16ToUtf8(e2e::ReadFile(directory + "/OrbelleC.TXT").substr(2));
            EXPECT_EQ(e2e::SplitLines(file)[1], std::string("Сгенерировано ") + date) << local;
            break;
        }
    }
}

TEST(ReportFile, AShorterReportReplacesALongerOneWhole) {
    const std::string directory = e2e::TemporaryDirectory();
    Execute({{"/I", "/F:U"}, "C.UTF-8", directory});
    const auto longer = e2e::ReadFile(directory + "/OrbelleC.TXT").size();
    Execute({{"/I:V", "/F"}, "C.UTF-8", directory});
    const std::string bytes = e2e::ReadFile(directory + "/OrbelleC.TXT");
    EXPECT_LT(bytes.size(), longer / 4);
    EXPECT_EQ(bytes.substr(bytes.find("\r\n\r\n") + 4), ScreenReport("/I:V"));
    EXPECT_EQ(e2e::DirectoryEntries(directory), std::vector<std::string>{"OrbelleC.TXT"});
}

TEST(ReportFile, AnUnwritableDirectoryIsARunTimeErrorAndTheOldReportStays) {
    ASSERT_EQ(geteuid(), 0u) << "this test drops to an unprivileged user and must start as root";
    const std::string directory = e2e::TemporaryDirectory();
    ASSERT_EQ(chmod(directory.c_str(), 0755), 0);
    e2e::WriteFile(directory + "/OrbelleC.TXT", "old report");
    e2e::Invocation run{{"/I:V", "/F:U"}, "C.UTF-8", directory};
    run.prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    const e2e::Result result = Execute(run);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "OrbelleC: run-time error: writing the report file failed (status -13: " +
                              std::filesystem::canonical(directory).string() +
                              "/OrbelleC.TXT: Permission denied)\n");
    EXPECT_EQ(e2e::ReadFile(directory + "/OrbelleC.TXT"), "old report");
    EXPECT_EQ(e2e::DirectoryEntries(directory), std::vector<std::string>{"OrbelleC.TXT"});
    // The path names the root directory once.
    run.directory = "/";
    EXPECT_EQ(Execute(run).err, "OrbelleC: run-time error: writing the report file failed (status "
                                "-13: /OrbelleC.TXT: Permission denied)\n");
}
