// kxutil's window operations for the console program, on every platform: it
// has no window of its own. (On Windows the console window belongs to the
// console host and to every program sharing it, so its icons are left alone.)
#include "kxutil.h"

namespace kxutil {

Status kxGetThunderMainHandle(WindowHandle &handle) {
    handle = 0;
    return kOk;
}

Status kxSetWindowResIconAll(WindowHandle handle, std::u16string_view) {
    return handle == 0 ? kOk : kErrInvalidArgument;
}

} // namespace kxutil
