// The shipped resources: every layout builds with the UI library, holds the controls the program
// finds by name (of the right kind, in the right option groups and virtual window), and every text,
// item and image it names exists.

#include "app/page/page_controls.h"
#include "support/qt_app.h"
#include "ui/controls.h"
#include "ui/menu.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QRegularExpression>
#include <QSlider>
#include <QWidget>

#include <memory>

namespace quillon {
namespace {

const QString kRes = QStringLiteral(QUILLON_SOURCE_DIR "/res/");

class LayoutWindow : public WindowImplBase {
public:
    explicit LayoutWindow(QString skin) : m_skin(std::move(skin)) {}
    QString GetWindowClassName() const override { return QStringLiteral("LayoutWnd"); }
    QString GetSkinFile() override { return m_skin; }

private:
    QString m_skin;
};

class ResourcesTest : public ::testing::Test {
protected:
    ResourcesTest() {
        test::TestApplication();
        CPaintManagerUI::SetResourcePath(kRes);
        CResourceManager::GetInstance()->ResetLanguage();
        EXPECT_EQ(CResourceManager::GetInstance()->LoadLanguage(QStringLiteral("lan.xml")),
                  LanguageLoadError::None);
    }
    ~ResourcesTest() override {
        if (m_window && m_window->GetHWND())
            m_window->Close(0);
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    CPaintManagerUI& Open(const QString& skin) {
        m_window = std::make_unique<LayoutWindow>(skin);
        EXPECT_NE(m_window->Create(nullptr, {}, 0, 0, 0, 0, 800, 800), nullptr) << qPrintable(skin);
        return m_window->GetPaintManager();
    }
    QWidget* Root() const { return m_window->GetPaintManager().GetRoot()->GetWidget(); }

    std::unique_ptr<LayoutWindow> m_window;
};

bool HasKey(const QString& key) {
    return CResourceManager::GetInstance()->HasText(key);
}

// A text in language-key mode that is meant as a key (not a number the page writes over it).
bool LooksLikeKey(const QString& text) {
    static const QRegularExpression notKey(QStringLiteral("^[0-9 %.]*(MS)?$"));
    return !text.isEmpty() && !notKey.match(text).hasMatch();
}

TEST_F(ResourcesTest, MainLayoutHoldsEveryControlOfTheSettingsPage) {
    CPaintManagerUI& pm = Open(QStringLiteral("main.xml"));
    PageControls controls;
    EXPECT_EQ(controls.Find(pm), QStringList()) << "missing or of another kind";
    for (const SectionToggle& section : controls.sections) {
        ASSERT_NE(section.box, nullptr);
        EXPECT_TRUE(section.box->GetCheck()) << qPrintable(section.box->GetName()) << " starts open";
    }
    EXPECT_NE(dynamic_cast<CContainerUI*>(controls.settingScroll), nullptr);
}

TEST_F(ResourcesTest, MainLayoutHoldsTheWindowsOwnControls) {
    CPaintManagerUI& pm = Open(QStringLiteral("main.xml"));
    for (const char* name : {"main_menu_btn", "min_btn", "exit_btn", "btn_website"})
        EXPECT_NE(pm.FindControl<CButtonUI>(QString::fromLatin1(name)), nullptr) << name;
    // The title bar offers no button without an action.
    EXPECT_EQ(pm.FindControl(QStringLiteral("skin_btn")), nullptr);
    // The battery bar keeps its place when a link indicator hides.
    for (const char* name : {"ms_1_wired", "ms_1_wireless"})
        EXPECT_TRUE(
            pm.FindControl(QString::fromLatin1(name))->GetWidget()->sizePolicy().retainSizeWhenHidden())
            << name;
    EXPECT_NE(pm.FindControl<CProgressUI>(QStringLiteral("apply_progress")), nullptr);
    auto* tabs = pm.FindControl<CTabLayoutUI>(QStringLiteral("device_tab_switch"));
    ASSERT_NE(tabs, nullptr);
    EXPECT_GE(tabs->GetCount(), 2) << "page 0 without a device, page 1 for the first device";
    EXPECT_EQ(tabs->GetCurSel(), 0);

    for (int i = 1; i <= 20; ++i) {
        auto* option = pm.FindControl<COptionUI>(QStringLiteral("option_device_%1").arg(i));
        ASSERT_NE(option, nullptr) << i;
        EXPECT_EQ(option->IsVisible(), i == 1) << "only the first device entry is shown at first";
        EXPECT_EQ(option->GetGroup(), QStringLiteral("device"));
    }
    // The website button opens its own text.
    EXPECT_TRUE(pm.FindControl<CButtonUI>(QStringLiteral("btn_website"))
                    ->GetText()
                    .startsWith(QStringLiteral("https://")));
    EXPECT_EQ(Root()->size(), QSize(800, 572));
}

TEST_F(ResourcesTest, SettingsPageControlsBelongToTheVirtualWindowAndTheWindowsOwnDoNot) {
    CPaintManagerUI& pm = Open(QStringLiteral("main.xml"));
    int pageControls = 0;
    for (QWidget* widget : Root()->findChildren<QWidget*>()) {
        CControlUI* control = pm.FindControl(widget);
        if (control == nullptr)
            continue;
        const QString name = control->GetName();
        if (name.startsWith(QLatin1String("ms_1_"))) {
            ++pageControls;
            EXPECT_EQ(control->GetVirtualWnd(), QStringLiteral("MS_1_Page")) << qPrintable(name);
        } else if (name.startsWith(QLatin1String("option_device_")) || name.endsWith(QLatin1String("_btn")) ||
                   name == QLatin1String("btn_website") || name == QLatin1String("device_tab_switch")) {
            EXPECT_TRUE(control->GetVirtualWnd().isEmpty()) << qPrintable(name);
        }
    }
    EXPECT_GT(pageControls, 150);
}

TEST_F(ResourcesTest, OptionFamiliesFormOneGroupEach) {
    CPaintManagerUI& pm = Open(QStringLiteral("main.xml"));
    struct Family {
        const char* pattern;
        int count;
    };
    const Family families[] = {
        {"ms_1_option_dpi_step_%1", 8},
        {"ms_1_btn_prate_%1", 7},
        {"ms_1_option_lift_of_distance_%1", 2},
        {"ms_1_option_ripple_control_%1", 2},
        {"ms_1_option_angle_snap_%1", 2},
        {"ms_1_option_motion_sync_%1", 2},
        {"option_device_%1", 20},
    };
    QStringList groups;
    for (const Family& family : families) {
        auto* first = pm.FindControl<COptionUI>(QString::fromLatin1(family.pattern).arg(1));
        ASSERT_NE(first, nullptr) << family.pattern;
        const QString group = first->GetGroup();
        EXPECT_FALSE(group.isEmpty()) << family.pattern;
        EXPECT_FALSE(groups.contains(group)) << "group " << qPrintable(group) << " shared by two families";
        groups << group;
        const std::vector<COptionUI*> members = pm.GetOptionGroup(group);
        EXPECT_EQ(int(members.size()), family.count) << family.pattern;
        for (int i = 1; i <= family.count; ++i) {
            auto* option = pm.FindControl<COptionUI>(QString::fromLatin1(family.pattern).arg(i));
            ASSERT_NE(option, nullptr) << family.pattern << " " << i;
            EXPECT_EQ(option->GetGroup(), group);
        }
    }
}

TEST_F(ResourcesTest, SlidersCoverTheValuesTheMouseTakes) {
    CPaintManagerUI& pm = Open(QStringLiteral("main.xml"));
    struct Range {
        QString name;
        int low, high, factory;
    };
    std::vector<Range> ranges = {
        {QStringLiteral("ms_1_slider_brightness"), 1, 15, 8},
        {QStringLiteral("ms_1_slider_breathspeed"), 1, 9, 6},
        {QStringLiteral("ms_1_slider_key_debounce"), 1, 30, 3},
        {QStringLiteral("ms_1_slider_sleep_timer"), 1, 60, 10},
        {QStringLiteral("ms_1_slider_light_off"), 1, 60, 2},
    };
    for (int i = 1; i <= 8; ++i)
        ranges.push_back({QStringLiteral("ms_1_slider_dpi_%1").arg(i), 1, 520, 8});
    for (const Range& range : ranges) {
        auto* slider = pm.FindControl<CSliderUI>(range.name);
        ASSERT_NE(slider, nullptr) << qPrintable(range.name);
        EXPECT_EQ(slider->GetMinValue(), range.low) << qPrintable(range.name);
        EXPECT_EQ(slider->GetMaxValue(), range.high) << qPrintable(range.name);
        EXPECT_GE(range.factory, slider->GetMinValue())
            << qPrintable(range.name) << " holds its factory value";
        EXPECT_LE(range.factory, slider->GetMaxValue())
            << qPrintable(range.name) << " holds its factory value";
        // One step per key press, so every value can be reached.
        EXPECT_EQ(qobject_cast<QSlider*>(slider->GetWidget())->singleStep(), 1) << qPrintable(range.name);
    }
}

TEST_F(ResourcesTest, LightingEffectListHasAnItemForEveryEffectWithAText) {
    CPaintManagerUI& pm = Open(QStringLiteral("main.xml"));
    auto* combo = pm.FindControl<CComboUI>(QStringLiteral("ms_1_combo_light"));
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->GetCount(), 12) << "effects 0..11 have a panel layout";
    QStringList texts;
    for (int i = 0; i < combo->GetCount(); ++i) {
        const QString text = combo->GetItemText(i);
        EXPECT_FALSE(text.endsWith(QLatin1String("_text"))) << "item " << i << " has no language text";
        EXPECT_FALSE(texts.contains(text)) << qPrintable(text) << " appears twice";
        texts << text;
    }
}

TEST_F(ResourcesTest, EveryKeyALayoutShowsIsInTheLanguageFile) {
    int tips = 0;
    for (const char* skin :
         {"main.xml", "msg.xml", "DpiColorDialog.xml", "MS/MS_1/ms_1_macropage.xml", "keylistitem.xml",
          "MS/MS_1/profilename.xml", "MS/MS_1/selectmacro.xml", "shortcut.xml"}) {
        CPaintManagerUI& pm = Open(QString::fromLatin1(skin));
        for (QWidget* widget : Root()->findChildren<QWidget*>()) {
            CControlUI* control = pm.FindControl(widget);
            if (control == nullptr)
                continue;
            const QString raw = control->GetRawText();
            if (control->GetTextMode() == TextMode::LanguageKey && LooksLikeKey(raw)) {
                EXPECT_TRUE(HasKey(raw))
                    << skin << ": " << qPrintable(control->GetName()) << " shows " << qPrintable(raw);
            }
            const QString tipKey = widget->property("quillon_tooltip_key").toString();
            if (!tipKey.isEmpty()) {
                ++tips;
                EXPECT_TRUE(HasKey(tipKey))
                    << skin << ": tooltip of " << qPrintable(control->GetName()) << " " << qPrintable(tipKey);
                EXPECT_EQ(widget->toolTip(), CResourceManager::GetInstance()->GetText(tipKey))
                    << "tooltips show their text";
            }
        }
    }
    EXPECT_GT(tips, 10) << "icon buttons explain themselves";
}

TEST_F(ResourcesTest, MessageBoxAndColourDialogHoldTheirControls) {
    CPaintManagerUI& msg = Open(QStringLiteral("msg.xml"));
    EXPECT_NE(msg.FindControl<CButtonUI>(QStringLiteral("btn_ok")), nullptr);
    EXPECT_NE(msg.FindControl<CButtonUI>(QStringLiteral("btn_cancel")), nullptr);
    EXPECT_NE(msg.FindControl<CLabelUI>(QStringLiteral("warning_title")), nullptr);
    auto* warning = msg.FindControl<CLabelUI>(QStringLiteral("warning"));
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->GetTextMode(), TextMode::LanguageKey) << "the message is given as a key";

    CPaintManagerUI& dialog = Open(QStringLiteral("DpiColorDialog.xml"));
    EXPECT_EQ(Root()->size(), QSize(250, 200));
    EXPECT_NE(dialog.FindControl<CButtonUI>(QStringLiteral("confirm_btn")), nullptr);
    EXPECT_NE(dialog.FindControl<CButtonUI>(QStringLiteral("cancel_btn")), nullptr);
    EXPECT_NE(dialog.FindControl(QStringLiteral("color_show_control")), nullptr);
    EXPECT_NE(dialog.FindControl<CColorPaletteUI>(QStringLiteral("ColorPallet")), nullptr);
    for (const char* edit : {"r_edit", "g_edit", "b_edit"})
        EXPECT_NE(dialog.FindControl<CEditUI>(QString::fromLatin1(edit)), nullptr) << edit;
    // The swatches show the colours the dialog picks when they are clicked.
    const char* presets[16] = {"#00ffff", "#6cff00", "#7f00ff", "#007fff", "#0000ff", "#7fff00",
                               "#ff5400", "#ff7f00", "#ffb400", "#ffff00", "#ff0000", "#ff00ff",
                               "#1eb40a", "#48b1ff", "#ff48b0", "#ffffff"};
    static const QRegularExpression colour(QStringLiteral("background-color:\\s*(#[0-9A-Fa-f]{6})"));
    for (int n = 1; n <= 16; ++n) {
        auto* swatch = dialog.FindControl<CButtonUI>(QStringLiteral("mouse_dpi_color_%1").arg(n));
        ASSERT_NE(swatch, nullptr) << n;
        const auto match = colour.match(swatch->GetWidget()->styleSheet());
        ASSERT_TRUE(match.hasMatch()) << n;
        EXPECT_EQ(QColor(match.captured(1)).name(), QString::fromLatin1(presets[n - 1])) << n;
    }
}

TEST_F(ResourcesTest, TrayMenuOffersConfigurationAndExitWithTexts) {
    CPaintManagerUI& pm = Open(QStringLiteral("main.xml"));
    CMenuWnd menu;
    ASSERT_TRUE(menu.Init(nullptr, QStringLiteral("traymenu.xml"), QPoint(100, 100), &pm, nullptr, 6));
    ASSERT_NE(menu.GetMenuUI(), nullptr);
    EXPECT_EQ(menu.GetMenuUI()->GetItemNames(),
              (std::vector<QString>{QStringLiteral("configuration"), QStringLiteral("exit")}));
    for (const char* name : {"configuration", "exit"}) {
        QAction* item = menu.FindItem(QString::fromLatin1(name));
        ASSERT_NE(item, nullptr) << name;
        EXPECT_FALSE(item->text().endsWith(QLatin1String("_text"))) << name << " has no language text";
    }
    menu.Close();
}

TEST_F(ResourcesTest, ButtonFunctionMenuShowsATextForEveryItem) {
    CPaintManagerUI& pm = Open(QStringLiteral("main.xml"));
    CMenuWnd menu;
    ASSERT_TRUE(
        menu.Init(nullptr, QStringLiteral("MS/MS_1/ms_1_menu.xml"), QPoint(100, 100), &pm, nullptr, 6));
    int items = 0;
    for (QAction* item : menu.GetQMenu()->findChildren<QAction*>()) {
        if (item->isSeparator() || item->objectName().isEmpty())
            continue;
        ++items;
        EXPECT_TRUE(!item->text().isEmpty() && !item->text().endsWith(QLatin1String("_text")))
            << qPrintable(item->objectName()) << " shows " << qPrintable(item->text());
    }
    EXPECT_GE(items, 52) << "every function of the catalogue has its item";
    menu.Close();
}

TEST_F(ResourcesTest, EveryImageTheSheetAndTheLayoutsNameExists) {
    QStringList files;
    for (const char* source : {"theme.qss", "traymenu.xml", "main.xml", "msg.xml", "DpiColorDialog.xml",
                               "MS/MS_1/ms_1_macropage.xml"}) {
        QFile file(kRes + QString::fromLatin1(source));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << source;
        const QString text = QString::fromUtf8(file.readAll());
        static const QRegularExpression image(
            QStringLiteral("(?:res:|icon=\")(skins/[A-Za-z0-9_./-]+\\.png)"));
        for (auto it = image.globalMatch(text); it.hasNext();)
            files << it.next().captured(1);
    }
    // Images the program itself names.
    files << QStringLiteral("skins/richedit_1.png") << QStringLiteral("skins/richedit_2.png")
          << QStringLiteral("skins/mouse.png") << QStringLiteral("skins/move.png")
          << QStringLiteral("skins/keyboard_key_action.png") << QStringLiteral("skins/macro_key_down.png")
          << QStringLiteral("skins/macro_key_up.png") << QStringLiteral("skins/nodevice.png")
          << QStringLiteral("icons/107.png");
    EXPECT_GT(files.size(), 30);
    for (const QString& file : files) {
        EXPECT_TRUE(QFileInfo::exists(kRes + file)) << qPrintable(file);
        EXPECT_FALSE(LoadResourceImage(file).isNull()) << qPrintable(file) << " does not load";
    }
}

// The program's icon is drawn on a thread at start-up. The window manager takes the sizes the window
// icon carries as they are, and a tray picks the nearest: every one of them must be the drawing.
TEST_F(ResourcesTest, TheProgramIconDrawnAheadIsTheDrawingAtEachSize) {
    PrefetchIconResource(107);
    const QIcon ahead = LoadIconResource(107);
    const QIcon drawing(kRes + QStringLiteral("icons/107.svg"));
    for (int side : {16, 22, 24, 32, 48, 64, 128}) {
        const QSize size(side, side);
        EXPECT_TRUE(ahead.availableSizes().contains(size)) << side;
        const QImage image = ahead.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(image, drawing.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32)) << side;
    }
}

}  // namespace
}  // namespace quillon
