// What the Linux kxutil files share among themselves.
#pragma once

#include "kxutil.h"

#include <string>
#include <string_view>

namespace kxutil::linux_detail {

// Records the detail of a failure for kxDescribeStatus; returns -error.
Status Fail(int error, std::string detail);
Status LocaleBytesToUtf16(std::string_view bytes, std::u16string &text);

} // namespace kxutil::linux_detail
