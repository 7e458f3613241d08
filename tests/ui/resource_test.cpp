// Language texts and image descriptions.

#include "test_windows.h"

#include <QMenu>

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

TEST_F(UiFixture, LoadingALanguageShowsItsTextsInWindowsAlreadyBuilt) {
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

}  // namespace
}  // namespace quillon::test
