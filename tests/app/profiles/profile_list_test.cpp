// The profile card driven the way a user drives it: add, delete, rename (button and double click),
// import and export, and the name dialog, through the controls of the real main layout.

#include <gtest/gtest.h>

#include <QFile>

#include <cstring>

#include "app/macros/macro_store.h"
#include "app/page/page_fixture.h"
#include "core/protocol/device_model.h"
#include "core/protocol/frames.h"
#include "core/store/profile_store.h"
#include "core/store/record_names.h"
#include "core/text16.h"
#include "support/scripted_file_dialogs.h"

namespace quillon::test {
namespace {

const QString kList = QStringLiteral("ms_1_list_profile");

QString Text(const char* key) {
    return CResourceManager::GetInstance()->GetText(QString::fromLatin1(key));
}

std::unique_ptr<ProfileRecord> NewProfile(std::u16string_view name) {
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, name);
    return record;
}

std::u16string NameOf(const ProfileRecord& record) {
    return std::u16string(LeadingName(record));
}

// An answer to the message box that checks which message it shows, then clicks `button`.
std::function<void(UiDriver&)> ExpectMessage(const char* key, const char* button = "btn_ok") {
    return [key, button](UiDriver& box) {
        EXPECT_EQ(box.Text("warning"), Text(key)) << key;
        box.Click(QString::fromLatin1(button));
    };
}

class ProfileCard : public PageFixture {
protected:
    // pro.data with profiles of these names, so that the page loads them at start-up.
    void StoreProfiles(std::initializer_list<std::u16string_view> names, std::int32_t selected) {
        std::vector<std::unique_ptr<ProfileRecord>> records;
        for (std::u16string_view name : names)
            records.push_back(NewProfile(name));
        // Settings that tell the profiles apart on the page and on the mouse.
        for (std::size_t i = 0; i < records.size(); ++i) {
            records[i]->brightness = static_cast<std::int32_t>(i + 1);
            records[i]->key_debounce = static_cast<std::int32_t>(i + 10);
        }
        auto header = std::make_unique<StoreHeader>();
        std::memset(static_cast<void*>(header.get()), 0, sizeof(StoreHeader));
        header->selected = selected;
        ProfileStore store(folder.Path() / "Data");
        ASSERT_EQ(store.Save(records, *header), WriteStatus::Written);
    }
    std::filesystem::path StoreFile() const { return folder.Path() / "Data" / "ms_1" / "pro.data"; }
    // The store file once the page's writer thread has written every save made so far.
    Bytes Stored() {
        Profiles().FlushSaves();
        return ReadAll(StoreFile());
    }

    QStringList Rows() const { return ui->RowTexts(kList); }
    // Names in the store, in list order.
    QStringList Names() {
        QStringList names;
        for (const auto& record : Profiles().List())
            names << QString::fromStdU16String(NameOf(*record));
        return names;
    }
    // The list control and the store agree on rows, names and the selected profile.
    void ExpectListMatchesStore() {
        EXPECT_EQ(Rows(), Names());
        const int selected = Profiles().Header().selected;
        ASSERT_GE(selected, 0);
        ASSERT_LT(selected, static_cast<int>(Profiles().List().size()));
        EXPECT_EQ(Ui().CurSel(kList), selected);
        EXPECT_EQ(Profiles().Selected(), Profiles().List()[static_cast<std::size_t>(selected)].get());
    }
    // Answers the next name dialog by typing `name` and clicking OK.
    void AnswerName(const QString& name) {
        answers.OnNext(QStringLiteral("MS_1_ProfileName"), [name](UiDriver& dialog) {
            dialog.Type(QStringLiteral("edit_name"), name);
            dialog.Click(QStringLiteral("btn_ok"));
        });
    }
};

// --- The name dialog -------------------------------------------------------------------------

TEST_F(ProfileCard, NameDialogRefusesAnEmptyNameAndAnExistingNameInAnyLetterCase) {
    StoreProfiles({u"Work", u"Games"}, 0);
    Open();
    const auto before = Stored();

    answers.OnNext(QStringLiteral("MS_1_ProfileName"), [](UiDriver& dialog) {
        EXPECT_EQ(dialog.Text("title_string"), Text("profile_name_2_text"));
        EXPECT_EQ(dialog.Text("edit_name"), "") << "the field starts empty, also when renaming";
        dialog.Click("btn_ok");
        dialog.Type("edit_name", "work");  // the profile's own name in another case
        dialog.Click("btn_ok");
        EXPECT_EQ(dialog.Text("edit_name"), "work") << "a refusal keeps the typed text";
        dialog.ReplaceText("edit_name", "GAMES");
        dialog.PressReturn("edit_name");
        dialog.Click("btn_cancel");
    });
    answers.OnNext("MsgWnd", ExpectMessage("warn_name_1_text"));
    answers.OnNext("MsgWnd", ExpectMessage("warn_name_2_text"));
    answers.OnNext("MsgWnd", ExpectMessage("warn_name_2_text"));
    Ui().Click("ms_1_profile_rename_btn");
    PumpPending();

    EXPECT_EQ(Names(), QStringList({"Work", "Games"}));
    ExpectListMatchesStore();
    EXPECT_EQ(Stored(), before) << "a cancelled rename writes nothing";
}

TEST_F(ProfileCard, NameDialogTakesBlanksAsANameConfirmsWithReturnAndCancelsWithEscape) {
    Open();
    answers.OnNext(QStringLiteral("MS_1_ProfileName"), [](UiDriver& dialog) {
        EXPECT_EQ(dialog.Text("title_string"), Text("profile_name_1_text"));
        dialog.Type("edit_name", "   ");
        dialog.PressReturn("edit_name");
    });
    Ui().Click("ms_1_profile_add_btn");
    answers.OnNext(QStringLiteral("MS_1_ProfileName"), [](UiDriver& dialog) {
        dialog.Type("edit_name", "Travel");
        dialog.PressKey("edit_name", Qt::Key_Escape);
    });
    Ui().Click("ms_1_profile_add_btn");
    answers.OnNext(QStringLiteral("MS_1_ProfileName"), [](UiDriver& dialog) {
        dialog.Type("edit_name", "Travel");
        dialog.Click("btn_exit");
    });
    Ui().Click("ms_1_profile_add_btn");
    PumpPending();

    EXPECT_EQ(Names(), QStringList({Text("add_profile_text") + "1", "   "}));
    ExpectListMatchesStore();
}

TEST_F(ProfileCard, NameDialogHoldsNoMoreThanANameFieldSoTheCheckedNameIsTheStoredOne) {
    const std::u16string longName(99, u'x');
    StoreProfiles({longName}, 0);
    Open();
    answers.OnNext(QStringLiteral("MS_1_ProfileName"), [](UiDriver& dialog) {
        dialog.Type("edit_name", QString(120, QLatin1Char('X')));
        EXPECT_EQ(dialog.Text("edit_name").size(), 99);
        dialog.Click("btn_ok");
        dialog.Click("btn_cancel");
    });
    answers.OnNext("MsgWnd", ExpectMessage("warn_name_2_text"));
    Ui().Click("ms_1_profile_add_btn");
    PumpPending();
    EXPECT_EQ(Profiles().List().size(), 1u);
}

// --- Add, delete, rename ---------------------------------------------------------------------

TEST_F(ProfileCard, AddingAppendsAFactoryProfileThatIsSelectedAndSentWhole) {
    StoreProfiles({u"Work", u"Games", u"Travel"}, 1);
    Open();
    const auto before = Stored();
    AnswerName("Office");
    Ui().Click("ms_1_profile_add_btn");
    PumpPending();

    EXPECT_EQ(Rows(), QStringList({"Work", "Games", "Travel", "Office"}));
    ExpectListMatchesStore();
    EXPECT_EQ(Profiles().Header().selected, 3);
    ProfileRecord factory;
    CreateProfile(factory, u"Office");
    EXPECT_EQ(std::memcmp(&Record(), &factory, sizeof(ProfileRecord)), 0);
    OpenSection("ms_1_check_light");
    EXPECT_EQ(Ui().Value("ms_1_slider_brightness"), factory.brightness) << "the page shows the new profile";
    EXPECT_TRUE(Profiles().full_write_pending());
    EXPECT_EQ(host->applyRequests.size(), 1u);
    // The apply that the add asks for saves the store (on the worker's way back to this thread).
    ASSERT_TRUE(PumpUntil([&] {
        time.RunDue();
        return std::filesystem::file_size(StoreFile()) == before.size() + kRecordBytes;
    }));
    const auto stored = Stored();
    EXPECT_EQ(stored[0], 3) << "selected index";
    EXPECT_EQ(std::memcmp(stored.data() + kHeaderBytes + 3 * kRecordBytes, &factory, sizeof(ProfileRecord)),
              0);
}

TEST_F(ProfileCard, DeletingTheSelectedProfileSelectsTheProfileThatTakesItsRowOrTheNewLast) {
    StoreProfiles({u"Work", u"Games", u"Travel"}, 2);
    Open();
    answers.OnNext("MsgWnd", ExpectMessage("delete_profile_text"));
    Ui().Click("ms_1_profile_delete_btn");
    PumpPending();
    EXPECT_EQ(Rows(), QStringList({"Work", "Games"}));
    ExpectListMatchesStore();
    EXPECT_EQ(NameOf(Record()), u"Games") << "the new last row";
    EXPECT_EQ(host->applyRequests.size(), 1u);
    EXPECT_TRUE(Profiles().full_write_pending());

    Ui().SelectRow(kList, 0);
    answers.OnNext("MsgWnd", ExpectMessage("delete_profile_text"));
    Ui().Click("ms_1_profile_delete_btn");
    PumpPending();
    EXPECT_EQ(Rows(), QStringList({"Games"}));
    ExpectListMatchesStore();
    OpenSection("ms_1_check_light");
    EXPECT_EQ(Ui().Value("ms_1_slider_brightness"), 2) << "the page shows Games";
}

TEST_F(ProfileCard, DeleteChangesNothingWhenCancelledOrWhenOneProfileIsLeft) {
    StoreProfiles({u"Work", u"Games"}, 0);
    Open();
    answers.OnNext("MsgWnd", ExpectMessage("delete_profile_text", "btn_cancel"));
    Ui().Click("ms_1_profile_delete_btn");
    PumpPending();
    EXPECT_EQ(Rows(), QStringList({"Work", "Games"}));

    answers.OnNext("MsgWnd", ExpectMessage("delete_profile_text"));
    Ui().Click("ms_1_profile_delete_btn");
    // The last one stays, whichever button closes the message.
    answers.OnNext("MsgWnd", ExpectMessage("one_profile_text"));
    Ui().Click("ms_1_profile_delete_btn");
    PumpPending();
    EXPECT_EQ(Rows(), QStringList({"Games"}));
    ExpectListMatchesStore();
    EXPECT_EQ(answers.Opened().size(), 3u);
}

TEST_F(ProfileCard, RenamingByButtonOrDoubleClickSavesAtOnceAndTheRowShowsTheName) {
    StoreProfiles({u"Work", u"Games", u"Travel"}, 0);
    Open();
    AnswerName("Office");
    Ui().Click("ms_1_profile_rename_btn");
    PumpPending();
    EXPECT_EQ(Rows(), QStringList({"Office", "Games", "Travel"}));

    AnswerName("Shooter");
    Ui().DoubleClickRow(kList, 2);
    PumpPending();
    EXPECT_EQ(Rows(), QStringList({"Office", "Games", "Shooter"}));
    ExpectListMatchesStore();
    EXPECT_EQ(Profiles().Header().selected, 2);

    // On disk at once, without a mouse: the header names the selected row, the records their names.
    Profiles().FlushSaves();
    ProfileStore store(folder.Path() / "Data");
    ProfileList saved;
    auto header = std::make_unique<StoreHeader>();
    static_cast<void>(store.Load(saved, *header, u"unused"));
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(NameOf(*saved[0]), u"Office");
    EXPECT_EQ(NameOf(*saved[2]), u"Shooter");
    EXPECT_EQ(header->selected, 2);
}

// --- Import and export -----------------------------------------------------------------------

TEST_F(ProfileCard, ExportThenImportGivesTheSameRecordUnderAFreeNameAndItsOwnMacro) {
    StoreProfiles({u"Work", u"Work_1"}, 0);
    Open();
    ProfileRecord& work = Record();
    work.brightness = 12;
    work.dpi_x[2] = 77;
    work.slots[4].function = kFunctionShortcut;
    work.slots[4].shortcut_key = 0x04;
    work.slots[4].shortcut_modifiers = 1;
    work.slots[2].function = kFunctionMacro;
    SetFieldText(work.slots[2].macro_name.data(), work.slots[2].macro_name.size(), u"Spray");
    work.slots[2].action_count = 1;
    work.slots[2].actions[0] = MacroAction{0, 0x2C, kActionDown, 0, 30, {}, 0, 0};
    work.slots[2].macro_index = 7;
    const ProfileRecord exported = work;

    ScriptedFileDialogs dialogs;
    const QString file = QString::fromStdString((folder.Path() / "work.pro").string());
    dialogs.ExpectSave(file);
    Ui().Click("ms_1_profile_export_btn");
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    const FileDialogRequest& save = dialogs.Requests()[0].request;
    EXPECT_EQ(save.defaultExtension, "pro");
    ASSERT_EQ(save.filters.size(), 2u);
    EXPECT_EQ(save.filters[0].patterns, QStringList({"*.pro", "*.PRO"}));
    EXPECT_EQ(save.filters[1].patterns, QStringList({"*.json", "*.JSON"}));
    EXPECT_EQ(save.initialPath, "Work.pro");
    const auto bytes = ReadAll(folder.Path() / "work.pro");
    ASSERT_EQ(bytes.size(), sizeof(ProfileRecord));
    EXPECT_EQ(std::memcmp(bytes.data(), &exported, sizeof(ProfileRecord)), 0);

    dialogs.ExpectOpen(file);
    Ui().Click("ms_1_profile_import_btn");
    PumpPending();
    EXPECT_EQ(dialogs.Requests()[1].request.filters[0].patterns, QStringList({"*.pro", "*.PRO"}));
    EXPECT_EQ(Rows(), QStringList({"Work", "Work_1", "Work_2"}));
    ExpectListMatchesStore();
    ProfileRecord expected = exported;
    SetFieldText(expected.profile_name.data(), expected.profile_name.size(), u"Work_2");
    expected.slots[2].macro_index = 0;  // its own macro, the first of the (empty) store
    EXPECT_EQ(std::memcmp(&Record(), &expected, sizeof(ProfileRecord)), 0);
    EXPECT_TRUE(Profiles().full_write_pending());
    EXPECT_GE(host->applyRequests.size(), 1u);

    // The readable form keeps the profile just as well (the one shown now is "Work_2").
    const QString json = QString::fromStdString((folder.Path() / "work.json").string());
    dialogs.ExpectSave(json);
    Ui().Click("ms_1_profile_export_btn");
    dialogs.ExpectOpen(json);
    Ui().Click("ms_1_profile_import_btn");
    PumpPending();
    EXPECT_EQ(Rows(), QStringList({"Work", "Work_1", "Work_2", "Work_2_1"}));
    SetFieldText(expected.profile_name.data(), expected.profile_name.size(), u"Work_2_1");
    // Its own macro again: the second in the store, under a free name.
    expected.slots[2].macro_index = 1;
    SetFieldText(expected.slots[2].macro_name.data(), expected.slots[2].macro_name.size(), u"Spray_1");
    EXPECT_EQ(std::memcmp(&Record(), &expected, sizeof(ProfileRecord)), 0);
}

TEST_F(ProfileCard, ImportAddsTheMacrosOfItsButtonsUnderFreeNamesEachButtonPointingAtItsOwn) {
    {
        MacroStore macros(folder.Path() / "Data");
        macros.AppendMacro(NewMacroRecord(u"Burst"));
        ASSERT_EQ(macros.SaveMacroStore(), WriteStatus::Written);
    }
    Open();
    ProfileRecord carrier;
    CreateProfile(carrier, u"Carrier");
    for (std::size_t k : {0u, 3u, 5u}) {
        ButtonSlot& slot = carrier.slots[k];
        slot.function = k == 5 ? kFunctionLeftButtonMacro : kFunctionMacro;
        SetFieldText(slot.macro_name.data(), slot.macro_name.size(), u"burst");
        slot.repeat_count = static_cast<std::int32_t>(k + 2);
        slot.action_count = static_cast<std::uint16_t>(k + 1);
        for (std::size_t i = 0; i < slot.action_count; ++i)
            slot.actions[i] = MacroAction{0, static_cast<std::uint8_t>(4 + k), kActionDown, 0, 20, {}, 0, 0};
        slot.macro_index = 0;
    }
    const auto path = folder.Path() / "carrier.pro";
    WriteAll(path, Bytes(reinterpret_cast<const std::uint8_t*>(&carrier),
                         reinterpret_cast<const std::uint8_t*>(&carrier) + sizeof(ProfileRecord)));
    ScriptedFileDialogs dialogs;
    dialogs.ExpectOpen(QString::fromStdString(path.string()));
    Ui().Click("ms_1_profile_import_btn");
    PumpPending();

    ASSERT_EQ(NameOf(Record()), u"Carrier");
    MacroStore& store = *host->page.Macros();
    ASSERT_EQ(store.Count(), 3u);
    struct Expected {
        std::size_t button;
        std::u16string_view name;
        int index;
    };
    for (const Expected& expected : {Expected{0, u"burst_1", 1}, Expected{3, u"burst_2", 2}}) {
        const ButtonSlot& slot = Record().slots[expected.button];
        EXPECT_EQ(FieldText(slot.macro_name.data(), slot.macro_name.size()), expected.name);
        EXPECT_EQ(slot.macro_index, expected.index);
        const MacroRecord& macro = *store.At(static_cast<std::size_t>(expected.index));
        EXPECT_EQ(LeadingName(macro), expected.name);
        EXPECT_EQ(macro.carriedRepeatCount, slot.repeat_count);
        EXPECT_EQ(macro.actionCount, slot.action_count);
        EXPECT_EQ(std::memcmp(macro.actions.data(), slot.actions.data(), sizeof(slot.actions)), 0);
    }
    const ButtonSlot& leftMacro = Record().slots[5];
    EXPECT_EQ(std::memcmp(&leftMacro, &carrier.slots[5], sizeof(ButtonSlot)), 0)
        << "function 25 stays as read";
    EXPECT_EQ(ReadAll(folder.Path() / "Data" / "ms_1" / "macro.data").size(), 3 * sizeof(MacroRecord))
        << "the macro store is saved";
}

TEST_F(ProfileCard, ImportRefusesAFileThatIsNotExactlyOneProfileAndChangesNothing) {
    StoreProfiles({u"Work", u"Games"}, 1);
    Open();
    ScriptedFileDialogs dialogs;
    const auto shortFile = folder.Path() / "short.pro";
    const auto longFile = folder.Path() / "long.pro";
    WriteAll(shortFile, Bytes(kRecordBytes - 1, 0));
    WriteAll(longFile, Bytes(kRecordBytes + 1, 0));
    for (const auto& path : {shortFile, longFile}) {
        dialogs.ExpectOpen(QString::fromStdString(path.string()));
        answers.OnNext("MsgWnd", ExpectMessage("import_profile_invalid_text"));
        Ui().Click("ms_1_profile_import_btn");
    }
    dialogs.ExpectOpen(QString::fromStdString((folder.Path() / "gone.pro").string()));
    answers.OnNext("MsgWnd", ExpectMessage("import_profile_unreadable_text"));
    Ui().Click("ms_1_profile_import_btn");
    dialogs.ExpectOpenCancelled();
    Ui().Click("ms_1_profile_import_btn");
    PumpPending();

    EXPECT_EQ(Rows(), QStringList({"Work", "Games"}));
    ExpectListMatchesStore();
    EXPECT_EQ(Profiles().Header().selected, 1);
    EXPECT_TRUE(host->applyRequests.empty());
}

TEST_F(ProfileCard, ImportedSettingsAreBroughtIntoRangeBeforeTheyAreShown) {
    Open();
    ProfileRecord odd;
    CreateProfile(odd, u"Odd");
    odd.light_effect = 40;
    odd.brightness = 99;
    odd.dpi_step = -4;
    const auto path = folder.Path() / "odd.pro";
    WriteAll(path, Bytes(reinterpret_cast<const std::uint8_t*>(&odd),
                         reinterpret_cast<const std::uint8_t*>(&odd) + sizeof(ProfileRecord)));
    ScriptedFileDialogs dialogs;
    dialogs.ExpectOpen(QString::fromStdString(path.string()));
    Ui().Click("ms_1_profile_import_btn");
    PumpPending();

    EXPECT_EQ(NameOf(Record()), u"Odd");
    EXPECT_EQ(Record().light_effect, 0);
    EXPECT_EQ(Record().brightness, 15);
    EXPECT_EQ(Record().dpi_step, 0);
}

TEST_F(ProfileCard, ExportThatCannotWriteItsFileSaysSo) {
    Open();
    const auto blocker = folder.Path() / "blocker";
    WriteAll(blocker, Bytes(3, 1));
    ScriptedFileDialogs dialogs;
    dialogs.ExpectSave(QString::fromStdString((blocker / "work.pro").string()));
    answers.OnNext("MsgWnd", ExpectMessage("export_profile_failed_text"));
    Ui().Click("ms_1_profile_export_btn");
    PumpPending();
    EXPECT_EQ(ReadAll(blocker), Bytes(3, 1));
}

// --- With a mouse --------------------------------------------------------------------------

class ProfileCardWithMouse : public ProfileCard {
protected:
    // Opens the page with the wired mouse plugged in and awake and lets the full write that
    // loading asks for go out.
    void OpenWithAwakeMouse() {
        wired.SetOpenResult(1);
        wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
        Open();
        ASSERT_TRUE(host->page.DevicePresent());
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
    // Gives the mouse model every report written since the last call.
    void Feed() {
        const auto all = wired.Written();
        for (std::size_t i = m_fed; i < all.size(); ++i)
            mouse.Feed(all[i]);
        m_fed = all.size();
    }

    DeviceModel mouse;

private:
    std::size_t m_fed = 0;
};

TEST_F(ProfileCardWithMouse, DeletingTheSelectedProfileSendsItsNeighbourWholeAndSavesTheStore) {
    StoreProfiles({u"Work", u"Games", u"Travel"}, 1);
    OpenWithAwakeMouse();
    EXPECT_EQ(mouse.State().debounce, 11);
    const std::size_t fullWrites = mouse.State().fullWrites;

    answers.OnNext("MsgWnd", ExpectMessage("delete_profile_text"));
    Ui().Click("ms_1_profile_delete_btn");
    ASSERT_TRUE(WaitForApply());
    Feed();

    EXPECT_EQ(NameOf(Record()), u"Travel");
    EXPECT_GT(mouse.State().fullWrites, fullWrites) << "the neighbour is sent whole";
    EXPECT_EQ(mouse.State().debounce, 12) << "Travel's settings reached the mouse";
    EXPECT_EQ(wired.WritesWhileClosed(), 0);
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), kHeaderBytes + 2 * kRecordBytes) << "the apply saved the store";
    EXPECT_EQ(stored[0], 1) << "selected index";
    EXPECT_EQ(std::memcmp(stored.data() + kHeaderBytes + kRecordBytes, &Record(), sizeof(ProfileRecord)), 0);
}

}  // namespace
}  // namespace quillon::test
