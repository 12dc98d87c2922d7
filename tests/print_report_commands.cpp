// Prints the reference's 45 report commands, one a line, for the shell tests.
#include "reference_commands.h"

#include <iostream>

int main() {
    for (const auto &command : reference::ReportCommands())
        std::cout << std::string(command.first.begin(), command.first.end()) << '\n';
}
