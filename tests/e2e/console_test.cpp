// What OrbelleC writes on standard output, byte for byte.
#include "run_program.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using e2e::Execute;

namespace {

// On Linux, standard output's lines end in LF.
const std::string kAbout = "Brenvik - Pavik system info (console) 1.04.0112\n"
                           "Copyright (C) 2026 Brenvik - Pavik";

std::string UsageResource() {
    return e2e::ReadFile(std::string(ORBELLE_SOURCE_DIR) + "/resources/TXT_USAGE_NEW.txt");
}

std::string Filled(std::string text, const std::string &name) {
    for (std::size_t at; (at = text.find("%00")) != std::string::npos;)
        text.replace(at, 3, name);
    return text;
}

std::string ExpectedUsage(const char *charset, const std::string &name = "OrbelleC") {
    return kAbout + "\n\n" +
           e2e::CrLfToLf(Filled(e2e::Recode(UsageResource(), "CP1251", charset), name)) + "\n";
}

} // namespace

TEST(ConsoleAbout, IsTitleVersionAndCopyrightOnTwoLines) {
    for (const char *argument : {"/A", "/about", "  /About  "}) {
        const e2e::Result result = Execute({{argument}});
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, kAbout + "\n") << argument;
        EXPECT_EQ(result.err, "");
    }
}

TEST(ConsoleUsage, IsTheAboutTextAnEmptyLineAndTheFilledUsage) {
    for (const std::vector<std::string> &arguments : std::vector<std::vector<std::string>>{
             {"/?"}, {"/HELP"}, {"/usage"}, {"/F:U", "/I:MS"}, {"/I:A/F"}, {"/X"}, {"\xFF\xFE"}}) {
        const e2e::Result result = Execute({arguments});
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, ExpectedUsage("UTF-8")) << arguments[0];
    }
}

TEST(ConsoleUsage, IsWrittenInTheLocalesEncoding) {
    const std::string cp1251 = Execute({{"/?"}, "ru_RU.CP1251"}).out;
    EXPECT_EQ(cp1251, ExpectedUsage("CP1251"));
    const std::string ibm866 = Execute({{"/?"}, "ru_RU.IBM866"}).out;
    EXPECT_EQ(ibm866, ExpectedUsage("IBM866"));
    // "/I, /I:A - В…": capital Ve is 0x82 in IBM866 and 0xC2 in Windows-1251.
    EXPECT_EQ(e2e::ScreenLines(ibm866)[5].substr(0, 12), "/I, /I:A - \x82");
    EXPECT_EQ(e2e::ScreenLines(cp1251)[5].substr(0, 12), "/I, /I:A - \xC2");
    // Without LC_ALL, LC_CTYPE comes before LANG.
    e2e::Invocation byCategory{{"/?"}, ""};
    byCategory.environment = {"LANG=C", "LC_CTYPE=ru_RU.CP1251"};
    EXPECT_EQ(Execute(byCategory).out, cp1251);
}

TEST(ConsoleUsage, CharactersTheLocaleLacksBecomeQuestionMarks) {
    const std::string ascii = Execute({{"/?"}, "C"}).out;
    EXPECT_EQ(e2e::ScreenLines(ascii)[5].substr(0, 19), "/I, /I:A - ??????? ");
    EXPECT_EQ(ascii.find_first_of("\x80\xFF"), std::string::npos);
}

TEST(ConsoleUsage, ARenamedCopyNamesItselfAndItsReportFile) {
    // In a folder whose path alone is longer than 256 bytes.
    const std::string directory = e2e::TemporaryDirectory() + "/" + std::string(250, 'd');
    ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
    const std::string copy = directory + "/SysProbe.bin";
    e2e::WriteFile(copy, e2e::ReadFile(e2e::ProgramPath()));
    ASSERT_EQ(chmod(copy.c_str(), 0755), 0);
    e2e::Invocation run{{"/?"}};
    run.program = copy;
    EXPECT_EQ(Execute(run).out, ExpectedUsage("UTF-8", "SysProbe"));
    run.arguments = {"/I:V", "/F"};
    run.directory = directory;
    EXPECT_EQ(Execute(run).exitStatus, 0);
    EXPECT_EQ(e2e::DirectoryEntries(directory),
              (std::vector<std::string>{"SysProbe.TXT", "SysProbe.bin"}));
}
