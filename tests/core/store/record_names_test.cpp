#include "core/store/record_names.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillon {
namespace {

// A record shaped like the macro store's: a 24-unit name leads it.
struct ShortNamedRecord {
    std::array<char16_t, 24> name{};
    std::int32_t payload = 0;
};
std::u16string_view LeadingName(const ShortNamedRecord& record) {
    return FieldText(record.name.data(), record.name.size());
}
ShortNamedRecord Named(std::u16string_view name) {
    ShortNamedRecord record;
    SetFieldText(record.name.data(), record.name.size(), name);
    return record;
}

TEST(RecordNames, NameExistsIgnoresLetterCaseForValuesAndOwnedRecords) {
    const std::vector<ShortNamedRecord> macros = {Named(u"Copy"), Named(u"ÉCRAN"), Named(u"Жук")};
    EXPECT_TRUE(NameExists(macros, u"copy"));
    EXPECT_TRUE(NameExists(macros, u"écran"));
    EXPECT_TRUE(NameExists(macros, u"жУК"));
    EXPECT_FALSE(NameExists(macros, u"Cop"));
    EXPECT_FALSE(NameExists(macros, u"Copy "));

    std::vector<std::unique_ptr<ProfileRecord>> profiles;
    profiles.push_back(std::make_unique<ProfileRecord>());
    CreateProfile(*profiles.back(), u"Game");
    EXPECT_TRUE(NameExists(profiles, u"GAME"));
    EXPECT_FALSE(NameExists(profiles, u"Games"));
}

TEST(RecordNames, UniqueNameTakesTheFirstFreeSuffixInAnyLetterCase) {
    std::vector<ShortNamedRecord> macros = {Named(u"Jump"), Named(u"JUMP_1"), Named(u"jump_3")};
    EXPECT_EQ(MakeUniqueName(u"Jump", macros, 23), u"Jump_2");
    macros.push_back(Named(u"Jump_2"));
    EXPECT_EQ(MakeUniqueName(u"Jump", macros, 23), u"Jump_4");
}

struct CutCase {
    std::size_t baseLength;
    unsigned takenSuffixes;  // "_1" .. "_n" already taken
    std::size_t maxLength;
    std::u16string expected;
};

TEST(RecordNames, UniqueNameIsCutSoTheSuffixFitsTheField) {
    const std::u16string a60(60, u'a');
    const CutCase cases[] = {
        {60, 0, 99, std::u16string(49, u'a') + u"_1"},   // the base is cut to 49 units first
        {30, 0, 23, std::u16string(21, u'a') + u"_1"},   // a macro name field keeps 23 units
        {30, 9, 23, std::u16string(20, u'a') + u"_10"},  // a longer number leaves less base
        {5, 0, 23, u"aaaaa_1"},
    };
    for (const CutCase& c : cases) {
        const std::u16string base(c.baseLength, u'a');
        std::vector<ShortNamedRecord> macros;
        for (unsigned n = 1; n <= c.takenSuffixes; ++n)
            macros.push_back(Named(SuffixedName(base, n, c.maxLength)));
        const std::u16string name = MakeUniqueName(base, macros, c.maxLength);
        EXPECT_EQ(name, c.expected) << c.baseLength << " " << c.maxLength;
        EXPECT_LE(name.size(), c.maxLength);
        // Stored in a macro's field the name is exactly what was checked for uniqueness.
        if (c.maxLength == 23) {
            EXPECT_EQ(LeadingName(Named(name)), name);
        }
    }
}

TEST(RecordNames, CutNeverSplitsASurrogatePair) {
    // 20 letters, then a character outside the Basic Multilingual Plane at units 20 and 21.
    std::u16string base(20, u'b');
    base += u"\U0001F600";
    base += u"tail";
    const std::u16string name = SuffixedName(base, 1, 23);
    EXPECT_EQ(name, std::u16string(20, u'b') + u"_1");
}

}  // namespace
}  // namespace quillon
