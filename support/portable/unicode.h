// Conversions between UTF-16, UTF-8 and Windows-1251 that need no code-page
// machinery of the system.
#pragma once

#include <string>
#include <string_view>

namespace unicode {

// Unpaired surrogates become '?', as a code-page conversion does with a
// character it lacks.
std::string Utf16ToUtf8(std::u16string_view text);
// Malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view bytes);
std::u16string Cp1251ToUtf16(std::string_view bytes);
// UTF-8 to UTF-16 without loss, for names that are bytes (Linux file names):
// a byte outside any well-formed sequence becomes the lone surrogate
// U+DC80 + (byte - 0x80), and Utf16ToUtf8Escaped turns it back into that byte.
std::u16string Utf8ToUtf16Escaped(std::string_view bytes);
std::string Utf16ToUtf8Escaped(std::u16string_view text);
// Whether the text holds such an escaped byte.
bool HasEscapedBytes(std::u16string_view text);
// Control characters (C0, DEL, C1) become '?', and noncharacters (U+FDD0 to
// U+FDEF, U+xFFFE and U+xFFFF) U+FFFD, as malformed UTF-8 does: for one line
// of a report taken from outside the program, so that no line break or
// terminal escape passes through it, and the journal takes it as text.
void ReplaceControlCharacters(std::u16string &text);
// Whether every character is ASCII: such text has the same bytes in every
// character set a locale can have.
bool IsAscii(std::u16string_view text);
bool IsAscii(std::string_view bytes);
// Where `what` next occurs in text from `from` on, as
// std::u16string_view::find finds it but several times faster; npos when
// nowhere, and for an empty `what`.
std::size_t Find(std::u16string_view text, std::u16string_view what, std::size_t from);
// Plain ASCII text, for the program's own literals.
std::u16string AsciiToUtf16(std::string_view ascii);

} // namespace unicode
