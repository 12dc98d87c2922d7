// Prints the reference's 45 report commands, one a line, for the shell tests; with --facts, the
// table of facts: placeholder, journal field, Windows event position, "memory-limit" or "-".
#include "facts.h"
#include "reference_commands.h"

#include <iostream>

int main(int argc, char **argv) {
    if (argc > 1 && std::string_view(argv[1]) == "--facts") {
        for (std::size_t i = 0; i < std::size(modMain::kFacts); ++i) {
            const modMain::Fact &fact = modMain::kFacts[i];
            const std::string placeholder(fact.placeholder.begin(), fact.placeholder.end());
            std::cout << (placeholder.empty() ? "-" : placeholder) << '\t' << fact.field << '\t'
                      << i + 2 << '\t' << (fact.underMemoryLimit ? "memory-limit" : "-") << '\n';
        }
        return 0;
    }
    for (const auto &command : reference::ReportCommands())
        std::cout << std::string(command.first.begin(), command.first.end()) << '\n';
}
