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

} // namespace

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
