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

extern const Resource kResources[];
extern const std::size_t kResourceCount;

} // namespace embedded_resources
