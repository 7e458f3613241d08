#include "core/text16.h"

#include <gtest/gtest.h>

#include <array>

using namespace quillon;

TEST(Text16, FieldIsCutTerminatedAndZeroFilled) {
    std::array<char16_t, 6> field;
    field.fill(u'x');
    SetFieldText(field.data(), field.size(), u"abcdefgh");
    EXPECT_EQ(FieldText(field.data(), field.size()), u"abcde");
    EXPECT_EQ(field[5], u'\0');

    SetFieldText(field.data(), field.size(), u"ab");
    EXPECT_EQ(FieldText(field.data(), field.size()), u"ab");
    for (std::size_t i = 2; i < field.size(); ++i)
        EXPECT_EQ(field[i], u'\0') << i;
}

TEST(Text16, CutNeverSplitsASurrogatePair) {
    std::array<char16_t, 4> field{};
    SetFieldText(field.data(), field.size(), u"ab\U0001F600");
    EXPECT_EQ(FieldText(field.data(), field.size()), u"ab");
}

TEST(Text16, UnterminatedFieldIsReadWithinItsCapacity) {
    std::array<char16_t, 4> field{u'a', u'b', u'c', u'd'};
    EXPECT_EQ(FieldText(field.data(), field.size()).size(), 4u);
    TerminateField(field.data(), field.size());
    EXPECT_EQ(FieldText(field.data(), field.size()), u"abc");
}

TEST(Text16, NamesCompareWithoutRegardToCase) {
    EXPECT_TRUE(EqualNoCase(u"Profile", u"pROFILE"));
    EXPECT_TRUE(EqualNoCase(u"ÉCOLE", u"école"));
    EXPECT_TRUE(EqualNoCase(u"ПРОФИЛЬ", u"профиль"));
    EXPECT_TRUE(EqualNoCase(u"ΣΟΦΙΑ", u"σοφια"));
    EXPECT_FALSE(EqualNoCase(u"abc", u"abcd"));
    EXPECT_LT(CompareNoCase(u"abc", u"ABD"), 0);
}

TEST(Text16, Utf8RoundTripsAndReplacesBadBytes) {
    const std::u16string text = u"Macro ünë \U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(FromUtf8("\xE2\x28\xA1"), u"\uFFFD(\uFFFD");
}
