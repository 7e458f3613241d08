#pragma once
// Name rules shared by every list of records whose name leads the record: profiles in the profile
// store and macros in the macro store.
//
// A list is any range whose elements are records, or pointers to records (raw or owning). A record
// type takes part by providing, next to its definition, an overload of
//
//     std::u16string_view LeadingName(const Record&);
//
// found by argument-dependent lookup; the profile record's overload is below. Names compare without
// regard to letter case, so "Game" and "GAME" are the same name.

#include <concepts>
#include <cstddef>
#include <memory>
#include <ranges>
#include <string>
#include <string_view>

#include "core/records/profile_record.h"
#include "core/text16.h"

namespace quillon {

// The name at the start of a profile record, bounded by its field.
inline std::u16string_view LeadingName(const ProfileRecord& record) {
    return FieldText(record.profile_name.data(), record.profile_name.size());
}

namespace detail {
template <typename T> const T& RecordOf(const T& record) {
    return record;
}
template <typename T> const T& RecordOf(T* record) {
    return *record;
}
template <typename T, typename D> const T& RecordOf(const std::unique_ptr<T, D>& record) {
    return *record;
}
template <typename T> const T& RecordOf(const std::shared_ptr<T>& record) {
    return *record;
}
}  // namespace detail

template <typename List>
concept NamedRecordList = std::ranges::input_range<const List> && requires(const List& list) {
    { LeadingName(detail::RecordOf(*std::ranges::begin(list))) } -> std::convertible_to<std::u16string_view>;
};

// True when some record of the list carries `name`, compared without regard to letter case.
template <NamedRecordList List> bool NameExists(const List& list, std::u16string_view name) {
    for (const auto& element : list) {
        const auto& record = detail::RecordOf(element);
        if (EqualNoCase(LeadingName(record), name))
            return true;
    }
    return false;
}

// The longest base that MakeUniqueName keeps before adding its "_n" suffix.
inline constexpr std::size_t kUniqueNameBaseLimit = 49;

// "base_n" as text, with the base cut so that the whole name keeps within `maxLength` units (never
// splitting a surrogate pair). The base is first cut to 49 units. The suffix itself is never cut, so
// different numbers always give different names.
std::u16string SuffixedName(std::u16string_view base, unsigned number, std::size_t maxLength);

// The first of "base_1", "base_2", ... that no record of the list carries. The suffix is always
// added: callers test NameExists first and keep a free name unchanged. `maxLength` is the number of
// units the name field holds before its terminator (99 for a profile, 23 for a macro); a long base
// is shortened so that the suffix still fits and the name stays unique once stored. The loop ends
// after at most size-of-list + 1 candidates, since each record can block only one of them.
template <NamedRecordList List>
std::u16string MakeUniqueName(std::u16string_view base, const List& list, std::size_t maxLength) {
    for (unsigned number = 1;; ++number) {
        std::u16string candidate = SuffixedName(base, number, maxLength);
        if (!NameExists(list, candidate))
            return candidate;
    }
}

}  // namespace quillon
