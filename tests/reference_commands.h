// The 45 report commands, written out from the documented tables of
// information parts and destinations, independently of the code they check.
// Shared by the unit tests and the command-line fuzzer.
#pragma once

#include "modMain.h"

#include <map>
#include <string>
#include <utility>

namespace reference {

inline const std::map<std::u16string, std::pair<modMain::ReportKind, modMain::OutputMode>> &
ReportCommands() {
    static const auto commands = [] {
        const std::pair<std::u16string, modMain::ReportKind> information[] = {
            {u"", modMain::kAll},
            {u"/I", modMain::kAll},
            {u"/I:A", modMain::kAll},
            {u"/I:V", modMain::kVersion},
            {u"/I:MS", modMain::kMemoryStat},
            {u"/I:MI", modMain::kMemoryInfo},
            {u"/I:PI", modMain::kProcessorInfo},
            {u"/I:LI", modMain::kLightInfo},
            {u"/I:LI2", modMain::kLightInfo2},
        };
        const std::pair<std::u16string, modMain::OutputMode> destination[] = {
            {u"", modMain::kScreen},       {u"/F", modMain::kAnsiFile},
            {u"/F:A", modMain::kAnsiFile}, {u"/F:U", modMain::kUnicodeFile},
            {u"/E", modMain::kEventLog},
        };
        std::map<std::u16string, std::pair<modMain::ReportKind, modMain::OutputMode>> all;
        for (const auto &[infoText, kind] : information)
            for (const auto &[destinationText, mode] : destination) {
                const char16_t *separator =
                    infoText.empty() || destinationText.empty() ? u"" : u" ";
                all.emplace(infoText + separator + destinationText, std::make_pair(kind, mode));
            }
        return all;
    }();
    return commands;
}

} // namespace reference
