// Language texts and image descriptions.

#include "test_windows.h"

#include <QApplication>
#include <QFile>
#include <QLayout>
#include <QMenu>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <memory>

#include "ui/compiled_layouts.h"

namespace quillon::test {
namespace {

TEST_F(UiFixture, ControlTextsAreLanguageKeysUnlessToldTheyArePlain) {
    CreateWindow();
    EXPECT_EQ(ui->Text("label_title"), "Title");
    EXPECT_EQ(ui->Text("label_plain"), "title_text") << "the layout said plain";
    EXPECT_EQ(ui->Text("btn_ok"), "OK");
    EXPECT_EQ(ui->ComboItemText("combo_a", 0), "Off");

    auto* title = window.GetPaintManager().FindControl(QStringLiteral("label_title"));
    title->SetTextMode(TextMode::Plain);
    EXPECT_EQ(ui->Text("label_title"), "title_text");
    title->SetTextMode(TextMode::LanguageKey);
    title->SetText(QStringLiteral("ok_text"));
    EXPECT_EQ(ui->Text("label_title"), "OK");
    EXPECT_EQ(title->GetText(), "OK");
    EXPECT_EQ(title->GetRawText(), "ok_text");
    title->SetText(QStringLiteral("12345"));
    EXPECT_EQ(ui->Text("label_title"), "12345") << "a key the file does not have shows as it is";

    auto* plain = window.GetPaintManager().FindControl(QStringLiteral("label_plain"));
    plain->SetTextMode(TextMode::LanguageKey);
    EXPECT_EQ(ui->Text("label_plain"), "Title");
}

// Read ahead on a thread, as the program's start-up does: the load takes what was read.
TEST_F(UiFixture, LoadingALanguageShowsItsTextsInWindowsAlreadyBuilt) {
    CResourceManager::GetInstance()->PrefetchLanguage("lan_other.xml");
    CreateWindow();
    ASSERT_EQ(CResourceManager::GetInstance()->LoadLanguage("lan_other.xml"), LanguageLoadError::None);
    EXPECT_EQ(ui->Text("label_title"), "Titel");
    EXPECT_EQ(ui->ComboItemText("combo_a", 0), "Aus");
    EXPECT_EQ(ui->Text("btn_ok"), "ok_text") << "the new file replaces the old one";
    EXPECT_EQ(ui->Text("label_plain"), "title_text");
}

TEST_F(UiFixture, ALanguageFileThatCannotBeReadKeepsTheTextsLoaded) {
    auto* resources = CResourceManager::GetInstance();
    EXPECT_EQ(resources->LoadLanguage("lan_broken.xml"), LanguageLoadError::Malformed);
    EXPECT_EQ(resources->LoadLanguage("missing.xml"), LanguageLoadError::NotFound);
    resources->PrefetchLanguage("missing.xml");
    EXPECT_EQ(resources->LoadLanguage("missing.xml"), LanguageLoadError::NotFound) << "read ahead";
    EXPECT_EQ(resources->GetText("title_text"), "Title");
}

TEST(LanguageFile, ParsesKeysAndRejectsOtherDocuments) {
    QHash<QString, QString> texts;
    ASSERT_TRUE(CResourceManager::ParseLanguage(
        R"(<language><text key="a_text">A &amp; B</text><other/><text key="">x</text><text key="b_text"/></language>)",
        texts));
    EXPECT_EQ(texts.value("a_text"), "A & B");
    EXPECT_EQ(texts.value("b_text", "missing"), "");
    EXPECT_EQ(texts.size(), 2);
    for (const char* bad : {"", "<menu/>", "<language><text key='a'>x</language>", "not xml"}) {
        QHash<QString, QString> untouched{{"k", "v"}};
        EXPECT_FALSE(CResourceManager::ParseLanguage(bad, untouched)) << bad;
        EXPECT_EQ(untouched.value("k"), "v");
    }
}

struct ImageCase {
    const char* description;
    const char* file;
    std::optional<QRect> dest;
};

TEST(ImageDescriptions, GiveTheFileAndTheDestinationRectangle) {
    const ImageCase cases[] = {
        {"skins/richedit_1.png", "skins/richedit_1.png", std::nullopt},
        {"res='skins/mouse.png' dest='2,2,28,28'", "skins/mouse.png", QRect(2, 2, 26, 26)},
        {"  dest='5,6,35,24'  res='skins/keyboard_key_action.png'", "skins/keyboard_key_action.png",
         QRect(5, 6, 30, 18)},
        {"res='a.png' dest='1,2,3'", "a.png", std::nullopt},
        {"res='a.png' dest='9,9,1,1'", "a.png", std::nullopt},
        {"", "", std::nullopt},
    };
    for (const auto& c : cases) {
        const ImageDescription image = ImageDescription::Parse(c.description);
        EXPECT_EQ(image.file, c.file) << c.description;
        EXPECT_EQ(image.dest, c.dest) << c.description;
    }
}

// One line per widget and layout, in tree order: class, name, dynamic properties, texts and sizes.
// The file's reader leaves helpers of its own behind (a translation watcher, layout margins kept as
// properties); they are not part of the layout.
QStringList Describe(const QObject* object, int depth = 0) {
    const auto* layout = qobject_cast<const QLayout*>(object);
    QString line = QString(depth, QLatin1Char(' ')) + QLatin1String(object->metaObject()->className()) +
                   QLatin1Char(' ') + object->objectName();
    if (!layout) {
        QList<QByteArray> names = object->dynamicPropertyNames();
        std::sort(names.begin(), names.end());
        for (const QByteArray& name : names)
            line +=
                QStringLiteral(" %1=%2").arg(QString::fromLatin1(name), object->property(name).toString());
    }
    // Widgets of the layout; those that Qt makes inside them (scroll bars) follow their own state.
    const auto* widget = qobject_cast<const QWidget*>(object);
    if (widget && !widget->objectName().isEmpty() && !widget->objectName().startsWith(QLatin1String("qt_"))) {
        line += QStringLiteral(" min=%1x%2 max=%3x%4 hidden=%5")
                    .arg(widget->minimumWidth())
                    .arg(widget->minimumHeight())
                    .arg(widget->maximumWidth())
                    .arg(widget->maximumHeight())
                    .arg(widget->isHidden());
        for (const char* name : {"text", "toolTip", "checkable", "maximum", "orientation", "currentIndex"})
            if (widget->metaObject()->indexOfProperty(name) >= 0)
                line += QStringLiteral(" %1=%2").arg(QLatin1String(name), widget->property(name).toString());
    }
    if (layout) {
        const QMargins margins = layout->contentsMargins();
        line += QStringLiteral(" spacing=%1 count=%2 margins=%3,%4,%5,%6")
                    .arg(layout->spacing())
                    .arg(layout->count())
                    .arg(margins.left())
                    .arg(margins.top())
                    .arg(margins.right())
                    .arg(margins.bottom());
    }
    QStringList lines{line};
    for (const QObject* child : object->children())
        if (!QByteArray(child->metaObject()->className()).startsWith("QFormInternal::"))
            lines += Describe(child, depth + 1);
    return lines;
}

// Where each named widget of a shown tree ends up, and in which font.
QStringList Placement(const QWidget* root) {
    QStringList lines;
    for (const QWidget* widget : root->findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || widget->objectName().startsWith(QLatin1String("qt_")))
            continue;
        // A scroll area's content takes its size from the area's own pending resizes, which
        // vary from run to run; what it holds is compared.
        if (widget->parentWidget() &&
            widget->parentWidget()->objectName() == QLatin1String("qt_scrollarea_viewport"))
            continue;
        const QRect box(widget->mapTo(root, QPoint(0, 0)), widget->size());
        lines += QStringLiteral("%1 %2,%3 %4x%5 %6")
                     .arg(widget->objectName())
                     .arg(box.x())
                     .arg(box.y())
                     .arg(box.width())
                     .arg(box.height())
                     .arg(widget->font().toString());
    }
    return lines;
}

// The main window is built from compiled code while its layout file reads as it did at build
// time: the same widgets as the file gives. A file edited since is read instead.
TEST(CompiledLayouts, GiveTheWidgetsOfTheFileAndGiveWayToAnEditedFile) {
    TestApplication();
    const CompiledLayout* compiled = FindCompiledLayout(QStringLiteral("main.xml"));
    ASSERT_NE(compiled, nullptr);
    CPaintManagerUI::SetResourcePath(QStringLiteral(QUILLON_SOURCE_DIR "/res/"));
    std::unique_ptr<QWidget> built(LoadLayout(QStringLiteral("main.xml"), nullptr));
    ASSERT_NE(built, nullptr);

    // The same text with one more comment: no longer the compiled one, so the file is read.
    QTemporaryDir folder;
    QFile edited(folder.filePath(QStringLiteral("main.xml")));
    ASSERT_TRUE(edited.open(QIODevice::WriteOnly));
    edited.write(compiled->source.data(), static_cast<qint64>(compiled->source.size()));
    edited.write("<!-- edited -->\n");
    edited.close();
    CPaintManagerUI::SetResourcePath(folder.path() + QLatin1Char('/'));
    std::unique_ptr<QWidget> read(LoadLayout(QStringLiteral("main.xml"), nullptr));
    ASSERT_NE(read, nullptr);
    const QStringList compiledTree = Describe(built.get());
    const QStringList fileTree = Describe(read.get());
    EXPECT_EQ(compiledTree.size(), fileTree.size());
    for (qsizetype i = 0; i < std::min(compiledTree.size(), fileTree.size()); ++i)
        ASSERT_EQ(compiledTree[i], fileTree[i]) << "line " << i;

    // Styled and shown, both trees look alike: the theme's rules for a widget's role reach the
    // compiled tree too, whose scroll area sizes its content while the tree is being built.
    QFile theme(QStringLiteral(QUILLON_SOURCE_DIR "/res/theme.qss"));
    ASSERT_TRUE(theme.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromUtf8(theme.readAll()));
    for (QWidget* tree : {built.get(), read.get()}) {
        tree->resize(800, 572);
        tree->show();
    }
    // Layout requests are posted: the scroll area fits its content to its width when they arrive.
    QCoreApplication::sendPostedEvents();
    const QStringList compiledPlaces = Placement(built.get());
    const QStringList filePlaces = Placement(read.get());
    qApp->setStyleSheet(QString());
    ASSERT_EQ(compiledPlaces.size(), filePlaces.size());
    for (qsizetype i = 0; i < compiledPlaces.size(); ++i)
        EXPECT_EQ(compiledPlaces[i], filePlaces[i]);

    // An edit that changes a widget shows in what is built.
    ASSERT_TRUE(edited.open(QIODevice::WriteOnly));
    QByteArray text(compiled->source.data(), static_cast<qsizetype>(compiled->source.size()));
    text.replace("name=\"ms_1_apply_btn\"", "name=\"renamed_apply_btn\"");
    edited.write(text);
    edited.close();
    std::unique_ptr<QWidget> renamed(LoadLayout(QStringLiteral("main.xml"), nullptr));
    ASSERT_NE(renamed, nullptr);
    EXPECT_NE(renamed->findChild<QWidget*>(QStringLiteral("renamed_apply_btn")), nullptr);
    EXPECT_EQ(renamed->findChild<QWidget*>(QStringLiteral("ms_1_apply_btn")), nullptr);
}

}  // namespace
}  // namespace quillon::test
