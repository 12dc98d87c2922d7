// kxutil's window operations for the console program on Windows. It has no
// window of its own: the console window belongs to the console host and to
// every program sharing it, so the program leaves its icons alone.
#include "kxutil.h"
#include "kxutil_win32_detail.h"

namespace kxutil {

Status kxGetThunderMainHandle(WindowHandle &handle) {
    handle = 0;
    return kOk;
}

Status kxSetWindowResIconAll(WindowHandle handle, std::u16string_view) {
    return handle == 0 ? kOk : win32_detail::Fail(ERROR_INVALID_WINDOW_HANDLE, "a console program has no window");
}

} // namespace kxutil
