#include <gtest/gtest.h>

#include <set>

#include "core/records/button_catalogue.h"
#include "core/records/profile_record.h"

namespace quillon {
namespace {

TEST(ButtonCatalogue, MenuItemsMapToTheirCodesWithoutRegardToCase) {
    struct Case {
        const char* item;
        std::uint8_t code;
    };
    for (const Case& c :
         {Case{"ms_1_button_off", 0}, Case{"ms_1_forward", 4}, Case{"MS_1_FORWARD", 4},
          Case{"ms_1_Shortcut", 16}, Case{"ms_1_select_macro", 17}, Case{"ms_1_pre_track", 67},
          Case{"ms_1_my_computer", 89}, Case{"ms_1_unknown", 1}, Case{"", 1}, Case{"ms_1_forwar", 1}}) {
        EXPECT_EQ(ButtonCodeOfMenuItem(c.item), c.code) << c.item;
    }
}

TEST(ButtonCatalogue, CodesWithoutAMenuItemCannotBeChosen) {
    for (const ButtonFunction& row : ButtonCatalogue()) {
        if (!row.menuItem.empty()) {
            EXPECT_EQ(ButtonCodeOfMenuItem(row.menuItem), row.code) << row.menuItem;
        }
    }
    std::set<std::string_view> items;
    for (const ButtonFunction& row : ButtonCatalogue()) {
        if (!row.menuItem.empty()) {
            EXPECT_TRUE(items.insert(row.menuItem).second) << "twice: " << row.menuItem;
        }
    }
}

TEST(ButtonCatalogue, LabelKeys) {
    EXPECT_EQ(ButtonLabelKey(1), "left_click_text");
    EXPECT_EQ(ButtonLabelKey(39), "undo_text") << "no menu item, but a label";
    EXPECT_EQ(ButtonLabelKey(67), "previous_track_text");
    for (std::uint8_t code : {16, 17, 19, 24, 25, 52, 115, 15, 200})
        EXPECT_EQ(ButtonLabelKey(code), "") << int(code);
    // Every factory function is in the catalogue.
    for (std::uint8_t code : kDefaultButtonFunctions)
        EXPECT_NE(FindButtonFunction(code), nullptr) << int(code);
}

}  // namespace
}  // namespace quillon
