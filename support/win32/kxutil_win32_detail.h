// What the Windows kxutil files share among themselves.
#pragma once

#include "kxutil.h"

#include <string>
#include <string_view>
#include <windows.h>

namespace kxutil::win32_detail {

// The error as a negative status, with the system's words for it as its
// detail.
Status Fail(DWORD error, std::string_view what);
// The same for the calling thread's last error.
Status FailLast(std::string_view what);

// UTF-16 texts cross to the W functions as they are: wchar_t is 16 bits here.
inline const wchar_t *Wide(const std::u16string &text) {
    return reinterpret_cast<const wchar_t *>(text.c_str());
}
inline std::u16string FromWide(const wchar_t *text, std::size_t length) {
    return std::u16string(reinterpret_cast<const char16_t *>(text), length);
}

// A function the running Windows may lack, looked up at run time; null when
// it is not there.
template <typename Function> Function SystemFunction(const wchar_t *module, const char *name) {
    const HMODULE handle = GetModuleHandleW(module);
    if (handle == nullptr)
        return nullptr;
    // Through a plain function pointer: GetProcAddress's own type is not the
    // function's.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

} // namespace kxutil::win32_detail
