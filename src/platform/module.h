#pragma once
// Libraries loaded at run time by path, and their exports looked up by name: the driver and hook
// plugins. A library that is missing or cannot be loaded, and an export it lacks, come back as
// null with the reason; nothing here ever ends the program.
//
//     Module driver = Module::Load(ProgramFolder() / "hiddriver_4k_1.so");
//     auto open = driver.Resolve<Open_ReportDevice_Fn>("Open_ReportDevice"); // null when missing
//
// The library stays loaded as long as its Module lives; functions resolved from it must not be
// called afterwards.

#include <filesystem>
#include <string>

namespace quillon {

class Module {
public:
    Module() = default;
    ~Module();
    Module(Module&& other) noexcept;
    Module& operator=(Module&& other) noexcept;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // Loads the library at `path` (a relative path counts from the working folder; the system's
    // library folders are never searched) with all its symbols bound at once, so that a library
    // with an unresolvable symbol fails here rather than when a function is first called.
    [[nodiscard]] static Module Load(const std::filesystem::path& path);

    bool IsLoaded() const { return m_handle != nullptr; }
    explicit operator bool() const { return IsLoaded(); }
    // Why loading or the last lookup failed, as the system's loader put it.
    const std::string& Error() const { return m_error; }

    // The address of the export `name`, or null when the library is not loaded or lacks it.
    void* Symbol(const char* name);
    template <typename Function> Function Resolve(const char* name) {
        return reinterpret_cast<Function>(Symbol(name));
    }

    // Unloads the library now.
    void Free();

private:
    void* m_handle = nullptr;
    std::string m_error;
};

}  // namespace quillon
