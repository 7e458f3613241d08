// What the user is told when the profiles on disk are at stake: a store that was damaged and
// repaired at start-up, and saves that the system refuses.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/page/page_fixture.h"
#include "core/protocol/device_model.h"

namespace quillon::test {
namespace {

QString Text(const char* key) {
    return CResourceManager::GetInstance()->GetText(QString::fromLatin1(key));
}

QString PathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

class ProfileStoreNotices : public PageFixture {
protected:
    std::filesystem::path StoreFile() const { return folder.Path() / "Data" / "ms_1" / "pro.data"; }
    std::filesystem::path StoreFileWith(const char* suffix) const {
        std::filesystem::path path = StoreFile();
        path += suffix;
        return path;
    }

    // The next message box: its text is kept in `told`, and it is closed with OK.
    void ExpectBox() {
        answers.OnNext("MsgWnd", [this](UiDriver& box) {
            // The box may break a path after its slashes (with zero-width spaces); read it whole.
            told.push_back(box.Text("warning").remove(QChar(0x200B)));
            box.Click("btn_ok");
        });
    }

    // Opens the page with the wired mouse plugged in and awake, and lets the full write that
    // loading asks for go out.
    void OpenWithAwakeMouse() {
        wired.SetOpenResult(1);
        wireless.SetOpenResult(0, QUILLON_OPEN_NOT_FOUND);
        Open();
        ASSERT_TRUE(wired.SendReport(MakePowerStatus(1, 80)));
        PumpPending();
        Ui().Click("ms_1_apply_btn");
        ASSERT_TRUE(WaitForApply());
        OpenSection("ms_1_check_dpi");
    }

    // Moves the first stage's slider, applies, and lets the apply (and its save) run.
    void EditAndApply(int value) {
        Ui().MoveSlider("ms_1_slider_dpi_1", value);
        Ui().Click("ms_1_apply_btn");
        ASSERT_TRUE(WaitForApply());
        Profiles().FlushSaves();
        PumpPending();
    }

    bool WaitForApply() {
        return PumpUntil([&] {
            time.RunDue();
            return std::memcmp(&Profiles().AppliedCopy(), &Record(), sizeof(ProfileRecord)) == 0 &&
                   !Profiles().full_write_pending();
        });
    }

    std::vector<QString> told;
};

TEST_F(ProfileStoreNotices, DamagedStoreIsRepairedAndTheUserToldWhereTheDamagedFileIsKept) {
    // An earlier damaged start left its backup; this one must not replace it.
    const Bytes earlier(5000, 0x11);
    WriteAll(StoreFileWith(".bak"), earlier);
    const Bytes damaged(1000, 0x22);
    WriteAll(StoreFile(), damaged);

    ExpectBox();
    Open();
    PumpPending();

    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0],
              Text("store_repaired_text").replace(QStringLiteral("%1"), PathText(StoreFileWith(".bak.1"))));
    EXPECT_TRUE(ReadAll(StoreFileWith(".bak")) == earlier);
    EXPECT_TRUE(ReadAll(StoreFileWith(".bak.1")) == damaged);
    EXPECT_EQ(Ui().RowCount("ms_1_list_profile"), 1) << "a default profile stands in";
}

TEST_F(ProfileStoreNotices, DamagedMacroStoreIsToldWithItsBackup) {
    const Bytes damaged(100, 0x33);  // not even one whole macro
    WriteAll(folder.Path() / "Data" / "ms_1" / "macro.data", damaged);

    ExpectBox();
    Open();
    PumpPending();

    const std::filesystem::path backup = folder.Path() / "Data" / "ms_1" / "macro.data.bak";
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], Text("macro_store_repaired_text").replace(QStringLiteral("%1"), PathText(backup)));
    EXPECT_TRUE(ReadAll(backup) == damaged);
}

TEST_F(ProfileStoreNotices, FirstStartTellsNothing) {
    Open();
    PumpPending();
    EXPECT_TRUE(answers.Opened().empty());
    EXPECT_TRUE(std::filesystem::exists(StoreFile()));
}

// A full disk or a folder that went read-only: the user hears of it at the first failed save,
// not at every apply after it, and again once saving had worked in between.
TEST_F(ProfileStoreNotices, FailedSaveIsToldOnceUntilSavingWorksAgain) {
    OpenWithAwakeMouse();
    ASSERT_TRUE(answers.Opened().empty());
    Profiles().FlushSaves();  // the start-up's full write has been saved

    // The temporary file's name is taken by a folder: the system refuses to create it.
    const std::filesystem::path blocker = StoreFileWith(".tmp");
    std::filesystem::create_directory(blocker);
    ExpectBox();
    EditAndApply(20);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0],
              Text("save_failed_text")
                  .replace(QStringLiteral("%1"), PathText(StoreFile()))
                  .replace(QStringLiteral("%2"),
                           QStringLiteral("the temporary file could not be created: Is a directory")));

    EditAndApply(21);  // no second box: an unanswered one would fail the test
    EXPECT_EQ(told.size(), 1u);

    std::filesystem::remove(blocker);
    EditAndApply(22);
    StoreHeader header{};
    ProfileList list;
    ASSERT_EQ(ProfileStore(folder.Path() / "Data").Load(list, header, u"Profile").outcome,
              LoadOutcome::Loaded);
    EXPECT_EQ(list.at(0)->dpi_x[0], 22) << "the save after the failures has every edit";

    std::filesystem::create_directory(blocker);
    ExpectBox();
    EditAndApply(23);
    EXPECT_EQ(told.size(), 2u);
    std::filesystem::remove(blocker);
}

}  // namespace
}  // namespace quillon::test
