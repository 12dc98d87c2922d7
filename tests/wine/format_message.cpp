// Formats the report entry's message from the message table of EXE, with the
// text of IN as its one insertion string, into OUT, as Event Viewer does for
// a registered source. IN and OUT hold UTF-16LE.
//   usage: orbelle_format_message EXE IN OUT
#include "orbelle_messages.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char **argv) {
    if (argc != 4)
        return 2;
    std::ifstream in(argv[2], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring text(bytes.size() / 2, L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    const HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return 3;
    DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
    wchar_t *buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                           FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       module, MSG_REPORT_ENTRY, 0, reinterpret_cast<wchar_t *>(&buffer), 0,
                       reinterpret_cast<va_list *>(arguments));
    if (length == 0)
        return 4;
    std::ofstream out(argv[3], std::ios::binary);
    out.write(reinterpret_cast<const char *>(buffer), length * sizeof(wchar_t));
    LocalFree(buffer);
    return out.good() ? 0 : 5;
}
