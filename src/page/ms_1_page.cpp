#include "page/ms_1_page.h"

#include "page/page_controls.h"
#include "platform/message_window.h"
#include "ui/window.h"

#include <QDebug>

namespace quillon {

struct CMS_1_Page::Impl {
    WindowImplBase* mainWindow = nullptr;
    const HookOps* hooks = nullptr;
    PageControls controls;
    bool started = false;
    bool shutDown = false;
};

CMS_1_Page::CMS_1_Page() : m_impl(std::make_unique<Impl>()) {}

CMS_1_Page::~CMS_1_Page() { Shutdown(); }

void CMS_1_Page::Attach(WindowImplBase& mainWindow, const HookOps* hooks) {
    m_impl->mainWindow = &mainWindow;
    m_impl->hooks = hooks;
}

void CMS_1_Page::Startup() {
    if (m_impl->mainWindow == nullptr || m_impl->started) return;
    m_impl->started = true;
    const QStringList missing = m_impl->controls.Find(m_impl->mainWindow->GetPaintManager());
    if (!missing.isEmpty()) qWarning() << "settings page: controls missing from the layout:" << missing;
}

void CMS_1_Page::LoadStores() {}

bool CMS_1_Page::DevicePresent() const { return false; }

DeviceAccess CMS_1_Page::DeviceAccessProblem() const { return DeviceAccess::Ok; }

void CMS_1_Page::OnDeviceMessage(UINT, WPARAM, LPARAM) {}

void CMS_1_Page::OnTimer(UINT_PTR) {}

void CMS_1_Page::OnAssignMenu(const QString&) {
    // Assigning a function from the menu arrives with the button assignment; until then a menu
    // item changes nothing.
}

void CMS_1_Page::Shutdown() {
    if (m_impl == nullptr || m_impl->shutDown) return;
    m_impl->shutDown = true;
}

} // namespace quillon
