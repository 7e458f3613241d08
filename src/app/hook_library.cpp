#include "app/hook_library.h"

namespace quillon {

bool HookLibrary::Load(const std::filesystem::path& folder, HookOps& ops) {
    ops = HookOps{};
    m_module = Module::Load(folder / kHookLibraryFile);
    if (!m_module)
        return false;
    ops.installmousehook = m_module.Resolve<decltype(ops.installmousehook)>(kHookExportNames[0]);
    ops.removemousehook = m_module.Resolve<decltype(ops.removemousehook)>(kHookExportNames[1]);
    ops.enablemousehook = m_module.Resolve<decltype(ops.enablemousehook)>(kHookExportNames[2]);
    ops.installhook = m_module.Resolve<decltype(ops.installhook)>(kHookExportNames[3]);
    ops.removehook = m_module.Resolve<decltype(ops.removehook)>(kHookExportNames[4]);
    ops.enablehook = m_module.Resolve<decltype(ops.enablehook)>(kHookExportNames[5]);
    ops.mousewheelenable = m_module.Resolve<decltype(ops.mousewheelenable)>(kHookExportNames[6]);
    return true;
}

void HookLibrary::Release(HookOps& ops) {
    if (!m_module) {
        ops = HookOps{};
        return;
    }
    if (ops.removemousehook != nullptr)
        ops.removemousehook();
    if (ops.removehook != nullptr)
        ops.removehook();
    ops = HookOps{};
    m_module.Free();
}

}  // namespace quillon
