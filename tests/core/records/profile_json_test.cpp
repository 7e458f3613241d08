#include "core/records/profile_json.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "core/records/button_catalogue.h"
#include "core/text16.h"

using namespace quillon;

namespace {

std::unique_ptr<ProfileRecord> NewProfile(std::u16string_view name = u"Test") {
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, name);
    return record;
}

// A record as the program may hold one: every setting somewhere in its range, reserved bytes and
// the bytes behind names random, buttons with every kind of assignment, macros with every action.
std::unique_ptr<ProfileRecord> RandomProfile(std::mt19937& random) {
    auto record = NewProfile();
    auto number = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    auto bytes = RecordBytes(*record);
    // Noise first, then every setting written over it in range.
    for (std::size_t offset :
         {std::size_t{200}, std::size_t{2200}, std::size_t{2216}, std::size_t{2384}, std::size_t{2432}})
        for (std::size_t i = 0; i < 16; ++i)
            bytes[offset + i] = static_cast<std::byte>(number(0, 255));
    SetFieldText(record->profile_name.data(), kProfileNameCapacity, u"Präzision ✓");
    record->profile_name[60] = u'x';  // behind the terminator
    for (std::size_t i = 0; i < kDpiStageCount; ++i) {
        record->dpi_x[i] = number(0, 520);
        record->dpi_y[i] = number(0, 1000);
        record->dpi_step_enabled[i] = number(0, 1);
        record->dpi_color[i] = {static_cast<std::uint8_t>(number(0, 255)),
                                static_cast<std::uint8_t>(number(0, 255)),
                                static_cast<std::uint8_t>(number(0, 255)), 0};
    }
    record->dpi_step = number(0, 7);
    record->dpi_step_enabled[static_cast<std::size_t>(record->dpi_step)] = 1;
    record->brightness = number(0, 15);
    record->breathspeed = number(0, 9);
    record->light_effect = number(0, 11);
    record->prate = number(0, 6);
    record->lift_of_distance = number(0, 1);
    record->ripple_control = number(0, 1);
    record->angle_snap = number(0, 1);
    record->motion_sync = number(0, 1);
    record->movemode = number(0, 1);
    record->key_debounce = number(0, 255);
    record->sleep_timer = number(0, 255);
    record->light_off = number(0, 255);
    const auto catalogue = ButtonCatalogue();
    for (std::size_t k = 0; k < kPageButtonCount; ++k) {
        ButtonSlot& slot = record->slots[k];
        slot.function =
            catalogue[static_cast<std::size_t>(number(0, static_cast<int>(catalogue.size()) - 1))].code;
        if (number(0, 3) == 0)
            slot.function = kFunctionShortcut;
        if (number(0, 3) == 0)
            slot.function =
                static_cast<std::uint8_t>(number(0, 1) ? kFunctionMacro : kFunctionLeftButtonMacro);
        if (slot.function == kFunctionShortcut) {
            slot.shortcut_key = static_cast<std::uint8_t>(number(0, 255));
            slot.shortcut_modifiers = static_cast<std::uint8_t>(number(0, 255));
        }
        // A macro copy left behind by an earlier assignment is kept too.
        if (slot.function == kFunctionMacro || slot.function == kFunctionLeftButtonMacro ||
            number(0, 5) == 0) {
            SetFieldText(slot.macro_name.data(), kMacroNameCapacity, u"Burst");
            slot.repeat_mode = number(0, 3);
            slot.repeat_count = number(0, 255);
            slot.macro_index = number(-1, 40);
            slot.macro_color = {static_cast<std::uint8_t>(number(0, 255)), 1, 2, 0};
            slot.action_count = static_cast<std::uint16_t>(number(0, 190));
            for (std::size_t i = 0; i < slot.action_count; ++i) {
                MacroAction& action = slot.actions[i];
                action.kind = static_cast<std::uint8_t>(number(0, 2));
                action.code = action.kind == kActionMove ? (number(0, 4) ? kMouseMove : 7)
                                                         : static_cast<std::uint8_t>(number(0, 255));
                action.delayMs = static_cast<std::uint16_t>(number(0, 65535));
                if (action.kind == kActionMove) {
                    action.x = number(-30000, 30000);
                    action.y = number(-30000, 30000);
                }
            }
        }
    }
    return record;
}

}  // namespace

// Nothing of a record is lost on its way through the readable file, and the file reads back to
// the same text.
TEST(ProfileJson, RoundTripsGeneratedRecordsByteForByte) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 40; ++round) {
        auto record = RandomProfile(random);
        const std::string json = ProfileToJson(*record);
        auto back = NewProfile(u"other");
        const auto result = ProfileFromJson(json, *back);
        ASSERT_TRUE(result.ok) << result.error << "\n" << json;
        const auto a = RecordBytes(*record);
        const auto b = RecordBytes(*back);
        std::size_t first = 0;
        while (first < a.size() && a[first] == b[first])
            ++first;
        ASSERT_EQ(first, a.size()) << "round " << round << ": the first byte that differs";
        EXPECT_EQ(ProfileToJson(*back), json);
    }
}

TEST(ProfileJson, NamesEverySettingInWords) {
    auto record = NewProfile(u"FPS");
    record->light_effect = 2;
    record->prate = 3;
    record->slots[3].function = 4;
    record->slots[4].function = kFunctionShortcut;
    record->slots[4].shortcut_key = 6;  // C
    record->slots[4].shortcut_modifiers = 1;
    const std::string json = ProfileToJson(*record);
    EXPECT_NE(json.find("\"name\": \"FPS\""), std::string::npos);
    EXPECT_NE(json.find("\"effect\": \"breathing\""), std::string::npos);
    EXPECT_NE(json.find("\"polling_hz\": 1000"), std::string::npos);
    EXPECT_NE(json.find("\"color\": \"#ff0000\""), std::string::npos);
    EXPECT_NE(json.find("\"function\": \"forward\""), std::string::npos);
    EXPECT_NE(json.find("\"key\": \"C\""), std::string::npos);
    EXPECT_NE(json.find("\"ctrl\""), std::string::npos);
    // A new profile differs from itself nowhere: nothing needs keeping beyond the named settings.
    EXPECT_EQ(json.find("\"reserved\""), std::string::npos);
}

TEST(ProfileJson, AFileWrittenByHandKeepsANewProfilesValuesForWhatItLeavesOut) {
    auto record = NewProfile(u"before");
    const auto result = ProfileFromJson(R"({"name": "Mine", "lighting": {"brightness": 3}})", *record);
    ASSERT_TRUE(result.ok) << result.error;
    auto expected = NewProfile(u"Mine");
    expected->brightness = 3;
    EXPECT_EQ(std::memcmp(record.get(), expected.get(), sizeof(ProfileRecord)), 0);
}

TEST(ProfileJson, RefusesBadInputNamingTheMemberAndChangesNothing) {
    const struct {
        const char* json;
        const char* error;
    } cases[] = {
        {"{", "(file): not JSON"},
        {R"({"lighting": {"brightness": 1e400}})", "(file): not JSON"},
        {R"({"colour": 1})", "colour: unknown member"},
        {R"({"lighting": {"brightness": 16}})", "lighting.brightness: must be between 0 and 15"},
        {R"({"lighting": {"effect": "disco"}})", "lighting.effect: unknown effect 'disco'"},
        {R"({"lighting": {"color": "red"}})", "lighting.color: must be a colour written #rrggbb"},
        {R"({"dpi": {"stages": [{"dpi": 1234}]}})", "dpi.stages.1.dpi: must be a multiple of 50"},
        {R"({"dpi": {"current": 8}})", "dpi.current: names stage 8, which is not enabled"},
        {R"({"performance": {"polling_hz": 300}})", "performance.polling_hz: must be 125, 250"},
        {R"({"buttons": {"4": {"function": "jump"}}})", "buttons.4.function: unknown function 'jump'"},
        {R"({"buttons": {"4": {"function": "macro"}}})", "buttons.4.macro: missing"},
        {R"({"buttons": {"6": {"function": "macro", "macro": {"actions": [{"key": "Nope", "action": "down"}]}}}})",
         "buttons.6.macro.actions.1.key: unknown key 'Nope'"},
        {R"({"reserved": {"2340": "ff000000"}})", "reserved.2340: covers a named setting"},
        {R"({"reserved": {"101535": "0000"}})", "reserved.101535: must be hex bytes inside the record"},
        {R"({"format": "something-else"})", "format: not a Quillon profile"},
    };
    for (const auto& c : cases) {
        auto record = NewProfile(u"kept");
        const auto result = ProfileFromJson(c.json, *record);
        EXPECT_FALSE(result.ok) << c.json;
        EXPECT_EQ(result.error.rfind(c.error, 0), 0u) << c.json << " gave: " << result.error;
        auto untouched = NewProfile(u"kept");
        EXPECT_EQ(std::memcmp(record.get(), untouched.get(), sizeof(ProfileRecord)), 0) << c.json;
    }
}

TEST(ProfileJson, ShortKeysSetOneSetting) {
    auto record = NewProfile();
    ASSERT_TRUE(SetProfileSetting(*record, "dpi.3", "1600").ok);
    EXPECT_EQ(record->dpi_x[2], 32);
    ASSERT_TRUE(SetProfileSetting(*record, "polling", "1000").ok);
    EXPECT_EQ(record->prate, 3);
    ASSERT_TRUE(SetProfileSetting(*record, "light.effect", "breathing").ok);
    EXPECT_EQ(record->light_effect, 2);
    ASSERT_TRUE(SetProfileSetting(*record, "button.4", "forward").ok);
    EXPECT_EQ(record->slots[3].function, 4);
    ASSERT_TRUE(SetProfileSetting(*record, "performance.angle_snap", "true").ok);
    EXPECT_EQ(record->angle_snap, 1);
    ASSERT_TRUE(SetProfileSetting(*record, "dpi.current", "3").ok);
    EXPECT_EQ(record->dpi_step, 2);

    auto before = std::make_unique<ProfileRecord>(*record);
    for (auto [key, value, error] :
         {std::tuple{"dpi.9", "800", "dpi.9: no such entry"},
          std::tuple{"light.brightness", "99", "light.brightness: must be between 0 and 15"},
          std::tuple{"button.2", "macro", "button.2: missing"},
          std::tuple{"colour", "1", "colour: unknown setting"}}) {
        const auto result = SetProfileSetting(*record, key, value);
        EXPECT_FALSE(result.ok) << key;
        EXPECT_EQ(result.error, error) << key;
    }
    EXPECT_EQ(std::memcmp(record.get(), before.get(), sizeof(ProfileRecord)), 0);
}
