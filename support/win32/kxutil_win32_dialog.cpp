// kxutil's window operations for the windowed program on Windows: its main
// window, the message boxes and the shell's About box.
#include "kxutil.h"
#include "kxutil_win32_detail.h"
#include "orbelle_version.h"
#include "unicode.h"

#include <algorithm>
#include <shellapi.h>
#include <vector>

namespace kxutil {
namespace {

using win32_detail::Fail;
using win32_detail::FailLast;
using win32_detail::Wide;

constexpr wchar_t kMainWindowClass[] = L"OrbelleMain";

// The program shows no window of its own. Its main window is a hidden
// top-level window whose only task is to carry the program's icons. The
// boxes are not owned by it: an owned window gets no taskbar button, and a
// box hidden behind other windows must stay findable.
HWND g_mainWindow = nullptr;

// A box needs a desktop to be shown on: where the main window could not be
// made, a box cannot be either, and asking for one fails rather than
// returning as if the user had closed it.
Status RequireDesktop() {
    WindowHandle mainWindow = 0;
    if (Status status = kxGetThunderMainHandle(mainWindow); status.failed())
        return status;
    if (mainWindow == 0)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, "no desktop to show a box on (no display?)");
    return kOk;
}

std::u16string Title() { return unicode::AsciiToUtf16(ORBELLE_DIALOG_TITLE); }

BOOL CALLBACK CollectIconGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    if (!IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<std::u16string> *>(names)->push_back(
            win32_detail::FromWide(name, wcslen(name)));
    return TRUE;
}

// The icon groups whose names begin with the prefix, in name order.
std::vector<std::u16string> IconGroupsNamed(std::u16string_view prefix) {
    std::vector<std::u16string> names;
    EnumResourceNamesW(nullptr, RT_GROUP_ICON, CollectIconGroup,
                       reinterpret_cast<LONG_PTR>(&names));
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const std::u16string &name) {
                                   return name.compare(0, prefix.size(), prefix) != 0;
                               }),
                names.end());
    std::sort(names.begin(), names.end());
    return names;
}

HICON LoadGroupIcon(const std::u16string &group, int width, int height) {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), Wide(group), IMAGE_ICON, width, height, LR_SHARED));
}

} // namespace

Status kxGetThunderMainHandle(WindowHandle &handle) {
    if (g_mainWindow == nullptr) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kMainWindowClass;
        if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return FailLast("RegisterClassExW");
        const std::u16string title = Title();
        // Without a desktop to put it on (a service, Wine without a display)
        // there is no main window, and the file and event-log commands still
        // work; a box asked for later fails on its own.
        g_mainWindow = CreateWindowExW(0, kMainWindowClass, Wide(title), WS_OVERLAPPEDWINDOW, 0, 0,
                                       0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    handle = reinterpret_cast<WindowHandle>(g_mainWindow);
    return kOk;
}

// The big and the small window icon, each in the system's size, from the
// first group whose name begins with the prefix.
Status kxSetWindowResIconAll(WindowHandle handle, std::u16string_view iconPrefix) {
    if (handle == 0)
        return kOk;
    const std::vector<std::u16string> groups = IconGroupsNamed(iconPrefix);
    if (groups.empty())
        return Fail(ERROR_RESOURCE_NAME_NOT_FOUND,
                    "no icon group named " + unicode::Utf16ToUtf8(iconPrefix) + "*");
    const HWND window = reinterpret_cast<HWND>(handle);
    const HICON big =
        LoadGroupIcon(groups.front(), GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    const HICON small =
        LoadGroupIcon(groups.front(), GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    if (big == nullptr || small == nullptr)
        return FailLast("LoadImageW " + unicode::Utf16ToUtf8(groups.front()));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    return kOk;
}

// The group's icon in the system's icon size. The handle is shared with the
// module: nobody destroys it.
Status kxLoadResIcon(std::u16string_view groupName, Picture &picture) {
    const HICON icon = LoadGroupIcon(std::u16string(groupName), GetSystemMetrics(SM_CXICON),
                                     GetSystemMetrics(SM_CYICON));
    if (icon == nullptr)
        return FailLast("LoadImageW " + unicode::Utf16ToUtf8(groupName));
    picture.Handle = reinterpret_cast<IconHandle>(icon);
    return kOk;
}

Status kxMsgBox(std::u16string_view text, std::u16string_view iconGroup, std::int32_t &result) {
    result = 0;
    if (Status status = RequireDesktop(); status.failed())
        return status;
    const std::u16string message(text), icon(iconGroup), title = Title();
    MSGBOXPARAMSW box{};
    box.cbSize = sizeof box;
    box.hwndOwner = nullptr;
    box.hInstance = GetModuleHandleW(nullptr);
    box.lpszText = Wide(message);
    box.lpszCaption = Wide(title);
    box.dwStyle = MB_OK | MB_USERICON | MB_SETFOREGROUND | MB_TASKMODAL;
    box.lpszIcon = Wide(icon);
    result = MessageBoxIndirectW(&box);
    if (result == 0)
        return FailLast("MessageBoxIndirectW");
    return kOk;
}

Status kxShellAboutA(WindowHandle owner, std::string_view appText, std::string_view otherText,
                     IconHandle icon) {
    if (Status status = RequireDesktop(); status.failed())
        return status;
    const std::string application(appText), other(otherText);
    if (!ShellAboutA(reinterpret_cast<HWND>(owner), application.c_str(), other.c_str(),
                     reinterpret_cast<HICON>(icon)))
        return FailLast("ShellAboutA");
    return kOk;
}

// The windowed program has no console of its own: the error goes to a box,
// and to standard error as well when the program was given one.
void kxShowRunTimeError(std::u16string_view line) {
    kxWriteErrorLine(line);
    const std::u16string message(line), title = Title();
    MessageBoxW(nullptr, Wide(message), Wide(title), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

} // namespace kxutil
