#include "fake_front_end.h"

#include "FrontEnd.h"

namespace fake_front_end {
std::vector<Call> calls;
}

namespace FrontEnd {

const char16_t kProgramTitle[] = u"Test title";

void ShowAbout() { fake_front_end::calls.push_back({"about", {}}); }
void ShowUsage(std::u16string usageText) { fake_front_end::calls.push_back({"usage", usageText}); }
void ShowReport(std::u16string reportText) {
    fake_front_end::calls.push_back({"report", reportText});
}
void ShowRunTimeError(std::u16string_view line) {
    fake_front_end::calls.push_back({"error", std::u16string(line)});
}

} // namespace FrontEnd
