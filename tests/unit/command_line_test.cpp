#include "modMain.h"
#include "reference_commands.h"

#include <gtest/gtest.h>
#include <vector>

using modMain::Action;
using modMain::Command;
using modMain::InterpretCommand;
using modMain::NormaliseArgumentText;

namespace {

Command Interpret(std::u16string_view argumentText) {
    return InterpretCommand(NormaliseArgumentText(argumentText));
}

void ExpectReport(std::u16string_view argumentText, modMain::ReportKind kind,
                  modMain::OutputMode mode) {
    const Command command = Interpret(argumentText);
    EXPECT_EQ(command.action, Action::kReport);
    EXPECT_EQ(command.kind, kind);
    EXPECT_EQ(command.mode, mode);
}

void ExpectUsage(std::u16string_view argumentText) {
    EXPECT_EQ(Interpret(argumentText).action, Action::kUsage);
}

} // namespace

TEST(Normalisation, TrimsOuterBlanksUpperCasesAndCollapsesSpaceRuns) {
    const std::pair<std::u16string, std::u16string> rows[] = {
        {u"  /i:ms   /f:u \t", u"/I:MS /F:U"},
        {std::u16string(u"\r\n/a\0", 5), u"/A"},
        {u"\t\t\t", u""},
        {u"/I\t/F", u"/I\t/F"}, // inner tabs are not blanks between parts
        {u"`az{@AZ[", u"`AZ{@AZ["},
        // Letters beyond ASCII, and other blanks, are left alone.
        {u"/iя\u00E9\u00FF\u0131", u"/Iя\u00E9\u00FF\u0131"},
        {u"\v\f/a\u00A0\u3000", u"\v\f/A\u00A0\u3000"},
    };
    for (const auto &[text, normalised] : rows)
        EXPECT_EQ(NormaliseArgumentText(text), normalised);
}

TEST(CommandTable, AcceptsExactlyTheFortyFiveReportCommands) {
    // Each part alone and every pair of them, near misses included: the
    // interpreter must take exactly the reference's texts as reports.
    const std::u16string parts[] = {u"/I",    u"/I:A",   u"/I:V", u"/I:MS", u"/I:MI", u"/I:PI",
                                    u"/I:LI", u"/I:LI2", u"/F",   u"/F:A",  u"/F:U",  u"/E",
                                    u"/A",    u"/?",     u"/I:X", u"/I:L",  u"/F:W",  u"/E:A"};
    std::vector<std::u16string> candidates{u""};
    for (const std::u16string &first : parts) {
        candidates.push_back(first);
        for (const std::u16string &second : parts)
            candidates.push_back(first + u" " + second);
    }
    const auto &reference = reference::ReportCommands();
    ASSERT_EQ(reference.size(), 45u);
    int accepted = 0;
    for (const std::u16string &text : candidates) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        const auto expected = reference.find(text);
        if (Interpret(text).action == Action::kReport)
            ++accepted;
        if (expected != reference.end())
            ExpectReport(text, expected->second.first, expected->second.second);
        else
            EXPECT_NE(Interpret(text).action, Action::kReport);
    }
    EXPECT_EQ(accepted, 45);
}

TEST(CommandTable, AboutAndUsageHaveTheirNames) {
    EXPECT_EQ(Interpret(u"/A").action, Action::kAbout);
    EXPECT_EQ(Interpret(u"/about").action, Action::kAbout);
    EXPECT_EQ(Interpret(u"/?").action, Action::kUsage);
    EXPECT_EQ(Interpret(u"/Usage").action, Action::kUsage);
    EXPECT_EQ(Interpret(u"/HELP").action, Action::kUsage);
}

TEST(CommandTable, EmptyOrBlankTextIsTheFullReportOnScreen) {
    ExpectReport(u"", modMain::kAll, modMain::kScreen);
    ExpectReport(u"    ", modMain::kAll, modMain::kScreen);
    ExpectReport(u"\t \t", modMain::kAll, modMain::kScreen);
}

TEST(CommandTable, CaseAndSpacingDoNotMatter) {
    ExpectReport(u"/i:ms", modMain::kMemoryStat, modMain::kScreen);
    ExpectReport(u"/I:MS  /F:U", modMain::kMemoryStat, modMain::kUnicodeFile);
    ExpectReport(u"/i   /f", modMain::kAll, modMain::kAnsiFile);
    ExpectReport(u"/I:LI2 /E", modMain::kLightInfo2, modMain::kEventLog);
}

TEST(CommandTable, EverythingElseShowsTheUsage) {
    ExpectUsage(u"/F:U /I:MS"); // output part first
    ExpectUsage(u"/I:A/F");     // no space between the parts
    ExpectUsage(u"/I /I:V");    // two information parts
    ExpectUsage(u"/F /E");      // two output parts
    ExpectUsage(u"\"/I\"");     // quotes are not interpreted
    ExpectUsage(u"/I\t/F");     // a tab between the parts
    ExpectUsage(u"/I:");        // a part cut short
    ExpectUsage(u"/A /F");      // about takes no destination
    ExpectUsage(u"-I");
    ExpectUsage(u"/I:MS /F:U x");
    ExpectUsage(std::u16string(1 << 20, u'/'));
}
