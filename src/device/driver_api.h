#pragma once
// The driver libraries as the program sees them: one table of the eleven exports per library copy,
// resolved by name from hiddriver_4k_1.so (wired mouse) and hiddriver_4k_2.so (2.4 GHz receiver)
// in the program folder.
//
// A library that is missing, fails to load or lacks any of the eleven exports leaves its table
// empty, and its link is simply never open. The optional Get_OpenError export is looked up beside
// them; it tells "no mouse" apart from "a mouse this user may not open".

#include <filesystem>
#include <string>

#include "platform/module.h"
#include "quillon/driver_abi.h"

namespace quillon {

inline constexpr const char* kWiredDriverFile = "hiddriver_4k_1.so";
inline constexpr const char* kWirelessDriverFile = "hiddriver_4k_2.so";

struct DriverApi {
    Set_VIDPID_Fn Set_VIDPID = nullptr;
    Open_DevMonitor_Fn Open_DevMonitor = nullptr;
    Close_DevMonitor_Fn Close_DevMonitor = nullptr;
    Open_FeatureDevice_Fn Open_FeatureDevice = nullptr;
    Close_FeatureDevice_Fn Close_FeatureDevice = nullptr;
    SetFeature_Fn SetFeature = nullptr;
    GetFeature_Fn GetFeature = nullptr;
    Open_ReportDevice_Fn Open_ReportDevice = nullptr;
    Close_ReportDevice_Fn Close_ReportDevice = nullptr;
    WriteUSB_Fn WriteUSB = nullptr;
    ReadUSB_Fn ReadUSB = nullptr;
    // Optional: null when the library does not offer it.
    Get_OpenError_Fn Get_OpenError = nullptr;

    // True when all eleven exports are there (the optional one does not count).
    bool IsComplete() const;
};

// One loaded library copy and its table. The table is only valid while `module` stays loaded.
struct DriverLibrary {
    Module module;
    DriverApi api;
    // Why the table is empty: the loader's message or the names of the missing exports.
    std::string problem;
};

// Loads the library at `path` and resolves its table. On any failure the library is released again,
// the table left empty, and the problem logged with the library's path.
[[nodiscard]] DriverLibrary LoadDriverLibrary(const std::filesystem::path& path);

}  // namespace quillon
