#pragma once
// UTF-16 text helpers for the fixed-size name fields of the records.
//
// Records keep names as NUL-terminated UTF-16 in fixed arrays (char16_t, never wchar_t, which is
// 32-bit here). Everything read from a file may lack its terminator, so every reader here is
// bounded by the field's capacity.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

// Length of the text in a field of `capacity` units: up to the first NUL, or the whole field when
// the terminator is missing.
std::size_t BoundedLength(const char16_t* field, std::size_t capacity);

// The text of a field as a view, bounded as above.
std::u16string_view FieldText(const char16_t* field, std::size_t capacity);

// Writes `text` into a field of `capacity` units: cut to capacity - 1 units when longer (never in the
// middle of a surrogate pair), NUL-terminated, and the rest of the field zeroed so that equal names
// give equal bytes on disk.
void SetFieldText(char16_t* field, std::size_t capacity, std::u16string_view text);

// Makes sure a field read from outside ends with a NUL inside its capacity.
void TerminateField(char16_t* field, std::size_t capacity);

// Simple case folding of one UTF-16 unit (Latin, Greek, Cyrillic and the other bicameral blocks of
// the Basic Multilingual Plane that names are written in).
char16_t FoldCase(char16_t c);

// Case-insensitive comparison: <0, 0, >0 as for strcmp.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
inline bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    return CompareNoCase(a, b) == 0;
}

std::string ToUtf8(std::u16string_view text);
// Invalid UTF-8 sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

}  // namespace quillon
