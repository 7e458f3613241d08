// The settings page driven the way a user drives it: through its controls, by name, in the real
// main layout, on virtual time.

#include <gtest/gtest.h>

#include <cstring>

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include "app/page/dpi_color_wnd.h"
#include "app/page/dpi_lighting.h"
#include "app/page/page_fixture.h"
#include "app/page/power_settings.h"
#include "core/keys/key_tables.h"
#include "core/protocol/device_model.h"
#include "core/store/profile_store.h"
#include "core/text16.h"
#include "platform/keyboard/keyboard_layout_xkb.h"

namespace quillon::test {
namespace {

QString Text(const char* key) {
    return CResourceManager::GetInstance()->GetText(QString::fromLatin1(key));
}

void Rename(ProfileRecord& record, std::u16string_view name) {
    SetFieldText(record.profile_name.data(), record.profile_name.size(), name);
}

// pro.data with the given profiles, so that the page loads them at start-up.
void StoreProfiles(const std::filesystem::path& programFolder,
                   std::vector<std::unique_ptr<ProfileRecord>> records, std::int32_t selected) {
    auto header = std::make_unique<StoreHeader>();
    std::memset(header.get(), 0, sizeof(StoreHeader));
    header->selected = selected;
    ProfileStore store(programFolder / "Data");
    ASSERT_EQ(store.Save(records, *header), WriteStatus::Written);
}

std::unique_ptr<ProfileRecord> NewProfile(std::u16string_view name) {
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, name);
    return record;
}

class SettingsPage : public PageFixture {};

TEST_F(SettingsPage, FirstUserSelectionOfAProfileIsNotSwallowed) {
    std::vector<std::unique_ptr<ProfileRecord>> records;
    records.push_back(NewProfile(u"Work"));
    records.push_back(NewProfile(u"Games"));
    records.push_back(NewProfile(u"Travel"));
    records[2]->dpi_x[0] = 10;
    StoreProfiles(folder.Path(), std::move(records), 1);
    Open();
    ASSERT_EQ(Ui().RowCount("ms_1_list_profile"), 3);
    EXPECT_EQ(Ui().CurSel("ms_1_list_profile"), 1);
    EXPECT_TRUE(host->applyRequests.empty()) << "loading asks for nothing";

    Ui().SelectRow("ms_1_list_profile", 2);
    PumpPending();

    EXPECT_EQ(Profiles().Header().selected, 2);
    EXPECT_EQ(Profiles().Selected(), Profiles().List()[2].get());
    EXPECT_EQ(Ui().Text("ms_1_label_dpi_1"), "500");
    EXPECT_TRUE(Profiles().full_write_pending());
    EXPECT_EQ(host->applyRequests.size(), 1u);
}

TEST_F(SettingsPage, EchoOfTheLoadTimeSelectionIsIgnoredOnce) {
    Open();
    CControlUI* list = Ui().Find("ms_1_list_profile");
    // A library that reports the page's own selection at load time sends it before anything else.
    host->GetPaintManager().SendNotify(list, QStringLiteral("itemselect"), 0, -1);
    PumpPending();
    EXPECT_TRUE(host->applyRequests.empty());

    host->GetPaintManager().SendNotify(list, QStringLiteral("itemselect"), 0, -1);
    PumpPending();
    EXPECT_EQ(host->applyRequests.size(), 1u) << "only the first notification may be an echo";
}

TEST_F(SettingsPage, AProfileAddedAndSelectedBeforeAnyClickIsTakenOver) {
    Open();
    // As adding a profile does: a new record and row, the header pointing at it, then the row
    // selected with a notification, which here is the list's first.
    Profiles().List().push_back(NewProfile(u"Added"));
    Profiles().List().back()->prate = 2;
    Profiles().Header().selected = 1;
    auto* row = new CListLabelElementUI();
    host->GetPaintManager().Adopt(row);
    row->SetTextMode(TextMode::Plain);
    row->SetText(QStringLiteral("Added"));
    auto* list = Ui().Find<CListUI>("ms_1_list_profile");
    list->Add(row);
    list->SelectItem(1, SelectNotify::Yes);
    PumpPending();

    EXPECT_EQ(Profiles().Selected(), Profiles().List()[1].get());
    EXPECT_TRUE(Ui().IsChecked("ms_1_btn_prate_3"));
    EXPECT_EQ(host->applyRequests.size(), 1u);
}

TEST_F(SettingsPage, BrightnessMovesGatherIntoOneApplyHalfASecondAfterTheLast) {
    // The worker paces its writes with sleeps on the same virtual clock; here only the UI thread's
    // timing is measured, so the worker's pacing must not move the clock under the test.
    time.SetSleepsMoveClock(SleepsMoveClock::No);
    Open();
    OpenSection("ms_1_check_light");
    Ui().SelectComboItem("ms_1_combo_light", 1);
    time.Advance(200);
    PumpPending();
    ASSERT_EQ(host->applyRequests.size(), 1u) << "the effect goes out 200 ms after it was chosen";
    host->applyRequests.clear();

    Ui().MoveSlider("ms_1_slider_brightness", 3);
    time.Advance(100);
    Ui().MoveSlider("ms_1_slider_brightness", 5);
    time.Advance(100);
    Ui().MoveSlider("ms_1_slider_brightness", 7);
    const std::uint64_t lastMove = VirtualNow();
    time.Advance(499);
    PumpPending();
    EXPECT_TRUE(host->applyRequests.empty());
    time.Advance(1);
    PumpPending();
    time.Advance(2000);
    PumpPending();

    ASSERT_EQ(host->applyRequests.size(), 1u);
    EXPECT_EQ(host->applyRequests[0], lastMove + 500);
    EXPECT_EQ(Record().brightness, 7);
}

struct TypedDpi {
    const char* typed;
    std::int32_t stored;
    const char* shown;
};

class TypedDpiValues : public SettingsPage, public ::testing::WithParamInterface<TypedDpi> {};

TEST_P(TypedDpiValues, AreBroughtIntoRangeAndShownAsStored) {
    Open();
    OpenSection("ms_1_check_dpi");
    const QString labelBefore = Ui().Text("ms_1_label_dpi_2");

    Ui().Focus("ms_1_edit_dpi_2");
    Ui().ClearText("ms_1_edit_dpi_2");
    Ui().Type("ms_1_edit_dpi_2", QString::fromLatin1(GetParam().typed));
    Ui().Unfocus("ms_1_edit_dpi_2");

    EXPECT_EQ(Record().dpi_x[1], GetParam().stored);
    EXPECT_EQ(Ui().Text("ms_1_edit_dpi_2"), GetParam().shown);
    EXPECT_EQ(Ui().Value("ms_1_slider_dpi_2"), GetParam().stored);
    EXPECT_EQ(Ui().Text("ms_1_label_dpi_2"), labelBefore)
        << "the label keeps its value until the slider moves";
    // A value the edit had to change flashes for a moment, so that the change is seen.
    CControlUI* edit = Ui().Find("ms_1_edit_dpi_2");
    EXPECT_EQ(edit->GetStyleState("flash"), QString::fromLatin1(GetParam().typed) != GetParam().shown);
    time.Advance(1000);
    PumpPending();
    EXPECT_FALSE(edit->GetStyleState("flash"));
    EXPECT_TRUE(host->applyRequests.empty()) << "typed values go out with the next apply";
}

INSTANTIATE_TEST_SUITE_P(Edits, TypedDpiValues,
                         ::testing::Values(TypedDpi{"12345", 246, "12300"}, TypedDpi{"20", 1, "50"},
                                           TypedDpi{"99999", 520, "26000"}, TypedDpi{"", 1, "50"},
                                           TypedDpi{"51", 1, "50"}, TypedDpi{"100", 2, "100"}));

TEST_F(SettingsPage, DpiEditKeepsOnlyDigits) {
    Open();
    OpenSection("ms_1_check_dpi");
    Ui().Focus("ms_1_edit_dpi_1");
    Ui().ClearText("ms_1_edit_dpi_1");
    Ui().Type("ms_1_edit_dpi_1", QStringLiteral("1ab2"));
    EXPECT_EQ(Ui().Text("ms_1_edit_dpi_1"), "12");
}

TEST_F(SettingsPage, DpiSliderUpdatesLabelAndEditButSendsNothing) {
    Open();
    OpenSection("ms_1_check_dpi");
    Ui().MoveSlider("ms_1_slider_dpi_3", 40);
    EXPECT_EQ(Record().dpi_x[2], 40);
    EXPECT_EQ(Ui().Text("ms_1_label_dpi_3"), "2000");
    EXPECT_EQ(Ui().Text("ms_1_edit_dpi_3"), "2000");
    time.Advance(1000);
    PumpPending();
    EXPECT_TRUE(host->applyRequests.empty());

    Ui().Click("ms_1_btn_apply_dpi");
    PumpPending();
    EXPECT_EQ(host->applyRequests.size(), 1u);
}

TEST_F(SettingsPage, CurrentStageCannotBeSwitchedOff) {
    Open();
    OpenSection("ms_1_check_dpi");
    ASSERT_EQ(Record().dpi_step, 1);
    Ui().Click("ms_1_check_dpi_step_2");
    EXPECT_TRUE(Ui().IsChecked("ms_1_check_dpi_step_2"));
    EXPECT_EQ(Record().dpi_step_enabled[1], 1);

    Ui().Click("ms_1_check_dpi_step_3");
    PumpPending();
    EXPECT_EQ(Record().dpi_step_enabled[2], 0);
    EXPECT_EQ(host->applyRequests.size(), 1u);
}

TEST_F(SettingsPage, FocusingTheEditOfADisabledStageChangesNothing) {
    Open();
    OpenSection("ms_1_check_dpi");
    Ui().Focus("ms_1_edit_dpi_8");  // stage 8 is off in a new profile
    PumpPending();
    EXPECT_EQ(Record().dpi_step, 1);
    EXPECT_EQ(Ui().NormalImage("ms_1_edit_dpi_2"), kCurrentDpiEditImage);
    EXPECT_TRUE(Ui().IsChecked("ms_1_option_dpi_step_2"));
    EXPECT_TRUE(host->applyRequests.empty());
}

// The stage badges and the edit highlight are two views of `dpi_step`: whichever way the stage
// changes, both show it, and each way still sends the stage to the mouse.
TEST_F(SettingsPage, BothStageIndicatorsFollowEveryWayOfChangingTheStage) {
    wired.SetOpenResult(1);
    wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    Open();
    OpenSection("ms_1_check_dpi");
    auto expectStage = [&](int stage, const char* how) {
        SCOPED_TRACE(how);
        EXPECT_EQ(Record().dpi_step, stage - 1);
        for (int i = 1; i <= 8; ++i) {
            EXPECT_EQ(Ui().IsChecked(QStringLiteral("ms_1_option_dpi_step_%1").arg(i)), i == stage) << i;
            EXPECT_EQ(Ui().NormalImage(QStringLiteral("ms_1_edit_dpi_%1").arg(i)),
                      i == stage ? kCurrentDpiEditImage : kDpiEditImage)
                << i;
        }
    };
    expectStage(2, "a new profile");

    Ui().Focus("ms_1_edit_dpi_3");
    PumpPending();
    expectStage(3, "clicking into a stage's DPI edit");
    EXPECT_EQ(host->applyRequests.size(), 1u);

    Ui().Click("ms_1_option_dpi_step_1");
    PumpPending();
    expectStage(1, "clicking a stage badge");
    EXPECT_EQ(host->applyRequests.size(), 2u);

    ASSERT_TRUE(wired.SendReport(MakeStageStatus(4)));
    PumpPending();
    expectStage(4, "the mouse's own DPI button");

    answers.ClickOnNext("MsgWnd", "btn_ok");
    Ui().Click("ms_1_btn_reset");
    expectStage(2, "a reset profile");
}

TEST_F(SettingsPage, EffectTwoShowsBreathingSpeedAndColour) {
    Open();
    OpenSection("ms_1_check_light");
    Ui().SelectComboItem("ms_1_combo_light", 2);
    EXPECT_EQ(Record().light_effect, 2);
    EXPECT_TRUE(Ui().IsShown("ms_1_ver_breathspeed"));
    EXPECT_TRUE(Ui().IsShown("ms_1_hor_light_color"));
    EXPECT_FALSE(Ui().IsShown("ms_1_ver_brightness"));

    Ui().SelectComboItem("ms_1_combo_light", 5);
    EXPECT_TRUE(Ui().IsShown("ms_1_ver_brightness"));
    EXPECT_FALSE(Ui().IsShown("ms_1_ver_breathspeed"));
    EXPECT_FALSE(Ui().IsShown("ms_1_hor_light_color"));
    time.Advance(199);
    PumpPending();
    EXPECT_TRUE(host->applyRequests.empty());
    time.Advance(1);
    PumpPending();
    EXPECT_EQ(host->applyRequests.size(), 1u);
}

TEST_F(SettingsPage, ResetAnsweredWithCancelChangesNothing) {
    Open();
    OpenSection("ms_1_check_dpi");
    Ui().MoveSlider("ms_1_slider_dpi_1", 30);
    const ProfileRecord before = Record();
    answers.OnNext("MsgWnd", [](UiDriver& box) {
        EXPECT_EQ(box.Text("warning_title"), Text("warning_title_text"));
        EXPECT_EQ(box.Text("warning"), Text("restore_text"));
        box.Click("btn_cancel");
    });

    Ui().Click("ms_1_btn_reset");
    PumpPending();

    EXPECT_EQ(std::memcmp(&before, &Record(), sizeof(ProfileRecord)), 0);
    EXPECT_EQ(Ui().Text("ms_1_label_dpi_1"), "1500");
    EXPECT_TRUE(host->applyRequests.empty());
}

TEST_F(SettingsPage, ConfirmedResetRestoresDefaultsButKeepsTheName) {
    Open();
    OpenSection("ms_1_check_dpi");
    Ui().MoveSlider("ms_1_slider_dpi_1", 30);
    Rename(Record(), u"Mine");
    answers.ClickOnNext("MsgWnd", "btn_ok");

    Ui().Click("ms_1_profile_reset_btn");
    PumpPending();

    EXPECT_EQ(Record().dpi_x[0], kDefaultDpi[0]);
    EXPECT_EQ(FieldText(Record().profile_name.data(), Record().profile_name.size()), u"Mine");
    EXPECT_EQ(Ui().Text("ms_1_label_dpi_1"), QString::number(kDefaultDpi[0] * 50));
    EXPECT_TRUE(Profiles().full_write_pending());
    EXPECT_EQ(host->applyRequests.size(), 1u);
}

TEST_F(SettingsPage, ColourDialogShowsTheStoredColourAndCancelKeepsIt) {
    Open();
    OpenSection("ms_1_check_dpi");
    ASSERT_EQ(Record().dpi_color[6], (ColorBytes{255, 64, 0, 0}));
    answers.OnNext("DpiColorWnd", [](UiDriver& dialog) {
        EXPECT_EQ(dialog.Text("r_edit"), "255");
        EXPECT_EQ(dialog.Text("g_edit"), "64");
        EXPECT_EQ(dialog.Text("b_edit"), "0");
        EXPECT_EQ(dialog.PaletteColor("ColorPallet"), 0xFFFF4000u);
        dialog.Click("mouse_dpi_color_5");
        EXPECT_EQ(dialog.Text("b_edit"), "255");
        dialog.Click("cancel_btn");
    });
    Ui().Click("ms_1_btn_dpi_color_7");
    PumpPending();
    EXPECT_EQ(Record().dpi_color[6], (ColorBytes{255, 64, 0, 0}));
    EXPECT_EQ(Ui().Find("ms_1_btn_dpi_color_7")->GetBkColor(), 0xFFFF4000u);
    EXPECT_TRUE(host->applyRequests.empty());
}

TEST_F(SettingsPage, ColourTypedOutOfRangeIsClampedAndConfirmedColourIsSent) {
    Open();
    OpenSection("ms_1_check_light");
    Ui().SelectComboItem("ms_1_combo_light", 1);
    answers.OnNext("DpiColorWnd", [](UiDriver& dialog) {
        dialog.ReplaceText("g_edit", QStringLiteral("300"));
        EXPECT_EQ(dialog.Text("g_edit"), "255");
        dialog.ClearText("r_edit");
        EXPECT_EQ(dialog.Text("r_edit"), "");
        EXPECT_EQ(dialog.PaletteColor("ColorPallet"), 0xFF00FFFFu);
        dialog.Click("confirm_btn");
    });
    Ui().Click("ms_1_btn_light_color");
    PumpPending();
    EXPECT_EQ(Record().light_color, (ColorBytes{0, 255, 255, 0}));
    EXPECT_EQ(Ui().Find("ms_1_btn_light_color")->GetBkColor(), 0xFF00FFFFu);
    EXPECT_EQ(host->applyRequests.size(), 1u) << "the colour goes out at once, not with the effect's timer";
}

TEST_F(SettingsPage, ColourPickedOnThePaletteFillsTheEditsAndIsStored) {
    Open();
    OpenSection("ms_1_check_dpi");
    std::uint32_t picked = 0;
    answers.OnNext("DpiColorWnd", [&picked](UiDriver& dialog) {
        dialog.DragPalette("ColorPallet", QPoint(4, 4), QPoint(40, 12));
        picked = dialog.PaletteColor("ColorPallet");
        EXPECT_EQ(dialog.Text("r_edit"), QString::number(picked >> 16 & 0xFF));
        EXPECT_EQ(dialog.Text("g_edit"), QString::number(picked >> 8 & 0xFF));
        EXPECT_EQ(dialog.Text("b_edit"), QString::number(picked & 0xFF));
        dialog.Click("confirm_btn");
    });
    Ui().Click("ms_1_btn_dpi_color_1");
    PumpPending();
    EXPECT_EQ(Record().dpi_color[0], ArgbToColor(picked));
    EXPECT_NE(Record().dpi_color[0], (ColorBytes{255, 0, 0, 0})) << "the drag picked another colour";
    EXPECT_EQ(host->applyRequests.size(), 1u);
}

TEST_F(SettingsPage, PowerLabelsOfANewProfile) {
    Open();
    EXPECT_EQ(Ui().Text("ms_1_label_sleep_timer"),
              Text("sleep_timer_3_text") + "10 " + Text("sleep_timer_2_text"));
    EXPECT_EQ(Ui().Text("ms_1_label_light_off"),
              Text("sleep_timer_1_text") + "1.0 " + Text("sleep_timer_2_text"));
    EXPECT_EQ(Ui().Text("ms_1_label_key_debounce"), "3 ms");
}

TEST(LightOffLabel, ShowsHalfUnitsWithOneDecimal) {
    const auto key = [](const QString& k) { return "<" + k + ">"; };
    EXPECT_EQ(LightOffLabel(5, key), "<sleep_timer_1_text>2.5 <sleep_timer_2_text>");
    EXPECT_EQ(LightOffLabel(1, key), "<sleep_timer_1_text>0.5 <sleep_timer_2_text>");
    EXPECT_EQ(LightOffLabel(0, key), "<sleep_timer_1_text>0.0 <sleep_timer_2_text>");
}

TEST_F(SettingsPage, PowerSlidersRelabelAndGoOutAfterTheirPause) {
    Open();
    OpenSection("ms_1_check_power_setting");
    Ui().MoveSlider("ms_1_slider_light_off", 5);
    EXPECT_EQ(Record().light_off, 5);
    EXPECT_EQ(Ui().Text("ms_1_label_light_off"),
              Text("sleep_timer_1_text") + "2.5 " + Text("sleep_timer_2_text"));
    time.Advance(500);
    PumpPending();
    EXPECT_EQ(host->applyRequests.size(), 1u);
}

TEST_F(SettingsPage, OptionsAreStoredAndSentAtOnce) {
    Open();
    OpenSection("ms_1_check_prate");
    Ui().Click("ms_1_btn_prate_1");
    PumpPending();
    EXPECT_EQ(Record().prate, 0);
    EXPECT_EQ(host->applyRequests.size(), 1u);

    OpenSection("ms_1_check_mouse_attribute");
    OpenSection("ms_1_check_angle_snap");
    Ui().Click("ms_1_option_angle_snap_2");
    PumpPending();
    EXPECT_EQ(Record().angle_snap, 1);
    EXPECT_EQ(host->applyRequests.size(), 2u);
}

TEST_F(SettingsPage, SectionBoxesOpenAndCloseTheirSections) {
    Open();
    OpenSection("ms_1_check_mouse_attribute");
    Ui().SetChecked("ms_1_check_motion_sync", false);
    EXPECT_FALSE(Ui().IsShown("ms_1_hor_motion_sync"));
    const std::size_t timersWhileClosed = time.ActiveTimers();

    Ui().SetChecked("ms_1_check_motion_sync", true);
    EXPECT_TRUE(Ui().IsShown("ms_1_hor_motion_sync"));
    EXPECT_EQ(time.ActiveTimers(), timersWhileClosed + 1) << "opening scrolls the section into view";
    time.Advance(10);
    PumpPending();
    EXPECT_EQ(time.ActiveTimers(), timersWhileClosed) << "the scroll runs once";

    Ui().SetChecked("ms_1_check_motion_sync", false);
    EXPECT_FALSE(Ui().IsShown("ms_1_hor_motion_sync"));
    EXPECT_EQ(time.ActiveTimers(), timersWhileClosed) << "closing starts no scroll";
}

TEST_F(SettingsPage, AReopenedSectionIsBroughtIntoViewWithoutJumpingToTheEnd) {
    Open();
    OpenSection("ms_1_check_mouse_attribute");
    auto* area = qobject_cast<QScrollArea*>(Ui().Find("ms_1_ver_setting")->GetWidget());
    ASSERT_NE(area, nullptr);
    QScrollBar* bar = area->verticalScrollBar();
    QWidget* box = Ui().Find("ms_1_check_lift_of_distance")->GetWidget();
    QWidget* section = Ui().Find("ms_1_hor_lift_of_distance")->GetWidget();
    auto seen = [&](QWidget* widget) {
        const QRect rect(widget->mapTo(area->viewport(), QPoint(0, 0)), widget->size());
        return area->viewport()->rect().contains(rect);
    };
    ASSERT_GT(bar->maximum(), 0) << "the settings are taller than their view";

    // The user scrolls the section's box to the bottom edge of the view and reopens it.
    Ui().SetChecked("ms_1_check_lift_of_distance", false);
    PumpPending();
    const int boxTop = box->mapTo(area->widget(), QPoint(0, 0)).y();
    bar->setValue(std::max(0, boxTop + box->height() - area->viewport()->height()));
    Ui().SetChecked("ms_1_check_lift_of_distance", true);
    time.Advance(10);
    PumpPending();
    EXPECT_TRUE(seen(box));
    EXPECT_TRUE(seen(section)) << "the opened section came into view";
    EXPECT_LT(bar->value(), bar->maximum()) << "the page did not jump to its end";
}

TEST_F(SettingsPage, MoveModeIsStoredAndShownAfterARestart) {
    Open();
    OpenSection("ms_1_check_mouse_attribute");
    const ProfileRecord before = Record();
    ASSERT_FALSE(Ui().IsChecked("ms_1_check_movemode"));
    Ui().SetChecked("ms_1_check_movemode", true);
    PumpPending();
    EXPECT_EQ(Record().movemode, 1);
    ProfileRecord expected = before;
    expected.movemode = 1;
    EXPECT_EQ(std::memcmp(&expected, &Record(), sizeof(ProfileRecord)), 0) << "nothing else changes";
    EXPECT_EQ(host->applyRequests.size(), 1u);

    // The program ends and starts again: the box shows what the file holds.
    host->DestroyWindow();
    host.reset();
    Open();
    EXPECT_EQ(Record().movemode, 1);
    EXPECT_TRUE(Ui().IsChecked("ms_1_check_movemode"));
}

TEST_F(SettingsPage, EditsMadeWithoutAMouseReachTheFileAtExit) {
    Open();
    OpenSection("ms_1_check_dpi");
    Ui().MoveSlider("ms_1_slider_dpi_1", 33);
    host->DestroyWindow();
    host.reset();

    StoreHeader header{};
    ProfileList list;
    ASSERT_EQ(ProfileStore(folder.Path() / "Data").Load(list, header, u"Profile").outcome,
              LoadOutcome::Loaded);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->dpi_x[0], 33);
}

TEST_F(SettingsPage, TellsWhenAPluggedMouseMayNotBeOpened) {
    wired.SetOpenResult(0, QUILLON_OPEN_PERMISSION_DENIED);
    wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    Open();
    EXPECT_FALSE(host->page.DevicePresent());
    EXPECT_EQ(host->page.DeviceAccessProblem(), DeviceAccess::PermissionDenied);
    EXPECT_EQ(host->deviceChanged, 1);
}

TEST_F(SettingsPage, NoDeviceIsNoProblem) {
    wired.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    Open();
    EXPECT_EQ(host->page.DeviceAccessProblem(), DeviceAccess::Ok);
    EXPECT_TRUE(Ui().IsShown("ms_1_sleep_label"));
}

TEST_F(SettingsPage, MouseSettingsButtonOpensTheDesktopsMouseSettings) {
    Open();
    OpenSection("ms_1_check_mouse_attribute");
    Ui().Click("ms_1_btn_mouse_attribute");
    EXPECT_EQ(shell.MouseSettingsOpened(), 1);
}

TEST_F(SettingsPage, ButtonLabelsFollowTheirFunctions) {
    std::vector<std::unique_ptr<ProfileRecord>> records;
    records.push_back(NewProfile(u"Labels"));
    ProfileRecord& record = *records[0];
    record.slots[1].function = kFunctionShortcut;
    record.slots[1].shortcut_modifiers = 5;
    record.slots[1].shortcut_key = 4;
    record.slots[2].function = kFunctionMacro;
    SetFieldText(record.slots[2].macro_name.data(), record.slots[2].macro_name.size(), u"Combo");
    record.slots[3].function = kFunctionLeftButtonMacro;
    SetFieldText(record.slots[3].macro_name.data(), record.slots[3].macro_name.size(), u"Burst");
    record.slots[5].function = 200;  // a byte from a file that names no function
    StoreProfiles(folder.Path(), std::move(records), 0);
    Open();

    const std::unique_ptr<KeyboardLayout> layout = CreateDesktopKeyboardLayout();
    ASSERT_TRUE(layout);
    const KeyCodeTables keys(
        *layout, [](std::string_view key) { return Text(std::string(key).c_str()).toStdU16String(); });
    EXPECT_EQ(Ui().Text("ms_1_btn_key_1"), Text("left_click_text"));
    EXPECT_EQ(Ui().Text("ms_1_btn_key_2"), Text("keyboard_ctrl_text") + "+" + Text("keyboard_alt_text") +
                                               "+" + QString::fromStdU16String(keys.UsageName(4)));
    EXPECT_EQ(Ui().Text("ms_1_btn_key_3"), Text("assign_macro_text") + "Combo");
    EXPECT_EQ(Ui().Text("ms_1_btn_key_4"), Text("assign_left_macro_text") + "-Burst");
    // Codes without a label of their own read as the button's default.
    EXPECT_EQ(Ui().Text("ms_1_btn_key_5"), Text("assign_default_text")) << "the factory function of button 5";
    EXPECT_EQ(Ui().Text("ms_1_btn_key_6"), Text("assign_default_text"));
    EXPECT_EQ(Ui().Text("ms_1_btn_key_9"), Text("assign_default_text"));
    EXPECT_NE(Text("assign_default_text"), "assign_default_text");
    EXPECT_EQ(Ui().Text("ms_1_btn_key_17"), Text("scroll_up_text"));
}

TEST_F(SettingsPage, TheWheelOverAnUnfocusedControlScrollsTheSettingsAndChangesNothing) {
    Open();
    OpenSection("ms_1_check_dpi");
    OpenSection("ms_1_check_light");
    Ui().SelectComboItem("ms_1_combo_light", 1);  // shows the brightness slider
    time.Advance(1000);
    PumpPending();
    host->applyRequests.clear();
    const ProfileRecord before = Record();
    auto* area = qobject_cast<QScrollArea*>(Ui().Find("ms_1_ver_setting")->GetWidget());
    ASSERT_NE(area, nullptr);
    for (const char* control : {"ms_1_slider_dpi_1", "ms_1_combo_light", "ms_1_slider_brightness"}) {
        SCOPED_TRACE(control);
        area->verticalScrollBar()->setValue(0);
        area->ensureWidgetVisible(Ui().Find(control)->GetWidget());
        const int scrolled = area->verticalScrollBar()->value();
        Ui().Wheel(control, 2);
        EXPECT_GT(area->verticalScrollBar()->value(), scrolled) << "the settings scrolled";
    }
    time.Advance(1000);
    PumpPending();
    EXPECT_EQ(std::memcmp(&before, &Record(), sizeof(ProfileRecord)), 0) << "no setting changed";
    EXPECT_TRUE(host->applyRequests.empty()) << "nothing was sent";
    EXPECT_EQ(Ui().Value("ms_1_slider_dpi_1"), before.dpi_x[0]);
    EXPECT_EQ(Ui().CurSel("ms_1_combo_light"), 1);
}

TEST_F(SettingsPage, ColourDialogAtTheScreensBottomEdgeOpensInsideItAndAnswersEscAndEnter) {
    Open();
    OpenSection("ms_1_check_dpi");
    QWidget* window = host->GetHostWidget();
    const QRect area = window->screen()->availableGeometry();
    // The main window sits low on the screen: stage 8's button is near its bottom edge.
    const QRect button = Ui().Find("ms_1_btn_dpi_color_8")->GetPos();
    host->MoveWindow(area.left() + 250, area.bottom() - button.bottom() - 4);
    const ColorBytes stored = Record().dpi_color[7];

    QRect shown;
    answers.OnNext("DpiColorWnd", [&](UiDriver& dialog) {
        shown = dialog.Find("confirm_btn")->GetWidget()->window()->frameGeometry();
        dialog.Click("mouse_dpi_color_5");
        dialog.PressKey("r_edit", Qt::Key_Escape);
    });
    Ui().Click("ms_1_btn_dpi_color_8");
    PumpPending();
    EXPECT_TRUE(area.contains(shown)) << "the whole dialog, its buttons too, lies on the screen";
    EXPECT_EQ(shown.bottom(), area.bottom()) << "lifted just enough";
    EXPECT_EQ(Record().dpi_color[7], stored) << "Esc cancels";
    EXPECT_TRUE(host->applyRequests.empty());

    answers.OnNext("DpiColorWnd", [&](UiDriver& dialog) {
        dialog.ReplaceText("g_edit", QStringLiteral("128"));
        dialog.PressReturn("g_edit");
    });
    Ui().Click("ms_1_btn_dpi_color_8");
    PumpPending();
    EXPECT_EQ(Record().dpi_color[7][1], 128) << "Enter confirms";
    EXPECT_EQ(host->applyRequests.size(), 1u);
}

TEST_F(SettingsPage, ResetDpiAsksFirst) {
    Open();
    OpenSection("ms_1_check_dpi");
    Ui().MoveSlider("ms_1_slider_dpi_1", 30);
    answers.OnNext("MsgWnd", [](UiDriver& box) {
        EXPECT_EQ(box.Text("warning"), Text("restore_dpi_text"));
        box.Click("btn_cancel");
    });
    Ui().Click("ms_1_btn_reset_dpi");
    PumpPending();
    EXPECT_EQ(Record().dpi_x[0], 30);
    EXPECT_TRUE(host->applyRequests.empty());

    answers.ClickOnNext("MsgWnd", "btn_ok");
    Ui().Click("ms_1_btn_reset_dpi");
    PumpPending();
    EXPECT_EQ(Record().dpi_x[0], kDefaultDpi[0]);
    EXPECT_EQ(Ui().Text("ms_1_edit_dpi_1"), QString::number(kDefaultDpi[0] * 50));
    EXPECT_EQ(host->applyRequests.size(), 1u);
}

TEST_F(SettingsPage, AStageHoldingNoResolutionShowsTheFiftyDpiItIsSentAs) {
    std::vector<std::unique_ptr<ProfileRecord>> records;
    records.push_back(NewProfile(u"Zero"));
    records[0]->dpi_x[5] = 0;
    records[0]->dpi_step_enabled[5] = 1;
    records[0]->dpi_x[7] = 0;
    records[0]->dpi_step_enabled[7] = 0;
    StoreProfiles(folder.Path(), std::move(records), 0);
    Open();
    OpenSection("ms_1_check_dpi");
    EXPECT_EQ(Ui().Text("ms_1_edit_dpi_6"), "50");
    EXPECT_EQ(Ui().Value("ms_1_slider_dpi_6"), 1);

    // Switching on a stage that holds nothing gives it the 50 DPI it shows.
    Ui().Click("ms_1_check_dpi_step_8");
    EXPECT_EQ(Record().dpi_step_enabled[7], 1);
    EXPECT_EQ(Record().dpi_x[7], 1);
    EXPECT_EQ(Ui().Text("ms_1_edit_dpi_8"), "50");
}

TEST_F(SettingsPage, DisabledStagesLookDisabledAndLightingSlidersShowTheirValues) {
    Open();
    OpenSection("ms_1_check_dpi");
    // A new profile has stages 1..6 on.
    EXPECT_FALSE(Ui().Find("ms_1_slider_dpi_6")->GetStyleState("inactive"));
    EXPECT_TRUE(Ui().Find("ms_1_slider_dpi_7")->GetStyleState("inactive"));
    EXPECT_TRUE(Ui().Find("ms_1_edit_dpi_7")->GetStyleState("inactive"));
    Ui().Click("ms_1_check_dpi_step_7");
    EXPECT_FALSE(Ui().Find("ms_1_slider_dpi_7")->GetStyleState("inactive"));
    EXPECT_FALSE(Ui().Find("ms_1_edit_dpi_7")->GetStyleState("inactive"));

    OpenSection("ms_1_check_light");
    Ui().SelectComboItem("ms_1_combo_light", 1);
    EXPECT_EQ(Ui().Text("ms_1_label_brightness"), QString::number(Record().brightness));
    Ui().MoveSlider("ms_1_slider_brightness", 4);
    EXPECT_EQ(Ui().Text("ms_1_label_brightness"), "4");
    Ui().SelectComboItem("ms_1_combo_light", 2);
    Ui().MoveSlider("ms_1_slider_breathspeed", 3);
    EXPECT_EQ(Ui().Text("ms_1_label_breathspeed"), "3");
}

// What the mouse reports reaches the page's own controls, through the main window's routing.
TEST_F(SettingsPage, WhatTheMouseReportsShowsOnThePageControls) {
    wired.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    Open();
    ASSERT_TRUE(wireless.SendReport(MakePowerStatus(1, 57)));
    PumpPending();
    EXPECT_EQ(Ui().Text("ms_1_label_power"), "57%");
    EXPECT_EQ(Ui().Value("ms_1_progress_power"), 57);
    EXPECT_TRUE(Ui().IsShown("ms_1_wireless"));
    EXPECT_FALSE(Ui().IsShown("ms_1_sleep_label"));

    ASSERT_TRUE(wireless.SendReport(MakeStageStatus(3)));
    ASSERT_TRUE(wireless.SendReport(MakePollingStatus(0x08)));
    PumpPending();
    EXPECT_TRUE(Ui().IsChecked("ms_1_option_dpi_step_3"));
    EXPECT_EQ(Ui().NormalImage("ms_1_edit_dpi_3"), kCurrentDpiEditImage);
    EXPECT_EQ(Ui().NormalImage("ms_1_edit_dpi_1"), kDpiEditImage);
    EXPECT_TRUE(Ui().IsChecked("ms_1_btn_prate_3"));

    time.Advance(6000);
    PumpPending();
    EXPECT_FALSE(Ui().IsShown("ms_1_wireless"));
    EXPECT_TRUE(Ui().IsShown("ms_1_sleep_label"));
}

TEST_F(SettingsPage, WhileChargingTheLevelStaysBesideTheWord) {
    wired.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
    Open();
    ASSERT_TRUE(wireless.SendReport(MakePowerStatus(1, 57)));
    ASSERT_TRUE(wireless.SendReport(MakePowerStatus(3, 57)));
    PumpPending();
    EXPECT_EQ(Ui().Text("ms_1_label_power"), "57% " + Text("charging_text"));
}

}  // namespace
}  // namespace quillon::test
