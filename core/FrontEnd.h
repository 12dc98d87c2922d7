// What each executable supplies to the shared core: its title and the three
// ways it shows things. The console and dialog front-ends each define these
// once; the linker makes the choice.
#pragma once

#include <string>
#include <string_view>

namespace FrontEnd {

extern const char16_t kProgramTitle[];

void ShowAbout();
void ShowUsage(std::u16string usageText);
void ShowReport(std::u16string reportText);
// The one-line report of a run-time error that ends the program.
void ShowRunTimeError(std::u16string_view line);

} // namespace FrontEnd
