#include "core/keys/fixed_keyboard_layout.h"
#include "core/keys/key_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

std::u16string U(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// The US layout, counting how often it is asked.
class CountingLayout final : public KeyboardLayout {
public:
    uint32_t ScanCodeOfVk(uint32_t vk) override {
        ++questions;
        return m_us.ScanCodeOfVk(vk);
    }
    uint32_t VkOfScanCode(uint32_t scanCode) override {
        ++questions;
        return m_us.VkOfScanCode(scanCode);
    }
    std::u16string KeyCharacters(uint32_t vk) override {
        ++questions;
        return m_us.KeyCharacters(vk);
    }
    int questions = 0;

private:
    FixedKeyboardLayout m_us = FixedKeyboardLayout::Us();
};

// Language texts show the key they were looked up with, so each test sees which key was used.
class KeyTablesTest : public ::testing::Test {
protected:
    CountingLayout layout;
    std::vector<std::string> lookups;
    KeyCodeTables tables{layout, [this](std::string_view key) {
                             lookups.emplace_back(key);
                             return u"<" + U(key) + u">";
                         }};
};

TEST(KeyTable, HasTheRowsCallersRelyOn) {
    const auto table = KeyTable();
    ASSERT_EQ(table.size(), 112u);
    int rowsOfUsage56 = 0;
    for (const KeyMapEntry& row : table) {
        EXPECT_NE(row.usage, 50u);
        rowsOfUsage56 += row.usage == 56 ? 1 : 0;
        // Only the rows of letters, digits, punctuation and F-keys carry a scan code.
        EXPECT_EQ(row.scanCode != 0, row.usage >= 4 && row.usage <= 69) << "usage " << row.usage;
        if (row.usage >= 240) {
            EXPECT_EQ(row.virtualKey, row.usage);
        }
    }
    EXPECT_EQ(rowsOfUsage56, 2);
}

struct VkCase {
    uint32_t vk;
    bool found;
    uint32_t usage;
};

TEST_F(KeyTablesTest, VkToUsageOnUsLayout) {
    const VkCase cases[] = {
        {65, true, 4},
        {90, true, 29},
        {49, true, 30},
        {48, true, 39},
        {13, true, 40},
        {32, true, 44},
        {191, true, 56},
        {186, true, 51},
        {20, true, 57},
        {112, true, 58},
        {123, true, 69},
        {44, true, 70},
        {102, true, 94},
        {103, true, 95},
        {96, true, 98},
        {162, true, 224},
        {165, true, 230},
        {240, true, 240},
        {248, true, 248},
        {245, false, 0},
        {0, false, 0},
        {16, false, 0},
        {226, false, 0},
        // The US layout has no OEM 8 key: the key keeps its own row's usage.
        {223, true, 56},
    };
    for (const VkCase& c : cases) {
        const UsageLookup result = tables.VkToUsage(c.vk);
        EXPECT_EQ(result.found, c.found) << "vk " << c.vk;
        EXPECT_EQ(result.usage, c.usage) << "vk " << c.vk;
    }
}

TEST_F(KeyTablesTest, KeysOutsideTheCharacterBlockDoNotAskTheLayout) {
    for (uint32_t vk : {162u, 160u, 44u, 45u, 96u, 240u, 245u}) {
        tables.VkToUsage(vk);
    }
    EXPECT_EQ(layout.questions, 0);
    tables.VkToUsage(65);
    EXPECT_EQ(layout.questions, 1);
}

struct NameCase {
    uint32_t code;
    std::string_view text;
};

TEST_F(KeyTablesTest, UsageNames) {
    const NameCase cases[] = {
        {4, "A"},
        {29, "Z"},
        {30, "1"},
        {39, "0"},
        {45, "-"},
        {53, "`"},
        {56, "/"},
        {40, "<key_Enter>"},
        {41, "<key_Esc>"},
        {42, "<key_BackSpace>"},
        {43, "<key_Tab>"},
        {44, "<key_Space>"},
        {57, "<key_Caplk>"},
        {58, "<key_F1>"},
        {69, "<key_F12>"},
        {70, "<key_Print Scr>"},
        {83, "<key_Num Lock>"},
        {88, "<key_Num_Enter>"},
        {89, "<key_Num_1>"},
        {97, "<key_Num_9>"},
        {98, "<key_Num_0>"},
        {99, "<key_Num_.>"},
        {100, "<key_\\>"},
        {101, "<key_APP>"},
        {102, "<>"},
        {104, "<>"},
        {130, "<Sleep>"},
        {136, "<Kana/Roma>"},
        {221, "<`>"},
        {224, "<key_LCtrl>"},
        {231, "<key_RWin>"},
        {241, "<L_Button>"},
        {245, "<Forward_Button>"},
        // No name: usage 50 has no row, 232..239 have none, the rest is not named.
        {50, ""},
        {232, ""},
        {239, ""},
        {240, ""},
        {246, ""},
        {0, ""},
        {3, ""},
        {105, ""},
        {222, ""},
        {255, ""},
        {1000, ""},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(tables.UsageName(c.code), U(c.text)) << "usage " << c.code;
    }
}

TEST_F(KeyTablesTest, UnnamedCodesAreNotLookedUp) {
    for (uint32_t code : {50u, 232u, 240u, 246u, 0u, 105u}) {
        tables.UsageName(code);
    }
    EXPECT_TRUE(lookups.empty());
}

TEST_F(KeyTablesTest, VkNames) {
    const NameCase cases[] = {
        {16, "<key_LShift>"},
        {160, "<key_LShift>"},
        {42, "<key_Print Scr>"},
        {44, "<key_Print Scr>"},
        {17, "<key_LCtrl>"},
        {18, "<key_LAlt>"},
        {240, "<key_Caplk>"},
        {20, "<key_Caplk>"},
        {96, "<key_Num_0>"},
        {105, "<key_Num_9>"},
        {110, "<key_Num_.>"},
        {112, "<key_F1>"},
        {123, "<key_F12>"},
        {33, "<key_Page Up>"},
        {145, "<key_Scroll Lock>"},
        {161, "<key_RShift>"},
        {165, "<key_RAlt>"},
        // Named by the layout, upper-cased.
        {65, "A"},
        {77, "M"},
        {50, "2"},
        {186, ";"},
        {222, "'"},
        {188, ","},
        {226, "<"},
        // Codes the layout does not produce.
        {0, ""},
        {124, ""},
        {223, ""},
        {7, ""},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(tables.VkName(c.code), U(c.text)) << "vk " << c.code;
    }
}

TEST_F(KeyTablesTest, MissingTextLookupGivesEmptyTexts) {
    KeyCodeTables bare(layout, nullptr);
    EXPECT_EQ(bare.UsageName(40), u"");
    EXPECT_EQ(bare.UsageName(4), u"A");
}

class RecordingEdit final : public EditText {
public:
    void SetText(std::u16string_view value) override {
        text = value;
        ++writes;
    }
    void SetSel(long start, long end) override {
        selStart = start;
        selEnd = end;
    }
    std::u16string text;
    int writes = 0;
    long selStart = -1;
    long selEnd = -1;
};

struct FilterCase {
    std::u16string_view input;
    bool signedValue;
    std::u16string_view output;  // empty view with rewritten == false: left alone
    bool rewritten;
};

TEST(DigitFilters, KeepDigitsAndPutTheCaretAtTheEnd) {
    const FilterCase cases[] = {
        {u"1a2b3", false, u"123", true},
        {u"1ab2", false, u"12", true},
        {u"abc", false, u"", true},
        {u"-15", false, u"15", true},
        {u"12 ", false, u"12", true},
        {u"\uFF11\uFF12", false, u"", true},  // full-width digits are no digits here
        {u"0123456789", false, u"", false},
        {u"", false, u"", false},
        {u"-1x5", true, u"-15", true},
        {u"1-2-", true, u"", false},
        {u"--", true, u"", false},
        {u"+5", true, u"5", true},
    };
    for (const FilterCase& c : cases) {
        RecordingEdit edit;
        if (c.signedValue) {
            SignedDigitFilter(edit, c.input);
        } else {
            DigitFilter(edit, c.input);
        }
        const std::string label(c.input.begin(), c.input.end());
        if (!c.rewritten) {
            EXPECT_EQ(edit.writes, 0) << label;
            EXPECT_EQ(edit.selStart, -1) << label;
            continue;
        }
        EXPECT_EQ(edit.writes, 1) << label;
        EXPECT_EQ(edit.text, c.output) << label;
        EXPECT_EQ(edit.selStart, static_cast<long>(c.output.size())) << label;
        EXPECT_EQ(edit.selEnd, static_cast<long>(c.output.size())) << label;
    }
}

TEST(KeyUpperCase, LettersOfTheLayoutsWeShow) {
    const std::pair<char16_t, char16_t> cases[] = {
        {u'a', u'A'},           {u'z', u'Z'},           {u'A', u'A'},           {u'1', u'1'},
        {u'\u00E9', u'\u00C9'}, {u'\u00F9', u'\u00D9'}, {u'\u00E7', u'\u00C7'}, {u'\u00FF', u'\u0178'},
        {u'\u00DF', u'\u00DF'}, {u'\u00F7', u'\u00F7'}, {u'\u00B2', u'\u00B2'}, {u'\u00B5', u'\u00B5'},
        {u'\u0142', u'\u0141'}, {u'\u0131', u'I'},      {u'\u0138', u'\u0138'}, {u'\u017E', u'\u017D'},
        {u'\u0161', u'\u0160'}, {u'\u013E', u'\u013D'}, {u'\u03C2', u'\u03A3'}, {u'\u03B1', u'\u0391'},
        {u'\u0436', u'\u0416'}, {u'\u0451', u'\u0401'}, {u'\u0416', u'\u0416'}, {u'^', u'^'},
    };
    for (const auto& [lower, upper] : cases) {
        EXPECT_EQ(KeyUpperCase(lower), upper) << std::hex << static_cast<int>(lower);
    }
}

}  // namespace
}  // namespace quillon
