#include "core/store/record_names.h"

#include <algorithm>
#include <string>

namespace quillon {

namespace {

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// The first `length` units of `text`, one less when the cut would split a surrogate pair.
std::u16string_view CutAt(std::u16string_view text, std::size_t length) {
    if (length >= text.size())
        return text;
    if (length > 0 && IsHighSurrogate(text[length - 1]))
        --length;
    return text.substr(0, length);
}

}  // namespace

std::u16string SuffixedName(std::u16string_view base, unsigned number, std::size_t maxLength) {
    const std::string digits = std::to_string(number);
    std::u16string suffix = u"_";
    suffix.append(digits.begin(), digits.end());
    const std::size_t room = maxLength > suffix.size() ? maxLength - suffix.size() : 0;
    std::u16string name(CutAt(CutAt(base, kUniqueNameBaseLimit), room));
    name += suffix;
    return name;
}

}  // namespace quillon
