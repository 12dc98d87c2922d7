// The console front-end of OrbelleC: everything it shows goes to standard
// output in the console's code page.
#pragma once

#include <string>
#include <string_view>

namespace modMainConsole {

std::u16string BuildAboutText();
void WriteConsoleText(std::u16string_view text);

} // namespace modMainConsole
