#include "platform/module.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace quillon;

namespace {

struct Unloadable {
    const char* what;
    std::filesystem::path path;
};

class ModuleLoadFailure : public ::testing::TestWithParam<Unloadable> {};

// Whatever sits (or does not sit) at a plugin's path, loading reports it and nothing crashes.
TEST_P(ModuleLoadFailure, IsReportedNotFatal) {
    Module module = Module::Load(GetParam().path);
    EXPECT_FALSE(module.IsLoaded());
    EXPECT_FALSE(module.Error().empty());
    EXPECT_EQ(module.Symbol("Open_ReportDevice"), nullptr);
    module.Free();
}

std::filesystem::path TextFile() {
    const auto path = std::filesystem::temp_directory_path() / "quillon-module-test-not-a-library.so";
    std::ofstream(path) << "not a shared library\n";
    return path;
}

void PrintTo(const Unloadable& value, std::ostream* out) {
    *out << value.what;
}

std::string CaseName(const ::testing::TestParamInfo<Unloadable>& param) {
    return param.param.what;
}

INSTANTIATE_TEST_SUITE_P(Paths, ModuleLoadFailure,
                         ::testing::Values(Unloadable{"missing", "/nonexistent/hiddriver_4k_1.so"},
                                           Unloadable{"folder", std::filesystem::temp_directory_path()},
                                           Unloadable{"text", TextFile()}, Unloadable{"empty", ""},
                                           // Must not be looked up in the system's library folders.
                                           Unloadable{"bare", "libc.so.6"}),
                         CaseName);

TEST(Module, ResolvesPresentExportsAndNullForMissingOnes) {
    Module plugin = Module::Load(QUILLON_POST_PLUGIN);
    ASSERT_TRUE(plugin) << plugin.Error();
    EXPECT_NE(plugin.Symbol("PostFromThread"), nullptr);
    EXPECT_EQ(plugin.Symbol("Get_OpenError"), nullptr);
    EXPECT_FALSE(plugin.Error().empty());
    EXPECT_EQ(plugin.Symbol(nullptr), nullptr);

    Module moved = std::move(plugin);
    EXPECT_FALSE(plugin.IsLoaded());
    EXPECT_NE(moved.Symbol("PostFromThread"), nullptr);
    moved.Free();
    EXPECT_EQ(moved.Symbol("PostFromThread"), nullptr);
}

}  // namespace
