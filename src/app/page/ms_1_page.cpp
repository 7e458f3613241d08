#include "app/page/ms_1_page.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QTimer>

#include "app/macros/macro_store.h"
#include "app/macros/ms_1_macro.h"
#include "app/msg_wnd.h"
#include "app/page/button_labels.h"
#include "app/page/dpi_color_wnd.h"
#include "app/page/dpi_lighting.h"
#include "app/page/page_context.h"
#include "app/page/page_controls.h"
#include "app/page/power_settings.h"
#include "app/page/status_view.h"
#include "app/page/store_notices.h"
#include "core/keys/key_tables.h"
#include "core/macros/macro_slots.h"
#include "core/store/profile_state.h"
#include "device/apply.h"
#include "device/ble/ble_channel.h"
#include "device/device_links.h"
#include "device/status_handling.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/keyboard/keyboard_layout_xkb.h"
#include "platform/message_window.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "ui/controls.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/window.h"

namespace quillon {
namespace {

inline constexpr UINT kSectionScrollMs = 10;

QString LanguageText(const QString& key) {
    return CResourceManager::GetInstance()->GetText(key);
}

}  // namespace

struct CMS_1_Page::Impl final : PageContext {
    WindowImplBase* mainWindow = nullptr;
    // The main window's handle; its message window is looked up at each use, because the page is
    // shut down when the main window has already gone.
    HWND windowHandle = nullptr;
    MessageWindow* Window() const { return MessageWindow::FromHandle(windowHandle); }
    const HookOps* hooks = nullptr;  // for the dialogs that capture keys
    DriverLoader driverLoader = LoadFromProgramFolder;
    BleBus bleBus = BleBus::System();

    PageControls controls;
    bool controlsComplete = false;
    // Declared before the profiles, whose saves it hears until they are gone.
    std::unique_ptr<StoreNotices> storeNotices;
    std::unique_ptr<StoreNotices> macroNotices;
    std::unique_ptr<ProfileState> profiles;
    std::unique_ptr<MacroStore> macros;
    std::unique_ptr<KeyboardLayout> keyboardLayout;
    std::unique_ptr<KeyCodeTables> keyTables;
    std::unique_ptr<DpiLightingSection> dpi;
    std::unique_ptr<PowerSection> power;
    std::unique_ptr<ButtonLabels> labels;
    // The device side: the status view over the page's controls, the status handling that decides
    // what it shows (also the links' view of the page), the links as the apply writes through
    // them, the apply, and the links with their worker. The links are built before the apply but
    // declared last, so that the worker is gone before anything it uses.
    std::unique_ptr<PageStatusView> statusView;
    std::unique_ptr<StatusHandling> status;
    std::unique_ptr<DeviceReportLinks> reportLinks;
    std::unique_ptr<ApplySequence> apply;
    std::unique_ptr<ApplyRequests> requests;
    std::unique_ptr<DeviceLinks> links;
    // The mouse over Bluetooth LE: its values go to the status handling, its coming and going to
    // the links. Declared last, so that it goes first.
    std::unique_ptr<BleChannel> ble;

    // The list's first "itemselect" may be the echo of the page's own selection at load time, which
    // asked for no notification; that echo (and only that) is ignored.
    int skip_first_select = 1;
    bool started = false;
    bool shutDown = false;

    // --- PageContext ---------------------------------------------------------------------------
    ProfileRecord* Selected() override { return profiles ? profiles->Selected() : nullptr; }
    void RequestApply() override {
        if (requests)
            requests->RequestNow();
    }
    void RequestApplyAfter(std::uint32_t milliseconds) override {
        if (requests)
            requests->RequestAfter(milliseconds);
    }

    // --- The page's own behaviour --------------------------------------------------------------
    void OnBleLink(bool connected);
    void Refresh();
    void OnClick(TNotifyUI& msg);
    void OnSelectChanged(TNotifyUI& msg);
    void OnItemSelect(TNotifyUI& msg);
    void OnCheckClick(TNotifyUI& msg);
    void OnKillFocus(TNotifyUI& msg);
    void OnValueChanged(TNotifyUI& msg);
    void OnTextChanged(TNotifyUI& msg);
    void OnSetFocus(TNotifyUI& msg);
    void OnProfileSelected(int row);
    void ResetProfile();
    void OpenMacroEditor();
    // The message box over the main window: 1 when confirmed.
    int Confirm(const QString& titleKey, const QString& messageKey);
    bool Ready() const { return controlsComplete && profiles && profiles->Selected() != nullptr; }
    // From the exit on, a failed save is only logged: the window is going and no box is shown.
    void HearSavesAtExit() {
        if (profiles && storeNotices) {
            StoreNotices* notices = storeNotices.get();
            profiles->SetSaveObserver([notices](const WriteResult& result) { notices->OnExitSave(result); });
        }
        if (macros && macroNotices) {
            StoreNotices* notices = macroNotices.get();
            macros->SetSaveObserver([notices](const WriteResult& result) { notices->OnExitSave(result); });
        }
    }
};

void CMS_1_Page::Impl::OnBleLink(bool connected) {
    if (controls.ble != nullptr)
        controls.ble->SetVisible(connected);
    if (links)
        links->SetBleState(connected ? LinkState::Open : LinkState::Removed);
}

void CMS_1_Page::Impl::Refresh() {
    ProfileRecord* record = Selected();
    if (record == nullptr || !controlsComplete)
        return;
    if (status)
        status->RefreshLinkSections();
    dpi->Show(*record);
    power->Show(*record);
    labels->RelabelAll(*record);
}

void CMS_1_Page::Impl::OnClick(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    if (sender == nullptr || !Ready())
        return;
    if (sender == controls.apply || sender == controls.applyDpi) {
        RequestApply();
    } else if (sender == controls.resetDpi) {
        ResetDpiStages(*Selected());
        Refresh();
        RequestApply();
    } else if (sender == controls.mouseAttribute) {
        services().shell().OpenMouseSettings();
    } else if (sender == controls.profileReset || sender == controls.reset) {
        ResetProfile();
    } else if (sender == controls.macroButton) {
        OpenMacroEditor();
    } else {
        // A colour of a stage or of the lighting. The profile operations and the assignment menus
        // of buttons 1..12 are not wired up yet; their clicks change nothing.
        dpi->OnClick(sender);
    }
}

int CMS_1_Page::Impl::Confirm(const QString& titleKey, const QString& messageKey) {
    return CMsgWnd::MessageBox(mainWindow->GetHWND(), titleKey, messageKey);
}

void CMS_1_Page::Impl::ResetProfile() {
    if (Confirm(QStringLiteral("warning_title_text"), QStringLiteral("restore_text")) != 1)
        return;
    ProfileRecord* record = Selected();
    if (record == nullptr)
        return;
    InitProfileDefaults(*record);
    Refresh();
    profiles->RequestFullWrite(FullWriteReason::UserChange);
    RequestApply();
}

void CMS_1_Page::Impl::OpenMacroEditor() {
    if (!macros)
        return;
    {
        CMS_1_Macro editor(*macros, hooks, keyTables.get());
        // The layout gives the editor its real size; 800 x 800 only stands until it is built.
        if (editor.Create(mainWindow->GetHWND(), {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 0, 0, 800,
                          800) == nullptr)
            return;
        editor.CenterWindow();
        editor.ShowModal();
    }
    // The buttons hold copies of their macros; they follow the store as the editor left it.
    const MacroRefresh refresh = RefreshMacroSlots(profiles->List(), macros->List(), Selected());
    if (refresh.selectedTouched) {
        labels->RelabelAll(*Selected());
        RequestApply();
    } else if (refresh.changed) {
        static_cast<void>(profiles->Save());  // the observer hears how it went
    }
}

void CMS_1_Page::Impl::OnSelectChanged(TNotifyUI& msg) {
    if (!Ready())
        return;
    if (dpi->OnSelectChanged(msg.pSender))
        return;
    power->OnSelectChanged(msg.pSender);
}

void CMS_1_Page::Impl::OnItemSelect(TNotifyUI& msg) {
    if (!Ready() || msg.pSender == nullptr)
        return;
    if (msg.pSender == controls.profileList) {
        OnProfileSelected(static_cast<int>(msg.wParam));
        return;
    }
    dpi->OnItemSelect(msg.pSender, static_cast<int>(msg.wParam));
}

void CMS_1_Page::Impl::OnProfileSelected(int row) {
    const bool firstSelection = skip_first_select != 0;
    skip_first_select = 0;
    ProfileList& list = profiles->List();
    if (row < 0 || static_cast<std::size_t>(row) >= list.size())
        return;
    // Only an echo of the selection made at load time is ignored: it names the profile that is
    // already selected. A user's first choice, or the selection of a profile just added, names
    // another one and goes through.
    if (firstSelection && list[static_cast<std::size_t>(row)].get() == profiles->Selected())
        return;
    profiles->Select(static_cast<std::size_t>(row));
    Refresh();
    profiles->RequestFullWrite(FullWriteReason::UserChange);
    RequestApply();
}

void CMS_1_Page::Impl::OnCheckClick(TNotifyUI& msg) {
    if (!controlsComplete || msg.pSender == nullptr)
        return;
    if (const SectionToggle* section = controls.SectionOf(msg.pSender)) {
        const bool open = section->box->GetCheck();
        section->container->SetVisible(open);
        MessageWindow* window = Window();
        if (open && section->scrollsIntoView && window != nullptr)
            window->SetTimer(TIMER_SECTION_SCROLL, kSectionScrollMs);
        return;
    }
    if (!Ready())
        return;
    if (power->OnCheckClick(msg.pSender))
        return;
    dpi->OnCheckClick(msg.pSender);
}

void CMS_1_Page::Impl::OnKillFocus(TNotifyUI& msg) {
    if (Ready())
        dpi->OnKillFocus(msg.pSender);
}

void CMS_1_Page::Impl::OnValueChanged(TNotifyUI& msg) {
    if (!Ready())
        return;
    if (dpi->OnValueChanged(msg.pSender))
        return;
    power->OnValueChanged(msg.pSender);
}

void CMS_1_Page::Impl::OnTextChanged(TNotifyUI& msg) {
    if (controlsComplete)
        dpi->OnTextChanged(msg.pSender);
}

void CMS_1_Page::Impl::OnSetFocus(TNotifyUI& msg) {
    if (Ready())
        dpi->OnSetFocus(msg.pSender);
}

CMS_1_Page::CMS_1_Page() : m_impl(std::make_unique<Impl>()) {
    Impl* impl = m_impl.get();
    BindNotify(QStringLiteral("click"), [impl](TNotifyUI& msg) { impl->OnClick(msg); });
    BindNotify(QStringLiteral("selectchanged"), [impl](TNotifyUI& msg) { impl->OnSelectChanged(msg); });
    BindNotify(QStringLiteral("itemselect"), [impl](TNotifyUI& msg) { impl->OnItemSelect(msg); });
    BindNotify(QStringLiteral("checkclick"), [impl](TNotifyUI& msg) { impl->OnCheckClick(msg); });
    BindNotify(QStringLiteral("killfocus"), [impl](TNotifyUI& msg) { impl->OnKillFocus(msg); });
    BindNotify(QStringLiteral("return"), [impl](TNotifyUI& msg) { impl->OnKillFocus(msg); });
    BindNotify(QStringLiteral("valuechanged"), [impl](TNotifyUI& msg) { impl->OnValueChanged(msg); });
    BindNotify(QStringLiteral("textchanged"), [impl](TNotifyUI& msg) { impl->OnTextChanged(msg); });
    BindNotify(QStringLiteral("setfocus"), [impl](TNotifyUI& msg) { impl->OnSetFocus(msg); });
    BindNotify(QStringLiteral("timer"), [](TNotifyUI&) {});
    BindNotify(QStringLiteral("mouseenter"), [](TNotifyUI&) {});
    BindNotify(QStringLiteral("mouseleave"), [](TNotifyUI&) {});
}

CMS_1_Page::~CMS_1_Page() {
    Shutdown();
}

void CMS_1_Page::Attach(WindowImplBase& mainWindow, const HookOps* hooks) {
    m_impl->mainWindow = &mainWindow;
    m_impl->windowHandle = mainWindow.GetHWND();
    m_impl->hooks = hooks;
}

void CMS_1_Page::SetDriverLoader(DriverLoader loader) {
    m_impl->driverLoader = std::move(loader);
}

void CMS_1_Page::SetBleBus(const BleBus& bus) {
    m_impl->bleBus = bus;
}

void CMS_1_Page::Startup() {
    Impl& d = *m_impl;
    MessageWindow* window = d.Window();
    if (d.mainWindow == nullptr || window == nullptr || d.started)
        return;
    d.started = true;

    const QStringList missing = d.controls.Find(d.mainWindow->GetPaintManager());
    d.controlsComplete = missing.isEmpty();
    if (!d.controlsComplete)
        qWarning() << "settings page: controls missing from the layout:" << missing;

    if (d.controlsComplete) {
        // Numbers and composed texts are shown as they are, not looked up as language keys.
        for (CLabelUI* label : d.controls.dpiLabels)
            label->SetTextMode(TextMode::Plain);
        d.controls.keyDebounceLabel->SetTextMode(TextMode::Plain);
        d.controls.sleepTimerLabel->SetTextMode(TextMode::Plain);
        d.controls.lightOffLabel->SetTextMode(TextMode::Plain);

        d.keyboardLayout = CreateDesktopKeyboardLayout();
        if (d.keyboardLayout) {
            d.keyTables = std::make_unique<KeyCodeTables>(*d.keyboardLayout, [](std::string_view key) {
                return LanguageText(QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size())))
                    .toStdU16String();
            });
        }
        WindowImplBase* owner = d.mainWindow;
        d.dpi = std::make_unique<DpiLightingSection>(
            d.controls, d,
            [owner](std::uint32_t argb, QPoint topLeft) {
                return CDpiColorWnd::Choose(owner->GetHWND(), argb, topLeft);
            },
            [owner] { return owner->GetWindowRect(); });
        d.power = std::make_unique<PowerSection>(d.controls, d);
        d.labels = std::make_unique<ButtonLabels>(d.controls, LanguageText, d.keyTables.get());
    }

    d.profiles = std::make_unique<ProfileState>(std::make_unique<ProfileStore>(DataFolder()));
    d.macros = std::make_unique<MacroStore>(DataFolder());
    const Impl* owner = &d;
    const auto showBox = [owner](const QString& messageKey, const QStringList& arguments) {
        CMsgWnd::MessageBox(owner->windowHandle, QStringLiteral("warning_title_text"), messageKey, arguments);
    };
    d.storeNotices =
        std::make_unique<StoreNotices>(d.profiles->Store().FilePath(), StoreNotices::kProfileTexts, showBox);
    d.macroNotices =
        std::make_unique<StoreNotices>(d.macros->File().FilePath(), StoreNotices::kMacroTexts, showBox);
    StoreNotices* notices = d.storeNotices.get();
    d.profiles->SetSaveObserver([notices](const WriteResult& result) { notices->OnSaved(result); });
    StoreNotices* macroNotices = d.macroNotices.get();
    d.macros->SetSaveObserver([macroNotices](const WriteResult& result) { macroNotices->OnSaved(result); });
    d.requests = std::make_unique<ApplyRequests>(*window);
    const CPaintManagerUI& manager = d.mainWindow->GetPaintManager();
    d.statusView = std::make_unique<PageStatusView>(
        d.controls, d.dpi.get(), manager.FindControl(QStringLiteral("apply_ring")),
        manager.FindControl<CProgressUI>(QStringLiteral("apply_progress")));
    d.status = std::make_unique<StatusHandling>(*window, *d.profiles, *d.statusView);
    Impl* impl = &d;
    d.links = std::make_unique<DeviceLinks>(
        *window, *d.status, [impl](WPARAM, LPARAM) { impl->apply->Apply(); }, d.driverLoader);
    d.reportLinks = std::make_unique<DeviceReportLinks>(*d.links);
    d.apply = std::make_unique<ApplySequence>(*d.profiles, *d.reportLinks, *d.status, *d.status);
    d.status->SetLinks(d.links.get());
    d.links->Start();

    d.ble = std::make_unique<BleChannel>(
        window->handle(), d.bleBus,
        [impl](std::uint16_t word0, std::uint16_t word1) {
            if (impl->status)
                impl->status->OnBleStatus(word0, word1);
        },
        [impl](bool connected) { impl->OnBleLink(connected); });
    d.ble->Start(MouseBleFilters());
}

void CMS_1_Page::LoadStores() {
    Impl& d = *m_impl;
    if (!d.profiles || d.profiles->Selected() != nullptr)
        return;
    d.storeNotices->OnLoaded(
        d.profiles->Load(LanguageText(QStringLiteral("add_profile_text")).toStdU16String()));
    const MacroLoadReport macrosLoaded = d.macros->LoadMacroStore();
    if (macrosLoaded.outcome == MacroLoadOutcome::Repaired)
        d.macroNotices->OnRepaired(macrosLoaded.backupKept, macrosLoaded.backupPath);
    if (!d.controlsComplete)
        return;
    CListUI* list = d.controls.profileList;
    list->RemoveAll();
    // The rows are plain text drawn by the list: a store of many profiles then builds no widget
    // per profile.
    for (const auto& record : d.profiles->List()) {
        const auto end = std::find(record->profile_name.begin(), record->profile_name.end(), u'\0');
        list->AddTextRow(QString::fromUtf16(record->profile_name.data(),
                                            static_cast<qsizetype>(end - record->profile_name.begin())),
                         22);
    }
    list->SelectItem(d.profiles->Header().selected, SelectNotify::No);
    d.Refresh();
}

bool CMS_1_Page::DevicePresent() const {
    return m_impl->links && m_impl->links->device_present() != 0;
}

DeviceAccess CMS_1_Page::DeviceAccessProblem() const {
    const Impl& d = *m_impl;
    if (!d.links || d.links->device_present() != 0)
        return DeviceAccess::Ok;
    DeviceAccess problem = DeviceAccess::Ok;
    for (Link link : {Link::Wired, Link::Wireless}) {
        const int error = d.links->OpenError(link);
        if (error == QUILLON_OPEN_PERMISSION_DENIED)
            return DeviceAccess::PermissionDenied;
        if (error == QUILLON_OPEN_OTHER_ERROR)
            problem = DeviceAccess::OtherError;
    }
    return problem;
}

bool CMS_1_Page::HandleWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= MSG_DEVICE_MESSAGE_FIRST && message <= MSG_DEVICE_MESSAGE_LAST) {
        OnDeviceMessage(message, wParam, lParam);
        return true;
    }
    if (message == WM_TIMER && wParam >= TIMER_PAGE_FIRST && wParam <= TIMER_PAGE_LAST) {
        OnTimer(wParam);
        return true;
    }
    return false;
}

void CMS_1_Page::OnDeviceMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    Impl& d = *m_impl;
    if (!d.links || message < MSG_DEVICE_MESSAGE_FIRST || message > MSG_DEVICE_MESSAGE_LAST)
        return;
    if (d.status && d.status->HandleStatusMessage(message, wParam, lParam))
        return;
    d.links->HandleDeviceMessage(message, wParam, lParam);
}

void CMS_1_Page::OnTimer(UINT_PTR id) {
    Impl& d = *m_impl;
    if (d.requests && d.requests->OnTimer(id))
        return;
    if (d.status && d.status->OnTimer(id))
        return;
    if (d.ble && d.ble->OnTimer(id))
        return;
    if (id == TIMER_SECTION_SCROLL) {
        if (MessageWindow* window = d.Window())
            window->KillTimer(TIMER_SECTION_SCROLL);
        if (d.controls.settingScroll != nullptr)
            d.controls.settingScroll->ScrollToEnd();
    }
}

void CMS_1_Page::OnAssignMenu(const QString&) {
    // Assigning a function from the menu arrives with the button assignment; until then a menu
    // item changes nothing.
}

void CMS_1_Page::FinishApplyBeforeExit() {
    Impl& d = *m_impl;
    d.HearSavesAtExit();
    MessageWindow* window = d.Window();
    if (d.shutDown || !d.links || !d.apply || window == nullptr)
        return;
    // An edit still gathering in timer 513 goes out now; a request the page posted and the main
    // window has not handled yet reaches the worker with the posted messages.
    const bool debouncing = window->HasTimer(TIMER_APPLY_DEBOUNCE);
    window->KillTimer(TIMER_APPLY_DEBOUNCE);
    if (!d.links->AnyLinkAwake())
        return;
    if (debouncing)
        d.links->HandleDeviceMessage(MSG_APPLY_REQUEST, 0, 0);
    QCoreApplication::sendPostedEvents();
    const auto finished = [&d] { return !d.links->ApplyQueuedOrRunning() && !d.apply->HasPendingUiSteps(); };
    if (finished())
        return;
    Clock& clock = services().clock();
    const std::uint64_t deadline = clock.Ticks() + kExitApplyDeadlineMs;
    d.apply->StopAt(deadline);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished() || clock.Ticks() >= deadline)
            loop.quit();
    });
    poll.start();
    loop.exec();
    if (!finished())
        qWarning() << "quillon: the apply did not finish within" << kExitApplyDeadlineMs
                   << "ms of the exit; the changes stay unsent";
}

void CMS_1_Page::Shutdown() {
    if (m_impl == nullptr || m_impl->shutDown)
        return;
    Impl& d = *m_impl;
    d.shutDown = true;
    MessageWindow* window = d.Window();
    if (window != nullptr) {
        window->KillTimer(TIMER_APPLY_DEBOUNCE);
        window->KillTimer(TIMER_SECTION_SCROLL);
    }
    d.HearSavesAtExit();
    if (d.ble)
        d.ble->Shutdown();
    // The worker may be in the middle of an apply that waits for the UI thread; release it first.
    if (d.apply)
        d.apply->BeginShutdown();
    if (d.links)
        d.links->Shutdown();
    // The apply's last steps on the UI thread touch the main window's timers; when the window has
    // gone they are skipped, and the save below keeps the edits all the same.
    if (d.apply && window != nullptr)
        d.apply->RunPendingUiSteps();
    if (d.profiles && d.profiles->Selected() != nullptr)
        static_cast<void>(d.profiles->SaveOnExit());  // the observer logs a failure
}

ProfileState* CMS_1_Page::Profiles() {
    return m_impl->profiles.get();
}

MacroStore* CMS_1_Page::Macros() {
    return m_impl->macros.get();
}

}  // namespace quillon
