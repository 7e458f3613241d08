// The C exports of the simulated mouse: the same eleven (and Get_OpenError) as the real driver,
// so the program cannot tell the demo folder from the real one.

#include <dlfcn.h>

#include <filesystem>

#include "quillon/driver_abi.h"
#include "sim_driver.h"

#define QUILLON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::filesystem::path PluginFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&PluginFolder), &info) != 0 && info.dli_fname != nullptr)
        return std::filesystem::absolute(info.dli_fname).parent_path();
    return std::filesystem::current_path();
}

quillon::sim::SimDriver& Driver() {
    static quillon::sim::SimDriver instance(PluginFolder());
    return instance;
}

}  // namespace

QUILLON_EXPORT void Set_VIDPID(int vendorId, int productId) {
    Driver().SetIds(vendorId, productId);
}
QUILLON_EXPORT void Open_DevMonitor(QuillonWindow window, uint32_t dataMessage, uint32_t plugMessage) {
    Driver().OpenMonitor(window, dataMessage, plugMessage);
}
QUILLON_EXPORT void Close_DevMonitor(void) {
    Driver().CloseMonitor();
}
QUILLON_EXPORT int Open_FeatureDevice(void) {
    return Driver().Present() ? 1 : 0;
}
QUILLON_EXPORT void Close_FeatureDevice(void) {}
// The mouse has no feature reports.
QUILLON_EXPORT int SetFeature(uint8_t*, int) {
    return -1;
}
QUILLON_EXPORT int GetFeature(uint8_t*, int) {
    return -1;
}
QUILLON_EXPORT int Open_ReportDevice(void) {
    return Driver().OpenReport() ? 1 : 0;
}
QUILLON_EXPORT void Close_ReportDevice(void) {
    Driver().CloseReport();
}
QUILLON_EXPORT int WriteUSB(const uint8_t* report, int length) {
    return Driver().Write(report, length);
}
// Input reports reach the program only as data messages.
QUILLON_EXPORT int ReadUSB(uint8_t*, int) {
    return -1;
}
QUILLON_EXPORT int Get_OpenError(void) {
    return Driver().OpenError();
}
