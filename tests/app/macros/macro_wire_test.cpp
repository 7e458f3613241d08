// A macro assigned to a button, edited in the macro editor: after the editor closes, the button's
// copy in the profile, pro.data and the reports written to the mouse (decoded by the mouse's own
// model) carry the macro as it now is.

#include <gtest/gtest.h>

#include <cstring>

#include "app/macros/macro_store.h"
#include "app/page/page_fixture.h"
#include "core/macros/macro_file.h"
#include "core/protocol/device_model.h"
#include "core/protocol/frames.h"

namespace quillon::test {
namespace {

inline constexpr std::size_t kButton = 3;  // button 4

MacroAction Action(std::uint8_t code, std::uint8_t kind, std::uint16_t delay) {
    MacroAction action{};
    action.code = code;
    action.kind = kind;
    action.delayMs = delay;
    return action;
}

class MacroOnTheWire : public PageFixture {
protected:
    // pro.data with one profile whose button 4 carries "Combo" (A pressed and released), and
    // macro.data with the same macro, written before the program starts.
    void StoreAssignedMacro() {
        const auto data = folder.Path() / "Data";
        MacroList macros;
        macros.push_back(NewMacroRecord(u"Combo"));
        macros[0]->actions[0] = Action(0x04, kActionDown, 30);
        macros[0]->actions[1] = Action(0x04, kActionUp, 30);
        macros[0]->actionCount = 2;
        ASSERT_EQ(MacroStoreFile(data).Save(macros), WriteStatus::Written);

        ProfileList profiles;
        profiles.push_back(std::make_unique<ProfileRecord>());
        CreateProfile(*profiles[0], u"Game");
        ButtonSlot& slot = profiles[0]->slots[kButton];
        slot.function = kFunctionMacro;
        SetFieldText(slot.macro_name.data(), slot.macro_name.size(), u"Combo");
        slot.action_count = 2;
        std::memcpy(slot.actions.data(), macros[0]->actions.data(), 2 * sizeof(MacroAction));
        slot.repeat_count = 1;
        slot.macro_index = 0;
        slot.macro_color = {255, 255, 255, 0};
        auto header = std::make_unique<StoreHeader>();
        ASSERT_EQ(ProfileStore(data).Save(profiles, *header), WriteStatus::Written);
    }

    void OpenWithAwakeMouse() {
        wired.SetOpenResult(1);
        wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
        Open();
        ASSERT_TRUE(wired.SendReport(MakePowerStatus(1, 80)));
        PumpPending();
        Ui().Click("ms_1_apply_btn");
        ASSERT_TRUE(WaitForApply());
        Feed();
    }

    bool WaitForApply() {
        return PumpUntil([&] {
            time.RunDue();
            return std::memcmp(&Profiles().AppliedCopy(), &Record(), sizeof(ProfileRecord)) == 0 &&
                   !Profiles().full_write_pending();
        });
    }

    // Feeds the reports written since the last call to the mouse's model; returns how many.
    std::size_t Feed() {
        const auto all = wired.Written();
        for (std::size_t i = m_fed; i < all.size(); ++i)
            EXPECT_TRUE(mouse.Feed(all[i]).accepted) << "report " << i;
        const std::size_t fresh = all.size() - m_fed;
        m_fed = all.size();
        return fresh;
    }

    std::vector<std::pair<MacroEvent::Kind, std::uint8_t>> MouseMacro() const {
        std::vector<std::pair<MacroEvent::Kind, std::uint8_t>> events;
        for (const MacroEvent& event : mouse.MacroFrom(MacroBaseSlot(kButton)))
            events.emplace_back(event.kind, event.code);
        return events;
    }

    ProfileRecord StoredProfile() {
        Profiles().FlushSaves();
        ProfileList list;
        auto header = std::make_unique<StoreHeader>();
        EXPECT_EQ(ProfileStore(folder.Path() / "Data").Load(list, *header, u"Profile").outcome,
                  LoadOutcome::Loaded);
        return *list.at(0);
    }

    DeviceModel mouse;

private:
    std::size_t m_fed = 0;
};

using Kind = MacroEvent::Kind;

TEST_F(MacroOnTheWire, EditedMacroReachesTheButtonCopyTheFileAndTheMouse) {
    StoreAssignedMacro();
    OpenWithAwakeMouse();
    ASSERT_EQ(host->page.Macros()->Count(), 1u);
    EXPECT_EQ(MouseMacro(),
              (std::vector<std::pair<Kind, std::uint8_t>>{{Kind::Press, 0x04}, {Kind::Release, 0x04}}));
    EXPECT_EQ(Ui().Text("ms_1_btn_key_4"), "Macro: Combo");

    answers.OnNext("MS_1_Macro", [](UiDriver& editor) {
        editor.SelectRow("ms_1_macro_list", 0);
        editor.SetChecked("ms_1_macro_insert_mouse_btn", true);
        editor.SelectRow("ms_1_macro_action_list", 1);
        editor.Click("ms_1_macro_key2_btn");
        editor.Click("btn_exit");
    });
    Ui().Click("ms_1_btn_macro");
    EXPECT_EQ(answers.Opened(), std::vector<QString>{"MS_1_Macro"});
    ASSERT_TRUE(WaitForApply());
    EXPECT_GT(Feed(), 0u);

    const MacroRecord& stored = *host->page.Macros()->At(0);
    ASSERT_EQ(stored.actionCount, 4);
    const ButtonSlot& copy = Record().slots[kButton];
    EXPECT_EQ(copy.function, kFunctionMacro);
    EXPECT_EQ(copy.action_count, 4);
    EXPECT_EQ(std::memcmp(copy.actions.data(), stored.actions.data(), sizeof copy.actions), 0);
    EXPECT_EQ(copy.repeat_count, 1);
    EXPECT_EQ(StoredProfile().slots[kButton].action_count, 4);
    EXPECT_EQ(MouseMacro(), (std::vector<std::pair<Kind, std::uint8_t>>{{Kind::Press, 0x04},
                                                                        {Kind::Release, 0x04},
                                                                        {Kind::Press, kMouseRight},
                                                                        {Kind::Release, kMouseRight}}));
}

TEST_F(MacroOnTheWire, DeletedMacroGivesTheButtonBackItsFactoryFunction) {
    StoreAssignedMacro();
    OpenWithAwakeMouse();
    const std::size_t keyMaps = mouse.FramesReceived(kCommandKeyMap);

    answers.OnNext("MS_1_Macro", [this](UiDriver& editor) {
        editor.SelectRow("ms_1_macro_list", 0);
        answers.ClickOnNext("MsgWnd", "btn_ok");
        editor.Click("ms_1_macro_delete_btn");
        editor.Click("btn_exit");
    });
    Ui().Click("ms_1_btn_macro");
    ASSERT_TRUE(WaitForApply());
    Feed();

    EXPECT_EQ(Record().slots[kButton].function, kDefaultButtonFunctions[kButton]);
    EXPECT_EQ(Record().slots[kButton].macro_index, -1);
    EXPECT_EQ(StoredProfile().slots[kButton].function, kDefaultButtonFunctions[kButton]);
    EXPECT_EQ(mouse.FramesReceived(kCommandKeyMap), keyMaps + 1);
    EXPECT_EQ(mouse.State().keyMap[kButton], ButtonBytes(Record().slots[kButton], kButton));
    EXPECT_NE(Ui().Text("ms_1_btn_key_4"), "Macro: Combo");
}

}  // namespace
}  // namespace quillon::test
