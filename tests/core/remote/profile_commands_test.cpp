// The command line's commands over a real store on disk, with the mouse's side faked: what they
// print, what they change in the list and in the files, and what they ask the host to send.
#include "core/remote/profile_commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "core/records/profile_json.h"
#include "core/store/store_bytes.h"
#include "core/text16.h"

namespace quillon {
namespace {

class FakeHost final : public CommandHost {
public:
    explicit FakeHost(const std::filesystem::path& data) : profiles(std::make_unique<ProfileStore>(data)) {
        (void)profiles.Load(u"Profile");
    }
    ProfileState& Profiles() override { return profiles; }
    MouseStatus Status() override { return status; }
    Delivery Changed(Change change) override {
        changes.push_back(change);
        EXPECT_EQ(profiles.Save(), WriteStatus::Written);
        return delivery;
    }

    ProfileState profiles;
    MouseStatus status;
    Delivery delivery = Delivery::Sent;
    std::vector<Change> changes;
};

class ProfileCommandsTest : public ::testing::Test {
protected:
    std::filesystem::path Data() const { return m_folder.Path() / "Data"; }
    std::filesystem::path File(const char* name) const { return m_folder.Path() / name; }
    CommandReply Run(std::string command, std::vector<std::string> args = {}, bool json = false) {
        return RunProfileCommand({std::move(command), std::move(args), json}, m_host);
    }
    // A second profile named "Game", saved.
    void AddGame() {
        auto record = std::make_unique<ProfileRecord>();
        CreateProfile(*record, u"Game");
        m_host.profiles.List().push_back(std::move(record));
        ASSERT_EQ(m_host.profiles.Save(), WriteStatus::Written);
    }
    // The store as the next start reads it.
    ProfileState Reloaded() const {
        ProfileState state(std::make_unique<ProfileStore>(Data()));
        (void)state.Load(u"Profile");
        return state;
    }

    test::TemporaryFolder m_folder;
    FakeHost m_host{Data()};
};

TEST_F(ProfileCommandsTest, SelectTakesANameInAnyCaseOrANumberAndAsksForTheWholeProfileToGoOut) {
    AddGame();
    CommandReply reply = Run("select", {"GAME"});
    EXPECT_EQ(reply.exit, kExitDone) << reply.error;
    EXPECT_EQ(reply.output, "selected 2: Game\n");
    EXPECT_EQ(m_host.changes, std::vector{CommandHost::Change::Selected});
    EXPECT_EQ(Reloaded().Header().selected, 1);

    reply = Run("select", {"1"});
    EXPECT_EQ(reply.exit, kExitDone);
    EXPECT_EQ(Reloaded().Header().selected, 0);

    EXPECT_EQ(Run("list").output, "* 1  Profile1\n  2  Game\n");

    // The mouse was not there: the selection is kept, and the caller learns it.
    m_host.delivery = CommandHost::Delivery::NoMouse;
    reply = Run("select", {"game"});
    EXPECT_EQ(reply.exit, kExitNoMouse);
    EXPECT_NE(reply.error.find("no mouse is awake"), std::string::npos) << reply.error;
    EXPECT_EQ(Reloaded().Header().selected, 1);
}

TEST_F(ProfileCommandsTest, SetChangesAllOfItsSettingsOrNoneAndSendsOnlyRealChanges) {
    const ProfileRecord before = *m_host.profiles.Selected();
    CommandReply reply = Run("set", {"dpi.3=1600", "polling=2000", "light.effect=wave"});
    EXPECT_EQ(reply.exit, kExitRefused);
    EXPECT_EQ(reply.error, "set: light.effect: unknown effect 'wave'\n");
    EXPECT_EQ(std::memcmp(&before, m_host.profiles.Selected(), sizeof before), 0)
        << "a refused set changes nothing";
    EXPECT_TRUE(m_host.changes.empty());

    reply = Run("set", {"dpi.3=1650", "polling=2000", "light.effect=breathing"});
    EXPECT_EQ(reply.exit, kExitDone) << reply.error;
    EXPECT_EQ(reply.output, "dpi.3 = 1650\npolling = 2000\nlight.effect = breathing\n");
    const ProfileState saved = Reloaded();
    EXPECT_EQ(saved.Selected()->dpi_x[2], 33);
    EXPECT_EQ(saved.Selected()->prate, 4);
    EXPECT_EQ(m_host.changes, std::vector{CommandHost::Change::Edited});

    // Setting what is there already sends nothing.
    EXPECT_EQ(Run("set", {"dpi.3=1650"}).exit, kExitDone);
    EXPECT_EQ(m_host.changes.size(), 1u);
}

TEST_F(ProfileCommandsTest, RefusedInputsSayWhatWasWrong) {
    AddGame();
    std::ofstream(File("short.pro")) << "not a profile";
    std::ofstream(File("bad.json")) << R"({"dpi": {"stages": [{"dpi": 333}]}})";
    const struct {
        std::string command;
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {"jump", {}, "unknown command 'jump' (see quillon-cli --help)"},
        {"select", {"Nope"}, "select: no profile 'Nope'"},
        {"select", {"3"}, "select: no profile '3'"},
        {"select", {}, "select: takes one profile"},
        {"show", {"1", "2"}, "show: takes at most one profile"},
        {"set", {"dpi.3"}, "set: 'dpi.3' is not KEY=VALUE"},
        {"set", {"sensor.x=1"}, "set: sensor.x: unknown setting"},
        {"set", {"dpi.9=800"}, "set: dpi.9: no such entry"},
        {"export",
         {"Game", File("game.txt").string()},
         "export: " + File("game.txt").string() + ": the file name ends in neither .json nor .pro"},
        {"export",
         {"Game", (m_folder.Path() / "no" / "such" / "x.pro").string() + "/"},
         "export: " + (m_folder.Path() / "no" / "such" / "x.pro").string() + "/" +
             ": the file name ends in neither .json nor .pro"},
        {"import",
         {File("missing.json").string()},
         "import: " + File("missing.json").string() + ": no such file"},
        {"import",
         {File("short.pro").string()},
         "import: " + File("short.pro").string() + ": not a profile file (13 bytes, a profile has 101536)"},
        {"import",
         {File("bad.json").string()},
         "import: " + File("bad.json").string() + ": dpi.stages.1.dpi: must be a multiple of 50"},
    };
    for (const auto& c : cases) {
        const CommandReply reply = Run(c.command, c.args);
        EXPECT_EQ(reply.exit, kExitRefused) << c.command;
        EXPECT_EQ(reply.error, c.error + "\n");
        EXPECT_EQ(reply.output, "");
    }
    EXPECT_EQ(m_host.profiles.List().size(), 2u);
    EXPECT_TRUE(m_host.changes.empty());
}

TEST_F(ProfileCommandsTest, ExportedProfilesImportUnderAFreeNameInBothFormats) {
    ASSERT_EQ(Run("set", {"dpi.2=1200", "name=Aim"}).exit, kExitDone);
    const ProfileRecord original = *m_host.profiles.Selected();

    ASSERT_EQ(Run("export", {"aim", File("aim.pro").string()}).exit, kExitDone);
    ASSERT_EQ(Run("export", {"1", File("aim.json").string()}).exit, kExitDone);
    const test::Bytes raw = test::ReadAll(File("aim.pro"));
    ASSERT_EQ(raw.size(), sizeof(ProfileRecord));
    EXPECT_EQ(std::memcmp(raw.data(), &original, sizeof original), 0) << "a .pro file is the record's bytes";

    CommandReply reply = Run("import", {File("aim.pro").string()});
    EXPECT_EQ(reply.output, "imported " + File("aim.pro").string() + " as 2: Aim_1\n");
    reply = Run("import", {File("aim.json").string()}, true);
    EXPECT_EQ(reply.output, "{\"imported\":3,\"name\":\"Aim_2\"}\n");

    const ProfileState saved = Reloaded();
    ASSERT_EQ(saved.List().size(), 3u);
    EXPECT_EQ(saved.Header().selected, 0) << "an import does not change the selection";
    for (std::size_t i : {1u, 2u}) {
        ProfileRecord renamed = *saved.List()[i];
        renamed.profile_name = original.profile_name;
        EXPECT_EQ(std::memcmp(&renamed, &original, sizeof original), 0) << "profile " << i + 1;
    }
    EXPECT_EQ(m_host.changes.back(), CommandHost::Change::Added);
}

TEST_F(ProfileCommandsTest, StatusTellsWhetherAMouseIsThere) {
    CommandReply reply = Run("status");
    EXPECT_EQ(reply.exit, kExitNoMouse);
    EXPECT_NE(reply.error.find("no mouse"), std::string::npos);

    m_host.status.wirelessOpen = m_host.status.wirelessAwake = true;
    m_host.status.battery = 55;
    reply = Run("status", {}, true);
    EXPECT_EQ(reply.exit, kExitDone);
    EXPECT_NE(reply.output.find("\"battery\": 55"), std::string::npos) << reply.output;
    EXPECT_NE(reply.output.find("\"dpi\": 800"), std::string::npos) << reply.output;
}

TEST_F(ProfileCommandsTest, ShowListsEveryKeyThatSetTakes) {
    // A shortcut with modifiers and a macro, whose lists show as lists.
    ASSERT_TRUE(SetProfileSetting(*m_host.profiles.Selected(), "buttons.5.function", "shortcut").ok);
    const char* keys =
        R"({"buttons": {"5": {"function": "shortcut", "key": "C", "modifiers": ["ctrl", "alt"]},
        "6": {"function": "macro", "macro": {"name": "Burst", "actions": [{"key": "A", "action": "down",
        "delay_ms": 10}, {"key": "A", "action": "up", "delay_ms": 20}]}}}})";
    ASSERT_TRUE(ProfileFromJson(keys, *m_host.profiles.Selected()).ok);
    const CommandReply reply = Run("show");
    ASSERT_EQ(reply.exit, kExitDone);
    std::istringstream lines(reply.output);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "profile 1 (selected)");
    int count = 0;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.find(" = ");
        ASSERT_NE(equals, std::string::npos) << line;
        // Every shown line set back as it stands is accepted and changes nothing.
        const std::string argument = line.substr(0, equals) + "=" + line.substr(equals + 3);
        const CommandReply set = Run("set", {argument});
        EXPECT_EQ(set.exit, kExitDone) << argument << ": " << set.error;
        ++count;
    }
    EXPECT_GT(count, 50);
    EXPECT_NE(reply.output.find("buttons.5.modifiers = [\"ctrl\",\"alt\"]\n"), std::string::npos)
        << reply.output;
    EXPECT_NE(reply.output.find("buttons.6.macro.actions.2.delay_ms = 20\n"), std::string::npos);
    EXPECT_TRUE(m_host.changes.empty()) << "showing and setting the same values sends nothing";
}

}  // namespace
}  // namespace quillon
