#pragma once
// The operations of the input-hook library (Hook.so), resolved by name when the main window starts.
//
// The library reports global key and mouse-button events as window message 1034 to the window given
// to `installhook`, which returns 1 when the library can listen and 0 when it cannot (no X11
// display reachable, as in a Wayland session without XWayland): callers then know that no event
// will come and can say so. The main window loads it and fills this table; the settings page, the macro
// editor and the shortcut dialog receive a pointer to the table and call what they need. Any entry
// may be null (no library, or a library without that export) and is then never called.

#include "quillon/host_api.h"

namespace quillon {

// The hook event message: WM_USER + 10.

struct HookOps {
    void (*installmousehook)() = nullptr;
    void (*removemousehook)() = nullptr;
    void (*enablemousehook)(int enable) = nullptr;
    int (*installhook)(QuillonWindow window) = nullptr;
    void (*removehook)() = nullptr;
    void (*enablehook)(int enable) = nullptr;
    void (*mousewheelenable)(int enable) = nullptr;
};

// The export names, in the order the table lists them.
inline constexpr const char* kHookExportNames[7] = {"installmousehook", "removemousehook", "enablemousehook",
                                                    "installhook",      "removehook",      "enablehook",
                                                    "mousewheelenable"};

}  // namespace quillon
