// What controls send when a user acts on them, what they do without a notification, and what
// they show.

#include "test_windows.h"

#include <QAbstractSlider>
#include <QImage>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

namespace quillon::test {
namespace {

using Summary = std::vector<QString>;

struct UserAction {
    const char* name;
    std::function<void(UiDriver&, CPaintManagerUI&)> prepare;
    std::function<void(UiDriver&)> act;
    Summary expected;
};

void addRows(CPaintManagerUI& pm, int count) {
    auto* list = pm.FindControl<CListUI>(QStringLiteral("list_a"));
    for (int i = 0; i < count; ++i) {
        auto* row = new CListLabelElementUI;
        row->SetText(QStringLiteral("row %1").arg(i));
        row->SetFixedHeight(22);
        list->Add(row);
    }
}

const auto nothing = [](UiDriver&, CPaintManagerUI&) {};

const UserAction kUserActions[] = {
    {"ButtonClick", nothing, [](UiDriver& ui) { ui.Click("btn_ok"); }, {"click:btn_ok"}},
    {"CheckBoxClick",
     nothing,
     [](UiDriver& ui) { ui.Click("check_a"); },
     {"click:check_a", "checkclick:check_a"}},
    {"OptionNewlySelected",
     nothing,
     [](UiDriver& ui) { ui.Click("option_2"); },
     {"click:option_2", "selectchanged:option_2"}},
    {"OptionClickedAgainStaysSelected",
     [](UiDriver&, CPaintManagerUI& pm) {
         pm.FindControl<COptionUI>(QStringLiteral("option_2"))->Selected(true, SelectNotify::No);
     },
     [](UiDriver& ui) { ui.Click("option_2"); },
     {"click:option_2"}},
    {"ButtonWithGroupIsAnOption",
     nothing,
     [](UiDriver& ui) { ui.Click("option_rate"); },
     {"click:option_rate", "selectchanged:option_rate"}},
    {"SliderMove", nothing, [](UiDriver& ui) { ui.MoveSlider("slider_a", 40); }, {"valuechanged:slider_a"}},
    {"ComboChoice", nothing, [](UiDriver& ui) { ui.SelectComboItem("combo_a", 1); }, {"itemselect:combo_a"}},
    {"ComboSameChoice", nothing, [](UiDriver& ui) { ui.SelectComboItem("combo_a", 0); }, {}},
    {"ListRow",
     [](UiDriver&, CPaintManagerUI& pm) { addRows(pm, 3); },
     [](UiDriver& ui) { ui.SelectRow("list_a", 1); },
     {"itemselect:list_a"}},
    {"TypingOneNotificationPerKey",
     nothing,
     [](UiDriver& ui) { ui.Type("edit_a", "ab"); },
     {"textchanged:edit_a", "textchanged:edit_a"}},
    {"Return", nothing, [](UiDriver& ui) { ui.PressReturn("edit_a"); }, {"return:edit_a"}},
    {"FocusMovesBetweenEdits",
     nothing,
     [](UiDriver& ui) {
         ui.Focus("edit_a");
         ui.Focus("edit_rich");
     },
     {"setfocus:edit_a", "killfocus:edit_a", "setfocus:edit_rich"}},
    {"MouseOverAndAway",
     nothing,
     [](UiDriver& ui) {
         ui.Hover("btn_ok");
         ui.Unhover("btn_ok");
     },
     {"mouseenter:btn_ok", "mouseleave:btn_ok"}},
};

class UserActionTest : public UiFixture, public ::testing::WithParamInterface<UserAction> {};

TEST_P(UserActionTest, SendsExactlyTheNotificationsOfTheAction) {
    CreateWindow();
    GetParam().prepare(*ui, window.GetPaintManager());
    recorder->Clear();
    GetParam().act(*ui);
    EXPECT_EQ(recorder->Summary(), Summary(GetParam().expected));
}

std::string actionName(const ::testing::TestParamInfo<UserAction>& action) {
    return action.param.name;
}
INSTANTIATE_TEST_SUITE_P(Controls, UserActionTest, ::testing::ValuesIn(kUserActions), actionName);

TEST_F(UiFixture, ProgrammaticChangesWithoutNotificationChangeOnlyWhatIsShown) {
    CreateWindow();
    auto& pm = window.GetPaintManager();
    addRows(pm, 3);
    recorder->Clear();

    pm.FindControl<CCheckBoxUI>(QStringLiteral("check_a"))->SetCheck(true, SelectNotify::No);
    pm.FindControl<COptionUI>(QStringLiteral("option_3"))->Selected(true, SelectNotify::No);
    pm.FindControl<CListUI>(QStringLiteral("list_a"))->SelectItem(2, SelectNotify::No);
    pm.FindControl<CComboUI>(QStringLiteral("combo_a"))->SelectItem(1, SelectNotify::No);
    pm.FindControl<CSliderUI>(QStringLiteral("slider_a"))->SetValue(77);
    pm.FindControl<CProgressUI>(QStringLiteral("progress_a"))->SetValue(64);
    pm.FindControl<CEditUI>(QStringLiteral("edit_a"))->SetText(QStringLiteral("1234"));
    pm.FindControl<CTabLayoutUI>(QStringLiteral("tab_a"))->SelectItem(2);

    EXPECT_EQ(recorder->Summary(), Summary{});
    EXPECT_TRUE(ui->IsChecked("check_a"));
    EXPECT_TRUE(ui->IsChecked("option_3"));
    EXPECT_EQ(ui->CurSel("list_a"), 2);
    EXPECT_EQ(ui->CurSel("combo_a"), 1);
    EXPECT_EQ(ui->Text("combo_a"), "Steady");
    EXPECT_EQ(ui->Value("slider_a"), 77);
    EXPECT_EQ(ui->Value("progress_a"), 64);
    EXPECT_EQ(ui->Text("edit_a"), "1234");
    EXPECT_EQ(ui->CurSel("tab_a"), 2);
}

TEST_F(UiFixture, ProgrammaticChangesWithNotificationSendWhatAUserWould) {
    CreateWindow();
    auto& pm = window.GetPaintManager();
    addRows(pm, 3);
    auto* list = pm.FindControl<CListUI>(QStringLiteral("list_a"));
    list->SelectItem(0, SelectNotify::No);
    recorder->Clear();

    pm.FindControl<CCheckBoxUI>(QStringLiteral("check_a"))->SetCheck(true, SelectNotify::Yes);
    pm.FindControl<CCheckBoxUI>(QStringLiteral("check_a"))->SetCheck(true, SelectNotify::Yes);  // no change
    pm.FindControl<COptionUI>(QStringLiteral("option_1"))->Selected(true, SelectNotify::Yes);
    list->SelectItem(2, SelectNotify::Yes);
    pm.FindControl<CComboUI>(QStringLiteral("combo_a"))->SelectItem(1, SelectNotify::Yes);

    EXPECT_EQ(recorder->Summary(), (Summary{"checkclick:check_a", "selectchanged:option_1",
                                            "itemselect:list_a", "itemselect:combo_a"}));
    const auto& itemselect = recorder->Entries()[2];
    EXPECT_EQ(itemselect.wParam, 2u);
    EXPECT_EQ(itemselect.lParam, 0);
}

TEST_F(UiFixture, OnlyTheNewlySelectedOptionOfAGroupNotifies) {
    CreateWindow();
    ui->Click("option_1");
    recorder->Clear();

    ui->Click("option_3");
    EXPECT_EQ(recorder->Summary(), (Summary{"click:option_3", "selectchanged:option_3"}));
    EXPECT_FALSE(ui->IsChecked("option_1"));
    EXPECT_FALSE(ui->IsChecked("option_2"));
    EXPECT_TRUE(ui->IsChecked("option_3"));
    // Another group is not touched.
    ui->Click("option_rate");
    EXPECT_TRUE(ui->IsChecked("option_3"));

    // Taking the selection away from code notifies from that option, and leaves none selected.
    recorder->Clear();
    window.GetPaintManager()
        .FindControl<COptionUI>(QStringLiteral("option_3"))
        ->Selected(false, SelectNotify::Yes);
    EXPECT_EQ(recorder->Summary(), (Summary{"selectchanged:option_3"}));
    EXPECT_FALSE(ui->IsChecked("option_3"));
}

TEST_F(UiFixture, ListSelectionFollowsRowsThatAreInsertedAndRemoved) {
    CreateWindow();
    auto& pm = window.GetPaintManager();
    addRows(pm, 4);
    auto* list = pm.FindControl<CListUI>(QStringLiteral("list_a"));
    list->SelectItem(2, SelectNotify::No);
    recorder->Clear();

    auto* first = new CListLabelElementUI;
    first->SetText(QStringLiteral("new first"));
    list->AddAt(first, 0);
    EXPECT_EQ(list->GetCurSel(), 3);
    EXPECT_EQ(ui->CurSel("list_a"), 3);

    list->RemoveAt(0);
    EXPECT_EQ(list->GetCurSel(), 2);
    list->RemoveAt(2);  // the selected row
    EXPECT_EQ(list->GetCurSel(), -1);
    EXPECT_EQ(ui->CurSel("list_a"), -1);
    EXPECT_EQ(ui->RowCount("list_a"), 3);
    EXPECT_EQ(recorder->Summary(), Summary{}) << "editing rows sends nothing";

    // Selecting the row that now has the removed row's index notifies, although Qt's current row
    // may already point there.
    list->SelectItem(2, SelectNotify::Yes);
    ASSERT_EQ(recorder->Summary(), (Summary{"itemselect:list_a"}));
    EXPECT_EQ(recorder->Entries()[0].lParam, -1);
    EXPECT_EQ(list->GetItemAt(2)->GetText(), "row 3");

    PumpPending();  // removed rows are deleted from the event loop
    EXPECT_EQ(ui->RowCount("list_a"), 3);
}

TEST_F(UiFixture, TextRowsAreSelectedAndRemovedLikeControlRows) {
    CreateWindow();
    auto& pm = window.GetPaintManager();
    auto* list = pm.FindControl<CListUI>(QStringLiteral("list_a"));
    list->AddTextRow(QStringLiteral("text 0"), 22);
    addRows(pm, 1);
    list->AddTextRow(QStringLiteral("text 2"), 22);
    ASSERT_EQ(list->GetCount(), 3);
    EXPECT_EQ(list->GetItemAt(0), nullptr) << "a text row has no control";
    ASSERT_NE(list->GetItemAt(1), nullptr);
    EXPECT_EQ(list->GetItemIndex(list->GetItemAt(1)), 1);

    auto* widget = qobject_cast<QListWidget*>(list->GetWidget());
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->item(2)->text(), "text 2");
    EXPECT_EQ(widget->item(2)->sizeHint().height(), 22);

    recorder->Clear();
    ui->SelectRow("list_a", 2);
    EXPECT_EQ(recorder->Summary(), (Summary{"itemselect:list_a"}));
    EXPECT_EQ(list->GetCurSel(), 2);

    list->RemoveAt(0);
    EXPECT_EQ(list->GetCurSel(), 1) << "the selection moves up with its row";
    list->RemoveAll();
    EXPECT_EQ(ui->RowCount("list_a"), 0);
    EXPECT_EQ(list->GetCurSel(), -1);
}

TEST_F(UiFixture, RowsBuiltFromARowLayoutKeepTheirLabelsApart) {
    CreateWindow();
    auto& pm = window.GetPaintManager();
    auto* list = pm.FindControl<CListUI>(QStringLiteral("list_a"));
    CDialogBuilder builder;
    for (int i = 0; i < 3; ++i) {
        auto* row = dynamic_cast<CListContainerElementUI*>(builder.Create(QStringLiteral("row.xml"), &pm));
        ASSERT_NE(row, nullptr);
        row->SetFixedHeight(30);
        ASSERT_TRUE(list->Add(row));
        row->FindSubControl(QStringLiteral("key"))->SetText(QStringLiteral("key %1").arg(i));
        row->FindSubControl(QStringLiteral("action"))->SetText(QStringLiteral("ok_text"));
        row->FindSubControl(QStringLiteral("delay"))->SetText(QString::number(10 * i));
    }
    ASSERT_EQ(list->GetCount(), 3);
    auto* middle = dynamic_cast<CContainerUI*>(list->GetItemAt(1));
    ASSERT_NE(middle, nullptr);
    EXPECT_EQ(middle->FindSubControl(QStringLiteral("key"))->GetText(), "key 1");
    EXPECT_EQ(middle->FindSubControl(QStringLiteral("action"))->GetText(), "OK")
        << "row labels are language keys";
    EXPECT_EQ(middle->FindSubControl(QStringLiteral("delay"))->GetText(), "10");
    EXPECT_EQ(qobject_cast<QListWidget*>(list->GetWidget())->item(1)->sizeHint().height(), 30);

    // Looked up all at once, each name gives what FindControl gives: the first of that name.
    const QHash<QString, CControlUI*> index = pm.NameIndex();
    EXPECT_EQ(index.value(QStringLiteral("key")),
              dynamic_cast<CContainerUI*>(list->GetItemAt(0))->FindSubControl(QStringLiteral("key")));
    for (auto it = index.cbegin(); it != index.cend(); ++it)
        EXPECT_EQ(it.value(), pm.FindControl(it.key())) << qPrintable(it.key());

    // A click on a row's label selects the row.
    recorder->Clear();
    ui->SelectRow("list_a", 1);
    EXPECT_EQ(recorder->Summary(), (Summary{"itemselect:list_a"}));
}

TEST_F(UiFixture, EditCaretAndLengthLimitShapeWhatTheUserTypes) {
    CreateWindow();
    auto* edit = window.GetPaintManager().FindControl<CEditUI>(QStringLiteral("edit_a"));
    edit->SetText(QStringLiteral("12"));
    edit->SetSel(0, 0);
    ui->Type("edit_a", "9");
    EXPECT_EQ(ui->Text("edit_a"), "912");
    edit->SetSel(-1, -1);
    ui->Type("edit_a", "5");
    EXPECT_EQ(ui->Text("edit_a"), "9125");
    EXPECT_EQ(edit->GetText(), "9125");

    edit->SetSel(1, 3);
    EXPECT_EQ(edit->GetSel(), std::make_pair(1, 3));
    ui->Type("edit_a", "0");
    EXPECT_EQ(ui->Text("edit_a"), "905");

    edit->SetText({});
    edit->SetMaxChar(3);
    ui->Type("edit_a", "12345");
    EXPECT_EQ(ui->Text("edit_a"), "123");
    edit->SetText(QStringLiteral("98765"));
    EXPECT_EQ(edit->GetText(), "987") << "the edit answers with what it holds";
}

TEST_F(UiFixture, AHandlerThatRewritesTheTextKeepsTheCaretWhereItPutIt) {
    // A filter that keeps digits only, as number fields do on every "textchanged".
    CreateWindow();
    auto* edit = window.GetPaintManager().FindControl<CEditUI>(QStringLiteral("edit_rich"));
    ASSERT_NE(dynamic_cast<CRichEditUI*>(edit), nullptr);
    window.onMessage = nullptr;
    struct Filter : INotifyUI {
        CEditUI* edit;
        void Notify(TNotifyUI& msg) override {
            if (msg.sType != QLatin1String("textchanged") || msg.pSender != edit)
                return;
            QString digits;
            for (QChar ch : edit->GetText())
                if (ch.isDigit())
                    digits += ch;
            if (digits != edit->GetText()) {
                edit->SetText(digits);
                edit->SetSel(int(digits.size()), int(digits.size()));
            }
        }
    } filter;
    filter.edit = edit;
    window.GetPaintManager().AddNotifier(&filter);
    ui->Type("edit_rich", "1ab2");
    window.GetPaintManager().RemoveNotifier(&filter);
    EXPECT_EQ(ui->Text("edit_rich"), "12");
}

TEST_F(UiFixture, PaletteReportsColoursWhileDraggingAndOnRelease) {
    CreateWindow();
    auto* palette = window.GetPaintManager().FindControl<CColorPaletteUI>(QStringLiteral("palette_a"));
    ASSERT_NE(palette, nullptr);
    palette->SetSelectColor(0xFF123456);
    EXPECT_EQ(palette->GetSelectColor(), 0xFF123456u) << "a colour set by code is kept exactly";
    recorder->Clear();

    std::vector<std::uint32_t> seen;
    struct Watch : INotifyUI {
        CColorPaletteUI* palette;
        std::vector<std::uint32_t>* seen;
        void Notify(TNotifyUI& msg) override {
            if (msg.sType == QLatin1String("colorchanged"))
                seen->push_back(palette->GetSelectColor());
        }
    } watch;
    watch.palette = palette;
    watch.seen = &seen;
    window.GetPaintManager().AddNotifier(&watch);
    palette->GetWidget()->resize(160, 90);
    palette->SetSelectColor(0xFFFFFFFF);  // full brightness: the field then shows pure hues
    ui->DragPalette("palette_a", QPoint(0, 0), QPoint(150, 0));
    window.GetPaintManager().RemoveNotifier(&watch);

    const Summary summary = recorder->Summary();
    ASSERT_GE(summary.size(), 2u);
    EXPECT_EQ(summary.back(), "colorchangedbuttonup:palette_a");
    for (std::size_t i = 0; i + 1 < summary.size(); ++i)
        EXPECT_EQ(summary[i], "colorchanged:palette_a");
    // Along the top edge the hue changes at full saturation: red at the left, then other hues.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front() & 0xFFFFFF, 0xFF0000u);
    EXPECT_NE(seen.back(), seen.front());
    EXPECT_EQ(palette->GetSelectColor(), seen.back());
}

TEST_F(UiFixture, ContainersHideTheirControlsAndTabLayoutsShowOnePage) {
    CreateWindow();
    auto& pm = window.GetPaintManager();
    auto* options = pm.FindControl<CHorizontalLayoutUI>(QStringLiteral("hor_options"));
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->GetCount(), 4);
    EXPECT_EQ(options->FindSubControl(QStringLiteral("option_2"))->GetName(), "option_2");
    options->SetVisible(false);
    EXPECT_FALSE(ui->IsShown("option_2"));
    EXPECT_TRUE(pm.FindControl(QStringLiteral("option_2"))->IsVisible()) << "the control's own flag is kept";

    auto* tabs = pm.FindControl<CTabLayoutUI>(QStringLiteral("tab_a"));
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->GetCount(), 3);
    EXPECT_TRUE(tabs->SelectItem(1));
    EXPECT_EQ(ui->CurSel("tab_a"), 1);
    EXPECT_FALSE(tabs->SelectItem(3));
    EXPECT_EQ(tabs->GetCurSel(), 1);
    EXPECT_EQ(pm.FindControl<CVerticalLayoutUI>(QStringLiteral("ver_left"))->GetClass(), "VerticalLayoutUI");
}

TEST_F(UiFixture, ControlsRefuseTheWrongKindAndUnknownNames) {
    CreateWindow();
    auto& pm = window.GetPaintManager();
    EXPECT_EQ(pm.FindControl<CSliderUI>(QStringLiteral("btn_ok")), nullptr);
    EXPECT_EQ(pm.FindControl(QStringLiteral("no_such_control")), nullptr);
    EXPECT_NE(pm.FindControl<CButtonUI>(QStringLiteral("btn_ok")), nullptr);
}

TEST_F(UiFixture, BackgroundColoursAndImagesAreDrawn) {
    CreateWindow();
    auto& pm = window.GetPaintManager();
    pm.FindControl(QStringLiteral("swatch_a"))->SetBkColor(0xFF102030);
    EXPECT_EQ(ui->PixelAt("swatch_a", QPoint(20, 12)), QColor(0x10, 0x20, 0x30));
    pm.FindControl(QStringLiteral("swatch_a"))->SetBkColor(0xFFFF4000);
    EXPECT_EQ(ui->PixelAt("swatch_a", QPoint(20, 12)), QColor(0xFF, 0x40, 0x00));

    QTemporaryDir dir;
    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(dir.filePath(QStringLiteral("red.png"))));
    const QString description =
        QStringLiteral("res='%1' dest='2,2,10,10'").arg(dir.filePath(QStringLiteral("red.png")));
    auto* label = pm.FindControl(QStringLiteral("image_label"));
    label->SetBkImage(description);
    EXPECT_EQ(label->GetBkImage(), description);
    EXPECT_EQ(ui->PixelAt("image_label", QPoint(5, 5)), QColor(Qt::red));
    EXPECT_NE(ui->PixelAt("image_label", QPoint(20, 20)), QColor(Qt::red)) << "drawn only into dest";

    label->SetBkImage({});
    label->SetNormalImage(dir.filePath(QStringLiteral("red.png")));
    EXPECT_EQ(ui->NormalImage("image_label"), dir.filePath(QStringLiteral("red.png")));
    EXPECT_EQ(ui->PixelAt("image_label", QPoint(20, 20)), QColor(Qt::red))
        << "without dest it fills the control";
}

// A window over the scrolling test layout.
class ScrollWindow : public TestWindow {
public:
    QString GetSkinFile() override { return QStringLiteral("scroll.xml"); }
};

class WheelTest : public UiFixture {
protected:
    void SetUp() override {
        ASSERT_NE(scroll.Create(nullptr, {}, WS_VISIBLE, 0, 0), nullptr);
        ui = std::make_unique<UiDriver>(scroll);
        recorder = std::make_unique<NotificationRecorder>(scroll.GetPaintManager());
        PumpPending();
    }
    int Scrolled() const {
        auto* area = qobject_cast<QScrollArea*>(ui->Find("ver_scroll")->GetWidget());
        return area->verticalScrollBar()->value();
    }
    ScrollWindow scroll;
};

TEST_F(WheelTest, TheWheelOverAControlWithoutFocusScrollsThePageAndChangesNothing) {
    for (const char* control : {"slider_plain", "combo_scroll", "slider_log"}) {
        SCOPED_TRACE(control);
        auto* area = qobject_cast<QScrollArea*>(ui->Find("ver_scroll")->GetWidget());
        area->verticalScrollBar()->setValue(0);
        // The page scrolls so that the control stays under the pointer.
        area->ensureWidgetVisible(ui->Find(control)->GetWidget());
        const int before = Scrolled();
        recorder->Clear();
        ui->Wheel(control, 1);
        EXPECT_GT(Scrolled(), before) << "the page scrolled";
        EXPECT_TRUE(recorder->Entries().empty()) << "no control reported a change";
    }
    EXPECT_EQ(ui->Value("slider_plain"), 3);
    EXPECT_EQ(ui->CurSel("combo_scroll"), 0);
    EXPECT_EQ(ui->Value("slider_log"), 8);
}

TEST_F(WheelTest, AControlTakesTheWheelOnlyWhileItHasTheFocus) {
    QWidget* slider = ui->Find("slider_plain")->GetWidget();
    QWidget* combo = ui->Find("combo_scroll")->GetWidget();
    EXPECT_EQ(combo->focusPolicy(), Qt::StrongFocus) << "the wheel does not hand the focus over";
    slider->window()->activateWindow();
    slider->setFocus(Qt::TabFocusReason);
    PumpPending();
    if (!slider->hasFocus())
        GTEST_SKIP() << "this platform gives no keyboard focus to a window that is not active";
    const int before = Scrolled();
    ui->Wheel("slider_plain", -1);
    EXPECT_NE(ui->Value("slider_plain"), 3) << "the focused slider took the wheel";
    EXPECT_EQ(Scrolled(), before);
}

TEST_F(UiFixture, ALogarithmicSliderGivesTheLowEndMoreTrackAndStepsByOneValue) {
    ScrollWindow scroll;
    ASSERT_NE(scroll.Create(nullptr, {}, 0, 0), nullptr);
    UiDriver driver(scroll);
    NotificationRecorder notes(scroll.GetPaintManager());
    auto* slider = driver.Find<CSliderUI>("slider_log");
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->GetMinValue(), 1);
    EXPECT_EQ(slider->GetMaxValue(), 520);
    // Every value keeps a track position of its own.
    for (int value = 1; value <= 520; ++value)
        ASSERT_EQ(slider->ValueAt(slider->PositionOf(value)), value);
    auto* widget = qobject_cast<QAbstractSlider*>(slider->GetWidget());
    const double track = widget->maximum() - widget->minimum();
    // 50 to 3200 DPI (1 to 64) takes far more than the eighth a straight track would give it.
    EXPECT_GT(slider->PositionOf(64) / track, 0.4);

    driver.PressKey("slider_log", Qt::Key_Right);
    EXPECT_EQ(slider->GetValue(), 9);
    driver.PressKey("slider_log", Qt::Key_Left);
    driver.PressKey("slider_log", Qt::Key_Left);
    EXPECT_EQ(slider->GetValue(), 7);
    driver.PressKey("slider_log", Qt::Key_PageUp);
    EXPECT_EQ(slider->GetValue(), 17) << "a page is the layout's page step";
    driver.MoveSlider("slider_log", 300);
    EXPECT_EQ(slider->GetValue(), 300);
    EXPECT_EQ(notes.Summary(),
              (Summary{"valuechanged:slider_log", "valuechanged:slider_log", "valuechanged:slider_log",
                       "valuechanged:slider_log", "valuechanged:slider_log"}));
    EXPECT_EQ(notes.Entries().back().wParam, 300u) << "notifications carry the value, not the position";
    slider->SetValue(1000);
    EXPECT_EQ(slider->GetValue(), 520);
}

}  // namespace
}  // namespace quillon::test
