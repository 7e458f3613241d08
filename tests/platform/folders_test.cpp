#include "platform/folders.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "platform/services.h"

using namespace quillon;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class FoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root =
            fs::temp_directory_path() / ("quillon-folders-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root / "program");
        fs::create_directories(m_root / "xdg");
    }
    void TearDown() override {
        fs::permissions(m_root / "program", fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(m_root);
    }
    fs::path m_root;
};

TEST_F(FoldersTest, ProgramFolderIsTheExecutablesFolder) {
    const fs::path folder = ProgramFolder();
    EXPECT_EQ(folder.native().back(), '/');
    EXPECT_TRUE(fs::equivalent(folder, fs::path(QUILLON_BINARY_DIR) / "tests" / "platform"));
}

TEST_F(FoldersTest, DataFolderIsCreatedBesideTheProgram) {
    ScopedServices program({.programFolder = m_root / "program"});
    EXPECT_EQ(ProgramFolder(), m_root / "program/");
    ScopedEnv xdg("XDG_DATA_HOME", (m_root / "xdg").c_str());

    const fs::path data = DataFolder();
    EXPECT_EQ(data, m_root / "program" / "Data/");
    EXPECT_TRUE(fs::is_directory(data));
    std::ofstream(data / "kept") << "x";
    EXPECT_EQ(DataFolder(), data);
    EXPECT_TRUE(fs::exists(data / "kept"));
    EXPECT_FALSE(fs::exists(m_root / "xdg" / "quillon"));
}

// Installed below a prefix (also a relocated one in the user's home, where bin/ is writable), the
// program loads its plugins from lib/quillon, its layouts from share/quillon/res, and never writes
// its data beside itself.
TEST_F(FoldersTest, InstalledLayoutIsFoundRelativeToTheProgram) {
    const fs::path prefix = m_root / "prefix";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "lib" / "quillon");
    fs::create_directories(prefix / "share" / "quillon" / "res");
    ScopedServices program({.programFolder = prefix / "bin"});
    ScopedEnv xdg("XDG_DATA_HOME", (m_root / "xdg").c_str());

    EXPECT_TRUE(InstalledLayout());
    EXPECT_EQ(ProgramFolder(), prefix / "lib" / "quillon/");
    EXPECT_EQ(ResourceFolder(), prefix / "share" / "quillon" / "res/");
    EXPECT_EQ(DataFolder(), m_root / "xdg" / "quillon" / "Data/");
    EXPECT_FALSE(fs::exists(prefix / "bin" / "Data"));

    // A res/ beside the executable makes the folder portable again, whatever else is around.
    fs::create_directories(prefix / "bin" / "res");
    EXPECT_FALSE(InstalledLayout());
    EXPECT_EQ(ProgramFolder(), prefix / "bin/");
    EXPECT_EQ(ResourceFolder(), prefix / "bin" / "res/");
    EXPECT_EQ(DataFolder(), prefix / "bin" / "Data/");
}

struct Unwritable {
    const char* what;
    void (*prepare)(const fs::path& root);
    const char* programFolder;  // below root
    bool needsNonRoot;
};

class DataFolderFallback : public FoldersTest, public ::testing::WithParamInterface<Unwritable> {};

// When the program's own folder cannot hold the data, the data goes to the user's folder rather
// than being lost on every save.
TEST_P(DataFolderFallback, UsesTheUsersDataFolder) {
    if (GetParam().needsNonRoot && geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    GetParam().prepare(m_root);
    ScopedServices program({.programFolder = m_root / GetParam().programFolder});
    ScopedEnv xdg("XDG_DATA_HOME", (m_root / "xdg").c_str());

    const fs::path data = DataFolder();
    EXPECT_EQ(data, m_root / "xdg" / "quillon" / "Data/");
    EXPECT_TRUE(fs::is_directory(data));
}

void PrintTo(const Unwritable& value, std::ostream* out) {
    *out << value.what;
}

std::string CaseName(const ::testing::TestParamInfo<Unwritable>& param) {
    return param.param.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataFolderFallback,
    ::testing::Values(
        Unwritable{"DataIsAFile",
                   [](const fs::path& root) { std::ofstream(root / "program" / "Data") << "x"; }, "program",
                   false},
        Unwritable{"ProgramFolderBelowAFile",
                   [](const fs::path& root) { std::ofstream(root / "file") << "x"; }, "file/program", false},
        Unwritable{"ReadOnlyProgramFolder",
                   [](const fs::path& root) {
                       fs::permissions(root / "program", fs::perms::owner_read | fs::perms::owner_exec);
                   },
                   "program", true},
        Unwritable{"ReadOnlyDataFolder",
                   [](const fs::path& root) {
                       fs::create_directories(root / "program" / "Data");
                       fs::permissions(root / "program" / "Data",
                                       fs::perms::owner_read | fs::perms::owner_exec);
                   },
                   "program", true}),
    CaseName);

TEST_F(FoldersTest, UserDataFolderFollowsXdgDataHomeOrHome) {
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/srv/data");
        EXPECT_EQ(UserDataFolder(), fs::path("/srv/data/quillon/Data/"));
    }
    ScopedEnv home("HOME", "/home/someone");
    for (const char* invalid : {static_cast<const char*>(nullptr), "", "relative/data"}) {
        ScopedEnv xdg("XDG_DATA_HOME", invalid);
        EXPECT_EQ(UserDataFolder(), fs::path("/home/someone/.local/share/quillon/Data/"))
            << (invalid ? invalid : "(unset)");
    }
}

}  // namespace
