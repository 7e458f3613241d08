#pragma once
// Where the program finds its libraries and resources, and keeps its data.
//
// The program is portable: its plugins, "res" and its data live beside the executable. Paths come
// back with a trailing separator, so that file names are simply appended.

#include <filesystem>

namespace quillon {

// The executable's folder ("/opt/quillon/"), or the folder a test put in its place
// (ScopedServices). Computed on each use.
std::filesystem::path ProgramFolder();

// ProgramFolder() + "Data/", created when missing. When that folder cannot be created or written
// (the program installed read-only, or an entry "Data" that is a file), the user's own
// $XDG_DATA_HOME/quillon/Data/ (by default ~/.local/share/quillon/Data/), also created when
// missing, so that profiles and macros are never silently lost. Computed on each use.
std::filesystem::path DataFolder();

// The user's fallback data folder: $XDG_DATA_HOME/quillon/Data/ (not created).
std::filesystem::path UserDataFolder();

}  // namespace quillon
