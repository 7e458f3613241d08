#pragma once
// A fresh copy of the demo program folder for tests that start the built programs as processes:
// its own Data/ (empty), res/ linked to the source tree, its own runtime folder (so the
// single-instance lock and socket are the test's own) and an environment that runs offscreen and
// carries none of the caller's simulated-mouse settings.

#include <QProcessEnvironment>
#include <QString>

#include <filesystem>
#include <initializer_list>

namespace quillon::test {

struct DemoCopy {
    std::filesystem::path folder;   // <root>/demo
    std::filesystem::path runtime;  // <root>/run, mode 0700
    QProcessEnvironment environment;
};

// Copies `files` from the build's demo program folder into <root>/demo.
inline DemoCopy CopyDemoFolder(const std::filesystem::path& root, std::initializer_list<const char*> files) {
    namespace fs = std::filesystem;
    DemoCopy copy;
    copy.folder = root / "demo";
    fs::create_directories(copy.folder);
    for (const char* file : files)
        fs::copy_file(fs::path(QUILLON_DEMO_FOLDER) / file, copy.folder / file);
    fs::create_directory_symlink(fs::path(QUILLON_SOURCE_DIR) / "res", copy.folder / "res");
    copy.runtime = root / "run";
    fs::create_directories(copy.runtime);
    fs::permissions(copy.runtime, fs::perms::owner_all, fs::perm_options::replace);

    copy.environment = QProcessEnvironment::systemEnvironment();
    copy.environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(copy.runtime.string()));
    copy.environment.insert("QT_QPA_PLATFORM", "offscreen");
    for (const char* variable :
         {"QUILLON_SIM_SOCKET_DIR", "QUILLON_SIM_LINKS", "QUILLON_SIM_LOG", "QUILLON_STARTUP_MARK"})
        copy.environment.remove(variable);
    return copy;
}

}  // namespace quillon::test
