#pragma once
// Where the program finds its libraries and resources, and keeps its data.
//
// Two layouts are known. Portable (the build's program folders, or a copied folder): the plugins,
// "res" and "Data" live beside the executable. Installed (`cmake --install`, the .deb): the program
// in <prefix>/bin, its plugins in <prefix>/lib/quillon, "res" in <prefix>/share/quillon, and the
// data in the user's own folder. The layout is told by where "res" is, seen from the executable,
// so a relocated prefix works. Paths come back with a trailing separator, so that file names are
// simply appended.

#include <filesystem>

namespace quillon {

// The folder the driver and hook libraries are loaded from: the executable's folder ("/opt/quillon/")
// when portable, <prefix>/lib/quillon/ when installed, or the folder a test put in its place
// (ScopedServices). Computed on each use.
std::filesystem::path ProgramFolder();

// The folder of layouts, images and the language file: "res/" beside the executable when portable,
// <prefix>/share/quillon/res/ when installed.
std::filesystem::path ResourceFolder();

// Whether the program runs from an installed layout rather than a portable folder.
bool InstalledLayout();

// Portable: ProgramFolder() + "Data/", created when missing. When that folder cannot be created or
// written (the program folder read-only, or an entry "Data" that is a file), and always when
// installed, the user's own
// $XDG_DATA_HOME/quillon/Data/ (by default ~/.local/share/quillon/Data/), also created when
// missing, so that profiles and macros are never silently lost. Computed on each use.
std::filesystem::path DataFolder();

// The user's fallback data folder: $XDG_DATA_HOME/quillon/Data/ (not created).
std::filesystem::path UserDataFolder();

}  // namespace quillon
