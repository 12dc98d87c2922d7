// kxutil's window operations for a console program on Linux: it has no
// window of its own, so there is nothing to give icons to.
#include "kxutil.h"
#include "kxutil_linux_detail.h"

#include <cerrno>

namespace kxutil {

Status kxGetThunderMainHandle(WindowHandle &handle) {
    handle = 0;
    return kOk;
}

Status kxSetWindowResIconAll(WindowHandle handle, std::u16string_view) {
    return handle == 0 ? kOk : linux_detail::Fail(EINVAL, "a console program has no window");
}

} // namespace kxutil
