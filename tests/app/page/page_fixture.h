#pragma once
// The settings page inside a window built from the real main layout, with fake driver libraries,
// virtual time, scripted modal windows and a temporary program folder: what the page tests share.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>
#include <vector>

#include "app/page/ms_1_page.h"
#include "core/store/profile_state.h"
#include "core/store/store_bytes.h"
#include "device/ble/ble_channel.h"
#include "device/device_links.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "support/fake_driver.h"
#include "support/modal_answers.h"
#include "support/qt_app.h"
#include "support/recording_shell.h"
#include "support/ui_driver.h"
#include "support/virtual_time.h"
#include "ui/menu.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/window.h"

namespace quillon::test {

// A main window as far as the page needs one: it hosts the page as "MS_1_Page", shows the settings
// tab, and hands the device messages and timers to the page through the page's own routing, the
// one the main window uses.
inline std::uint64_t VirtualNow() {
    return services().clock().Ticks();
}

class PageHost : public WindowImplBase {
public:
    // The page looks for BlueZ on `ble`; by default nowhere, so that no test meets the
    // machine's own Bluetooth.
    PageHost(FakeDriver& wired, FakeDriver& wireless, const BleBus& ble = BleBus::None())
        : m_loader(FakeDriverLoader(&wired, &wireless)), m_ble(ble) {}
    ~PageHost() override { page.Shutdown(); }

    QString GetWindowClassName() const override { return QStringLiteral("QuillonPageHost"); }
    QString GetSkinFile() override { return QStringLiteral("main.xml"); }

    void InitWindow() override {
        page.Attach(*this, &hooks);
        page.SetDriverLoader(m_loader);
        page.SetBleBus(m_ble);
        AddVirtualWnd(QStringLiteral("MS_1_Page"), &page);
        page.Startup();
        page.LoadStores();
        if (auto* tabs = m_pm.FindControl<CTabLayoutUI>(QStringLiteral("device_tab_switch")))
            tabs->SelectItem(1);
    }

    // Routes as the main window does: through the page's own dispatch, noting what the tests watch.
    LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override {
        if (message == MSG_APPLY_REQUEST)
            applyRequests.push_back(VirtualNow());
        if (message == MSG_MENU_COMMAND) {
            // A clicked item of a menu the page opened, passed on as the main window does.
            auto* command = reinterpret_cast<MenuCmd*>(wParam);
            const QString name = command != nullptr ? command->szName : QString();
            CPaintManagerUI::DeletePtr(command);
            if (name.startsWith(QLatin1String("ms_1")))
                page.OnAssignMenu(name);
            handled = true;
            return 0;
        }
        if (message == MSG_DEVICE_CHANGED) {
            ++deviceChanged;
            handled = true;
            return 0;
        }
        handled = page.HandleWindowMessage(message, wParam, lParam);
        return 0;
    }

    CMS_1_Page page;
    HookOps hooks;
    int deviceChanged = 0;
    // When each MSG_APPLY_REQUEST reached the window, in virtual milliseconds.
    std::vector<std::uint64_t> applyRequests;

private:
    DriverLoader m_loader;
    BleBus m_ble;
};

class PageFixture : public ::testing::Test {
protected:
    PageFixture() {
        TestApplication();
        CPaintManagerUI::SetResourcePath(QStringLiteral(QUILLON_SOURCE_DIR "/res/"));
        CResourceManager::GetInstance()->LoadLanguage(QStringLiteral("lan.xml"));
    }
    ~PageFixture() override {
        if (host)
            host->DestroyWindow();
        host.reset();
    }

    // Opens the window; the page starts, loads the profiles and shows the selected one.
    void Open() {
        host = std::make_unique<PageHost>(wired, wireless, bleBus);
        ASSERT_NE(host->Create(nullptr, {}, WS_VISIBLE, 0, 0, 0, 800, 572), nullptr);
        ui = std::make_unique<UiDriver>(*host);
        PumpPending();
    }

    ProfileState& Profiles() { return *host->page.Profiles(); }
    ProfileRecord& Record() { return *Profiles().Selected(); }
    UiDriver& Ui() { return *ui; }

    // Opens a section of the settings by its box (a user has to before using what is inside).
    void OpenSection(const char* box) { Ui().SetChecked(QString::fromLatin1(box), true); }

    TemporaryFolder folder;
    VirtualTime time;
    ScopedServices programFolder{ScopedServices::Set{nullptr, nullptr, nullptr, nullptr, folder.Path()}};
    RecordingShell shell;
    CallJournal journal;
    FakeDriver wired{journal, "wired"};
    FakeDriver wireless{journal, "wireless"};
    BleBus bleBus = BleBus::None();
    ModalAnswers answers;
    std::unique_ptr<PageHost> host;
    std::unique_ptr<UiDriver> ui;
};

}  // namespace quillon::test
