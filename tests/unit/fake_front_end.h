// A front-end that records what the core asks it to show.
#pragma once

#include <string>
#include <vector>

namespace fake_front_end {

struct Call {
    std::string operation;
    std::u16string text;
};

extern std::vector<Call> calls;

} // namespace fake_front_end
