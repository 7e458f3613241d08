#include "device/driver_api.h"

namespace quillon {

bool DriverApi::IsComplete() const {
    return Set_VIDPID && Open_DevMonitor && Close_DevMonitor && Open_FeatureDevice && Close_FeatureDevice &&
           SetFeature && GetFeature && Open_ReportDevice && Close_ReportDevice && WriteUSB && ReadUSB;
}

DriverLibrary LoadDriverLibrary(const std::filesystem::path& path) {
    DriverLibrary library;
    library.module = Module::Load(path);
    if (!library.module) {
        library.problem = library.module.error();
        return library;
    }
    Module& m = library.module;
    DriverApi api;
    api.Set_VIDPID = m.Resolve<Set_VIDPID_Fn>("Set_VIDPID");
    api.Open_DevMonitor = m.Resolve<Open_DevMonitor_Fn>("Open_DevMonitor");
    api.Close_DevMonitor = m.Resolve<Close_DevMonitor_Fn>("Close_DevMonitor");
    api.Open_FeatureDevice = m.Resolve<Open_FeatureDevice_Fn>("Open_FeatureDevice");
    api.Close_FeatureDevice = m.Resolve<Close_FeatureDevice_Fn>("Close_FeatureDevice");
    api.SetFeature = m.Resolve<SetFeature_Fn>("SetFeature");
    api.GetFeature = m.Resolve<GetFeature_Fn>("GetFeature");
    api.Open_ReportDevice = m.Resolve<Open_ReportDevice_Fn>("Open_ReportDevice");
    api.Close_ReportDevice = m.Resolve<Close_ReportDevice_Fn>("Close_ReportDevice");
    api.WriteUSB = m.Resolve<WriteUSB_Fn>("WriteUSB");
    api.ReadUSB = m.Resolve<ReadUSB_Fn>("ReadUSB");
    api.Get_OpenError = m.Resolve<Get_OpenError_Fn>("Get_OpenError");
    if (!api.IsComplete()) {
        // A half table would open a link the program cannot drive; treat it as no library.
        library.problem = "missing export in " + path.string();
        library.module.Free();
        return library;
    }
    library.api = api;
    return library;
}

}  // namespace quillon
