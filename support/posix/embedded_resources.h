// The resources that the build embeds into a Linux executable, generated
// from the files in resources/.
#pragma once

#include <cstddef>

namespace embedded_resources {

struct Resource {
    const char *type;
    const char *name;
    const unsigned char *data;
    std::size_t size;
};

// The text blocks, in every executable.
extern const Resource kTexts[];
extern const std::size_t kTextsCount;
// The icon groups, in the windowed executable.
extern const Resource kIcons[];
extern const std::size_t kIconsCount;

} // namespace embedded_resources
