#pragma once
// A temporary program folder: what the executable's folder is to the running program (plugins,
// "res", "Data"), made the program folder of this process for the object's lifetime.
//
//     TempProgramFolder folder(QUILLON_SOURCE_DIR "/res");   // res/ links to the source tree's
//     folder.CopyIn(pluginPath, "Hook.so");                  // a plugin beside the "executable"
//     CMainWnd window; window.Create(...);                   // loads main.xml, Hook.so from there
//     folder.DataFolder();                                    // <folder>/Data/
//
// ProgramFolder() and the UI library's resource folder both point into the folder; the folder
// and everything in it are removed at the end.

#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <string>

#include "platform/services.h"

namespace quillon::test {

class TempProgramFolder {
public:
    // `resources` is the folder that "res" links to; empty leaves the folder without one.
    explicit TempProgramFolder(const std::filesystem::path& resources);
    ~TempProgramFolder();
    TempProgramFolder(const TempProgramFolder&) = delete;
    TempProgramFolder& operator=(const TempProgramFolder&) = delete;

    // The folder, with a trailing separator as ProgramFolder() gives it.
    std::filesystem::path path() const;
    std::filesystem::path DataFolder() const { return path() / "Data"; }
    // Copies `file` into the folder, under `name` when one is given.
    std::filesystem::path CopyIn(const std::filesystem::path& file, const std::string& name = {}) const;

private:
    QTemporaryDir m_dir;
    QString m_previousResourcePath;
    ScopedServices* m_services = nullptr;
};

}  // namespace quillon::test
