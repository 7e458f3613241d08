#pragma once
// The input-hook library "Hook.so" beside the executable, loaded by the main window at start-up.
//
// Its seven operations are looked up by name into a HookOps table that the main window hands to
// the settings page, the macro editor and the shortcut dialog. The library is optional: without it
// (or without some of its exports) the table keeps nulls, which callers never call, and the program
// runs normally with macro recording and key capture receiving no events.

#include <filesystem>
#include <string>

#include "platform/hook_ops.h"
#include "platform/module.h"

namespace quillon {

inline constexpr const char* kHookLibraryFile = "Hook.so";

class HookLibrary {
public:
    HookLibrary() = default;
    ~HookLibrary() { Release(); }
    HookLibrary(const HookLibrary&) = delete;
    HookLibrary& operator=(const HookLibrary&) = delete;

    // Loads `folder`/Hook.so and fills `ops` with the operations it exports; the others stay null.
    // Returns false (and leaves `ops` all null) when the library cannot be loaded.
    [[nodiscard]] bool Load(const std::filesystem::path& folder, HookOps& ops);

    // Removes the hooks the library may have installed ("removemousehook", then "removehook"),
    // empties `ops` so that nothing calls into the library any more, and unloads it. Does nothing
    // when the library was never loaded.
    void Release(HookOps& ops);

    bool IsLoaded() const { return m_module.IsLoaded(); }
    // Why the last load failed, as the system's loader put it.
    const std::string& Error() const { return m_module.Error(); }

private:
    void Release() { m_module.Free(); }
    Module m_module;
};

}  // namespace quillon
