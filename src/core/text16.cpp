#include "core/text16.h"

#include <algorithm>
#include <cstdint>

namespace quillon {

std::size_t BoundedLength(const char16_t* field, std::size_t capacity) {
    std::size_t n = 0;
    while (n < capacity && field[n] != u'\0')
        ++n;
    return n;
}

std::u16string_view FieldText(const char16_t* field, std::size_t capacity) {
    return {field, BoundedLength(field, capacity)};
}

void SetFieldText(char16_t* field, std::size_t capacity, std::u16string_view text) {
    if (capacity == 0)
        return;
    std::size_t n = std::min(text.size(), capacity - 1);
    // Do not keep half of a surrogate pair at the cut.
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
        --n;
    std::copy_n(text.data(), n, field);
    std::fill(field + n, field + capacity, u'\0');
}

void TerminateField(char16_t* field, std::size_t capacity) {
    if (capacity > 0 && BoundedLength(field, capacity) == capacity)
        field[capacity - 1] = u'\0';
}

char16_t FoldCase(char16_t c) {
    const auto u = static_cast<std::uint16_t>(c);
    auto shifted = [](std::uint16_t v, int by) { return static_cast<char16_t>(v + by); };
    if (u < 0x80)
        return (u >= 'A' && u <= 'Z') ? shifted(u, 32) : c;
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7)
        return shifted(u, 32);
    // Latin Extended-A: upper and lower case alternate in pairs, with two runs offset by one.
    if (u >= 0x100 && u <= 0x137)
        return (u % 2 == 0) ? shifted(u, 1) : c;
    if (u >= 0x139 && u <= 0x148)
        return (u % 2 == 1) ? shifted(u, 1) : c;
    if (u >= 0x14A && u <= 0x177)
        return (u % 2 == 0) ? shifted(u, 1) : c;
    if (u == 0x178)
        return u'\u00FF';
    if (u >= 0x179 && u <= 0x17E)
        return (u % 2 == 1) ? shifted(u, 1) : c;
    // Greek capitals (final sigma folds to sigma).
    if (u >= 0x391 && u <= 0x3AB && u != 0x3A2)
        return shifted(u, 32);
    if (u == 0x3C2)
        return u'\u03C3';
    // Cyrillic.
    if (u >= 0x400 && u <= 0x40F)
        return shifted(u, 80);
    if (u >= 0x410 && u <= 0x42F)
        return shifted(u, 32);
    if (u >= 0x460 && u <= 0x4FF && u != 0x482 && !(u >= 0x483 && u <= 0x489))
        return (u % 2 == 0 && u != 0x4C0) ? shifted(u, 1) : c;
    // Full-width Latin.
    if (u >= 0xFF21 && u <= 0xFF3A)
        return shifted(u, 32);
    return c;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = FoldCase(a[i]);
        const char16_t y = FoldCase(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (b0 < 0x80) {
            cp = b0;
        } else {
            std::size_t need = 0;
            std::uint32_t min = 0;
            if ((b0 & 0xE0) == 0xC0) {
                need = 1, cp = b0 & 0x1Fu, min = 0x80;
            } else if ((b0 & 0xF0) == 0xE0) {
                need = 2, cp = b0 & 0x0Fu, min = 0x800;
            } else if ((b0 & 0xF8) == 0xF0) {
                need = 3, cp = b0 & 0x07u, min = 0x10000;
            }
            bool ok = need > 0;
            for (std::size_t k = 1; ok && k <= need; ++k) {
                if (i + k >= text.size()) {
                    ok = false;
                    break;
                }
                const auto b = static_cast<unsigned char>(text[i + k]);
                if ((b & 0xC0) != 0x80)
                    ok = false;
                else
                    cp = (cp << 6) | (b & 0x3Fu);
            }
            if (ok && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
                len = need + 1;
            } else {
                cp = 0xFFFD;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

}  // namespace quillon
