#include "device/driver_api.h"

#include <QtGlobal>

namespace quillon {

bool DriverApi::IsComplete() const {
    return Set_VIDPID && Open_DevMonitor && Close_DevMonitor && Open_FeatureDevice && Close_FeatureDevice &&
           SetFeature && GetFeature && Open_ReportDevice && Close_ReportDevice && WriteUSB && ReadUSB;
}

namespace {

// Why a driver library cannot be used goes to the log: its link then never opens, and without
// this line nobody could tell a missing plugin from a mouse that is not there.
void LogProblem(const DriverLibrary& library, const std::filesystem::path& path) {
    qWarning("quillon: driver library %s not usable: %s", path.c_str(), library.problem.c_str());
}

}  // namespace

DriverLibrary LoadDriverLibrary(const std::filesystem::path& path) {
    DriverLibrary library;
    library.module = Module::Load(path);
    if (!library.module) {
        library.problem = library.module.Error();
        LogProblem(library, path);
        return library;
    }
    Module& m = library.module;
    DriverApi api;
    std::string missing;
    auto resolve = [&]<typename Function>(Function& slot, const char* name, bool required = true) {
        slot = m.Resolve<Function>(name);
        if (slot == nullptr && required)
            missing += missing.empty() ? name : std::string(", ") + name;
    };
    resolve(api.Set_VIDPID, "Set_VIDPID");
    resolve(api.Open_DevMonitor, "Open_DevMonitor");
    resolve(api.Close_DevMonitor, "Close_DevMonitor");
    resolve(api.Open_FeatureDevice, "Open_FeatureDevice");
    resolve(api.Close_FeatureDevice, "Close_FeatureDevice");
    resolve(api.SetFeature, "SetFeature");
    resolve(api.GetFeature, "GetFeature");
    resolve(api.Open_ReportDevice, "Open_ReportDevice");
    resolve(api.Close_ReportDevice, "Close_ReportDevice");
    resolve(api.WriteUSB, "WriteUSB");
    resolve(api.ReadUSB, "ReadUSB");
    resolve(api.Get_OpenError, "Get_OpenError", false);
    if (!api.IsComplete()) {
        // A half table would open a link the program cannot drive; treat it as no library.
        library.problem = "it lacks the export(s) " + missing;
        LogProblem(library, path);
        library.module.Free();
        return library;
    }
    library.api = api;
    return library;
}

}  // namespace quillon
