#include "platform/file_dialogs.h"
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <set>

#include "support/qt_app.h"

using namespace quillon;

namespace {

struct SettingsCase {
    const char* desktop;
    std::set<QString> installed;
    std::optional<Command> expected;
};

void PrintTo(const SettingsCase& value, std::ostream* out) {
    *out << '"' << value.desktop << '"';
}

class MouseSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(MouseSettings, PicksTheRunningDesktopsProgramFirst) {
    const SettingsCase& c = GetParam();
    const auto command = MouseSettingsCommand(QString::fromLatin1(c.desktop), [&](const QString& name) {
        return c.installed.count(name) != 0 ? QStringLiteral("/usr/bin/") + name : QString();
    });
    ASSERT_EQ(command.has_value(), c.expected.has_value());
    if (command) {
        EXPECT_EQ(command->program, c.expected->program);
        EXPECT_EQ(command->arguments, c.expected->arguments);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, MouseSettings,
    ::testing::Values(
        SettingsCase{"GNOME", {"gnome-control-center"}, Command{"/usr/bin/gnome-control-center", {"mouse"}}},
        SettingsCase{"ubuntu:GNOME",
                     {"gnome-control-center", "systemsettings"},
                     Command{"/usr/bin/gnome-control-center", {"mouse"}}},
        SettingsCase{"KDE",
                     {"gnome-control-center", "systemsettings"},
                     Command{"/usr/bin/systemsettings", {"kcm_mouse"}}},
        SettingsCase{"kde", {"systemsettings5"}, Command{"/usr/bin/systemsettings5", {"mouse"}}},
        SettingsCase{"XFCE",
                     {"xfce4-mouse-settings", "gnome-control-center"},
                     Command{"/usr/bin/xfce4-mouse-settings", {}}},
        // The running desktop has none of its own: the first known one that is installed.
        SettingsCase{
            "XFCE", {"kcmshell5", "mate-mouse-properties"}, Command{"/usr/bin/kcmshell5", {"mouse"}}},
        SettingsCase{"", {"lxqt-config-input"}, Command{"/usr/bin/lxqt-config-input", {}}},
        SettingsCase{"GNOME", {}, std::nullopt}));

TEST(FileFilters, OneParenthesisedPatternListAfterTheText) {
    struct Case {
        FileFilter filter;
        QString expected;
    };
    const Case cases[] = {
        {{"Profile files", {"*.pro"}}, "Profile files (*.pro)"},
        {{"Profile (*.pro)", {"*.pro"}}, "Profile (*.pro)"},
        {{"Macro(*.txt) ", {"*.macro"}}, "Macro (*.macro)"},
        {{"Profiles and macros", {"*.pro", "*.macro"}}, "Profiles and macros (*.pro *.macro)"},
        {{"", {"*.pro"}}, "*.pro"},
        {{"All files", {}}, "All files (*)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QtFilterString(c.filter), c.expected) << c.filter.text.toStdString();
}

TEST(FileFilters, DefaultExtensionOnlyWhereTheNameHasNone) {
    struct Case {
        QString path, extension, expected;
    };
    const Case cases[] = {
        {"/home/u/Profile 1", "pro", "/home/u/Profile 1.pro"},
        {"/home/u/Profile 1", ".pro", "/home/u/Profile 1.pro"},
        {"/home/u/Profile 1.pro", "pro", "/home/u/Profile 1.pro"},
        {"/home/u/list.txt", "pro", "/home/u/list.txt"},
        {"/home/u.v/name", "macro", "/home/u.v/name.macro"},
        {"/home/u/.hidden", "pro", "/home/u/.hidden.pro"},
        {"/home/u/name", "", "/home/u/name"},
        {"", "pro", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WithDefaultExtension(c.path, c.extension), c.expected) << c.path.toStdString();
}

// Answers the next modal file dialog: records how it was set up, then picks `name` in its folder.
struct DialogProbe {
    QFileDialog::AcceptMode acceptMode{};
    QFileDialog::FileMode fileMode{};
    QStringList nameFilters;
    QString defaultSuffix;
    bool confirmsOverwrite = false;
    bool accepted = false;
    bool warned = false;

    void AnswerNext(const QString& path) {
        QTimer::singleShot(0, [this, path] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            acceptMode = dialog->acceptMode();
            fileMode = dialog->fileMode();
            nameFilters = dialog->nameFilters();
            defaultSuffix = dialog->defaultSuffix();
            confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            dialog->selectFile(path);
            // A refused name brings up a warning box of the dialog's own; it is dismissed.
            QTimer::singleShot(0, [this] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    warned = true;
                    box->done(QMessageBox::Ok);
                }
            });
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
            accepted = !dialog->isVisible();
            if (!accepted)
                dialog->reject();  // a must-exist dialog refuses a missing file
        });
    }
};

class QtFileDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::TestApplication();
        ASSERT_TRUE(m_dir.isValid());
    }
    FileDialogRequest Request() const {
        FileDialogRequest request;
        request.title = "Export";
        request.filters = {{"Profile", {"*.pro"}}};
        request.defaultExtension = "pro";
        request.initialPath = m_dir.path();
        return request;
    }
    QTemporaryDir m_dir;
};

TEST_F(QtFileDialogsTest, SaveOffersTheFiltersAndAddsTheExtension) {
    QtFileDialogs dialogs;
    DialogProbe probe;
    probe.AnswerNext(m_dir.filePath("Profile 1"));
    const auto chosen = dialogs.GetSaveFileName(Request());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, m_dir.filePath("Profile 1.pro"));
    EXPECT_EQ(probe.acceptMode, QFileDialog::AcceptSave);
    EXPECT_EQ(probe.nameFilters, QStringList{"Profile (*.pro)"});
    EXPECT_EQ(probe.defaultSuffix, "pro");
    EXPECT_TRUE(probe.confirmsOverwrite);

    FileDialogRequest quiet = Request();
    quiet.overwritePrompt = OverwritePrompt::No;
    probe.AnswerNext(m_dir.filePath("b.pro"));
    EXPECT_EQ(dialogs.GetSaveFileName(quiet), m_dir.filePath("b.pro"));
    EXPECT_FALSE(probe.confirmsOverwrite);
}

TEST_F(QtFileDialogsTest, OpenWithMustExistRefusesAMissingFile) {
    QtFileDialogs dialogs;
    DialogProbe probe;
    probe.AnswerNext(m_dir.filePath("missing.pro"));
    EXPECT_EQ(dialogs.GetOpenFileName(Request()), std::nullopt);
    EXPECT_FALSE(probe.accepted);
    EXPECT_TRUE(probe.warned);
    EXPECT_EQ(probe.fileMode, QFileDialog::ExistingFile);

    QFile present(m_dir.filePath("present.pro"));
    ASSERT_TRUE(present.open(QIODevice::WriteOnly));
    present.close();
    probe.AnswerNext(present.fileName());
    EXPECT_EQ(dialogs.GetOpenFileName(Request()), present.fileName());
    EXPECT_EQ(probe.acceptMode, QFileDialog::AcceptOpen);
}

}  // namespace
