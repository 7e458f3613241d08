#include "app/page/ms_1_page.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QTimer>

#include <cstring>
#include <utility>

#include "app/macros/macro_store.h"
#include "app/macros/ms_1_macro.h"
#include "app/msg_wnd.h"
#include "app/page/button_assign.h"
#include "app/page/button_labels.h"
#include "app/page/dpi_color_wnd.h"
#include "app/page/dpi_lighting.h"
#include "app/page/page_context.h"
#include "app/page/page_controls.h"
#include "app/page/power_settings.h"
#include "app/page/status_view.h"
#include "app/page/store_notices.h"
#include "app/profiles/imported_macros.h"
#include "app/profiles/profile_list.h"
#include "core/keys/key_tables.h"
#include "core/macros/macro_slots.h"
#include "core/protocol/apply_plan.h"
#include "core/remote/command_request.h"
#include "core/remote/profile_commands.h"
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
// How long "Sent" or "Nothing to send" stays in the status row.
inline constexpr UINT kSendNoticeMs = 3000;

QString LanguageText(const QString& key) {
    return CResourceManager::GetInstance()->GetText(key);
}

// The apply's sign of activity, passed on to status handling, which also tells the page when an
// apply takes its copy of the profile and when it has ended (both on the UI thread).
class ApplyMoments final : public ApplyRingControl {
public:
    ApplyMoments(ApplyRingControl& ring, std::function<void()> started, std::function<void()> ended)
        : m_ring(ring), m_started(std::move(started)), m_ended(std::move(ended)) {}
    bool SetApplyRingVisible(bool visible) override {
        m_ring.SetApplyRingVisible(visible);
        if (visible)
            m_started();
        else
            m_ended();
        // Claimed as shown, so that the end of every apply is reported too.
        return true;
    }

private:
    ApplyRingControl& m_ring;
    std::function<void()> m_started;
    std::function<void()> m_ended;
};

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
    // Hears the profile store's writer thread; the results it wakes for stay with the profiles.
    std::unique_ptr<MessageWindow> savesWritten;
    std::unique_ptr<MacroStore> macros;
    std::unique_ptr<MacroStoreImports> importedMacros;
    std::unique_ptr<ProfileListOperations> profileOperations;
    // What recording remembers between the editor's openings.
    RecordingMemory recordingMemory;
    std::unique_ptr<KeyboardLayout> keyboardLayout;
    std::unique_ptr<KeyCodeTables> keyTables;
    std::unique_ptr<DpiLightingSection> dpi;
    std::unique_ptr<PowerSection> power;
    std::unique_ptr<ButtonLabels> labels;
    std::unique_ptr<ButtonAssign> assign;
    // The device side: the status view over the page's controls, the status handling that decides
    // what it shows (also the links' view of the page), the links as the apply writes through
    // them, the apply, and the links with their worker. The links are built before the apply but
    // declared last, so that the worker is gone before anything it uses.
    std::unique_ptr<PageStatusView> statusView;
    std::unique_ptr<StatusHandling> status;
    std::unique_ptr<DeviceReportLinks> reportLinks;
    std::unique_ptr<ApplyMoments> applyMoments;
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

    // The section whose box was just ticked, brought into view when timer 514 fires.
    const SectionToggle* sectionToShow = nullptr;

    // What the running apply took (to tell at its end whether it reached the mouse), whether it
    // had anything to send, and the short notice of the last apply's end in the status row.
    std::unique_ptr<ProfileRecord> sentRecord;
    bool applyHadWork = false;
    enum class SendNotice { None, Sent, NothingToSend };
    SendNotice notice = SendNotice::None;

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
    void OnItemActivate(TNotifyUI& msg);
    // Another profile became the selected one: show it and send it whole.
    void ShowSelectedProfile();
    void FillProfileList();
    void ResetProfile();
    void OpenMacroEditor();
    void ResetDpi();
    void OnControlTimer(TNotifyUI& msg);
    // Feedback on sending: "Send to mouse" and "Apply" stand out while the mouse lacks something of
    // the profile; the status row says how the last apply ended, or that changes wait for the mouse.
    bool HasUnsentChanges() const;
    bool MouseAwake() const;
    void RefreshSendState();
    void OnApplyStarted();
    void OnApplyEnded();
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
        ResetDpi();
    } else if (sender == controls.mouseAttribute) {
        services().shell().OpenMouseSettings();
    } else if (sender == controls.profileReset || sender == controls.reset) {
        ResetProfile();
    } else if (sender == controls.profileAdd) {
        profileOperations->Add();
    } else if (sender == controls.profileDelete) {
        profileOperations->Delete();
    } else if (sender == controls.profileRename) {
        profileOperations->Rename();
    } else if (sender == controls.profileImport) {
        profileOperations->Import();
    } else if (sender == controls.profileExport) {
        profileOperations->Export();
    } else if (sender == controls.macroButton) {
        OpenMacroEditor();
    } else if (const auto button = std::find(controls.keyButtons.begin(), controls.keyButtons.end(), sender);
               button != controls.keyButtons.end()) {
        // Buttons 1..12 have a menu of functions; 13..18 only show theirs.
        assign->OpenAssignMenu(static_cast<std::size_t>(button - controls.keyButtons.begin()));
    } else {
        // A colour of a stage or of the lighting.
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
        CMS_1_Macro editor(*macros, hooks, keyTables.get(), &recordingMemory);
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
        profiles->SaveSoon();  // the observer hears how it went
    }
}

void CMS_1_Page::Impl::ResetDpi() {
    // Eight stages are overwritten at once: the user confirms first, as for a whole profile.
    if (Confirm(QStringLiteral("warning_title_text"), QStringLiteral("restore_dpi_text")) != 1)
        return;
    ProfileRecord* record = Selected();
    if (record == nullptr)
        return;
    ResetDpiStages(*record);
    Refresh();
    RequestApply();
}

void CMS_1_Page::Impl::OnControlTimer(TNotifyUI& msg) {
    if (dpi)
        dpi->OnTimer(msg.pSender, static_cast<UINT>(msg.wParam));
}

bool CMS_1_Page::Impl::HasUnsentChanges() const {
    const ProfileRecord* record = profiles ? profiles->Selected() : nullptr;
    if (record == nullptr)
        return false;
    return profiles->full_write_pending() ||
           ComputeDirtySet(*record, profiles->AppliedCopy(), FullWrite::No).Any();
}

bool CMS_1_Page::Impl::MouseAwake() const {
    if (!reportLinks)
        return false;
    for (Link link : {Link::Wired, Link::Wireless}) {
        if (reportLinks->State(link) == LinkState::Open && reportLinks->IsAwake(link))
            return true;
    }
    return false;
}

void CMS_1_Page::Impl::RefreshSendState() {
    if (!Ready() || shutDown)
        return;
    const bool unsent = HasUnsentChanges();
    for (CButtonUI* button : {controls.apply, controls.applyDpi}) {
        if (button->GetStyleState("unsent") == unsent)
            continue;
        button->SetStyleState("unsent", unsent);
        button->SetToolTip(unsent ? QStringLiteral("unsent_tip_text") : QString());
    }
    QString key;
    // Changes the user made that found no awake mouse go out once it is back (on its wake-up).
    if (profiles->HasUnsentUserChanges() && !MouseAwake())
        key = QStringLiteral("send_waiting_text");
    else if (notice == SendNotice::Sent)
        key = QStringLiteral("send_done_text");
    else if (notice == SendNotice::NothingToSend)
        key = QStringLiteral("send_nothing_text");
    const QString text = key.isEmpty() ? QString() : LanguageText(key);
    if (controls.sendStatus->GetText() != text)
        controls.sendStatus->SetText(text);
}

void CMS_1_Page::Impl::OnApplyStarted() {
    const ProfileRecord* record = Selected();
    if (record == nullptr || shutDown)
        return;
    // Taken right before the apply takes its own copy, on the same turn of the UI thread.
    sentRecord = std::make_unique<ProfileRecord>(*record);
    applyHadWork = HasUnsentChanges();
    // An apply with nothing to send right after one that sent (a mouse that woke as the first one
    // ran asks for another) leaves "Sent" standing: the user's change did go out.
    if (!applyHadWork && notice == SendNotice::Sent)
        return;
    notice = SendNotice::None;
    if (MessageWindow* window = Window())
        window->KillTimer(TIMER_SEND_NOTICE);
}

void CMS_1_Page::Impl::OnApplyEnded() {
    if (!sentRecord || shutDown || profiles == nullptr)
        return;
    // A complete apply makes its copy the `AppliedCopy`; one whose frames found no awake link
    // leaves the old one, and its changes wait for the mouse.
    const bool delivered =
        std::memcmp(&profiles->AppliedCopy(), sentRecord.get(), sizeof(ProfileRecord)) == 0;
    sentRecord.reset();
    if (!applyHadWork && notice == SendNotice::Sent) {
        RefreshSendState();
        return;
    }
    notice = !applyHadWork ? SendNotice::NothingToSend : delivered ? SendNotice::Sent : SendNotice::None;
    if (notice != SendNotice::None) {
        if (MessageWindow* window = Window())
            window->SetTimer(TIMER_SEND_NOTICE, kSendNoticeMs);
    }
    RefreshSendState();
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
    ShowSelectedProfile();
}

void CMS_1_Page::Impl::ShowSelectedProfile() {
    Refresh();
    profiles->RequestFullWrite(FullWriteReason::UserChange);
    RequestApply();
}

void CMS_1_Page::Impl::OnItemActivate(TNotifyUI& msg) {
    // A double click on a profile's row renames it; its first click has selected it.
    if (Ready() && msg.pSender != nullptr && msg.pSender == controls.profileList &&
        static_cast<int>(msg.wParam) == profiles->Header().selected)
        profileOperations->Rename();
}

void CMS_1_Page::Impl::FillProfileList() {
    if (controlsComplete && profileOperations)
        profileOperations->Fill();
}

// The command line's requests, carried out on the page as the user's own edits would be.
class PageCommandHost final : public CommandHost {
public:
    explicit PageCommandHost(CMS_1_Page::Impl& page) : m_page(page) {}

    ProfileState& Profiles() override { return *m_page.profiles; }

    MouseStatus Status() override {
        MouseStatus status;
        const DeviceLinks& links = *m_page.links;
        status.wiredOpen = links.wired_state() == LinkState::Open;
        status.wirelessOpen = links.wireless_state() == LinkState::Open;
        status.wiredAwake = links.IsAwake(Link::Wired);
        status.wirelessAwake = links.IsAwake(Link::Wireless);
        status.bleConnected = links.ble_state() == LinkState::Open;
        status.battery = m_page.status->battery_level();
        const MessageWindow* window = m_page.Window();
        status.charging = window != nullptr && window->HasTimer(TIMER_CHARGE_ANIMATION);
        return status;
    }

    Delivery Changed(Change change) override {
        ProfileState& profiles = *m_page.profiles;
        switch (change) {
        case Change::Added:
            m_page.FillProfileList();
            return Delivery::Sent;
        case Change::Selected:
            // As a click on the profile list: the page follows, and the profile goes out whole.
            m_page.skip_first_select = 0;
            if (m_page.controlsComplete)
                m_page.controls.profileList->SelectItem(profiles.Header().selected, SelectNotify::No);
            m_page.Refresh();
            profiles.RequestFullWrite(FullWriteReason::UserChange);
            m_page.RequestApply();
            break;
        case Change::Edited:
            m_page.Refresh();
            m_page.RequestApply();
            break;
        }
        if (m_page.links->AnyLinkAwake())
            return Delivery::Sent;
        // The apply that finds no mouse saves as well; the change is kept at once all the same (a
        // failed save is told by the store's save observer).
        // The command line tells its user the change is saved: it is, once this returns.
        (void)profiles.Save();
        return Delivery::NoMouse;
    }

private:
    CMS_1_Page::Impl& m_page;
};

void CMS_1_Page::Impl::OnCheckClick(TNotifyUI& msg) {
    if (!controlsComplete || msg.pSender == nullptr)
        return;
    if (const SectionToggle* section = controls.SectionOf(msg.pSender)) {
        const bool open = section->box->GetCheck();
        section->container->SetVisible(open);
        MessageWindow* window = Window();
        if (open && section->scrollsIntoView && window != nullptr) {
            sectionToShow = section;
            window->SetTimer(TIMER_SECTION_SCROLL, kSectionScrollMs);
        }
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
    // Every edit may leave the mouse lacking something; the send buttons and the status row say so.
    auto edit = [impl](void (Impl::*handler)(TNotifyUI&)) {
        return [impl, handler](TNotifyUI& msg) {
            (impl->*handler)(msg);
            impl->RefreshSendState();
        };
    };
    BindNotify(QStringLiteral("click"), edit(&Impl::OnClick));
    BindNotify(QStringLiteral("selectchanged"), edit(&Impl::OnSelectChanged));
    BindNotify(QStringLiteral("itemselect"), edit(&Impl::OnItemSelect));
    BindNotify(QStringLiteral("itemactivate"), edit(&Impl::OnItemActivate));
    BindNotify(QStringLiteral("checkclick"), edit(&Impl::OnCheckClick));
    BindNotify(QStringLiteral("killfocus"), edit(&Impl::OnKillFocus));
    BindNotify(QStringLiteral("return"), edit(&Impl::OnKillFocus));
    BindNotify(QStringLiteral("valuechanged"), edit(&Impl::OnValueChanged));
    BindNotify(QStringLiteral("textchanged"), [impl](TNotifyUI& msg) { impl->OnTextChanged(msg); });
    BindNotify(QStringLiteral("setfocus"), edit(&Impl::OnSetFocus));
    BindNotify(QStringLiteral("timer"), [impl](TNotifyUI& msg) { impl->OnControlTimer(msg); });
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
        if (CControlUI* picture =
                d.mainWindow->GetPaintManager().FindControl(QStringLiteral("ms_1_mouse_picture")))
            picture->SetBkImage(QString::fromLatin1(kMousePictureImage));

        d.keyboardLayout = CreateDesktopKeyboardLayoutOnFirstUse();
        d.keyTables = std::make_unique<KeyCodeTables>(*d.keyboardLayout, [](std::string_view key) {
            return LanguageText(QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size())))
                .toStdU16String();
        });
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
    // A store of many profiles takes tens of milliseconds to write and flush: the disk work is done
    // off the UI thread, which hears each result from the event loop.
    ProfileState* profiles = d.profiles.get();
    d.savesWritten = std::make_unique<MessageWindow>([profiles](UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == MSG_STORE_SAVED)
            profiles->HearFinishedSaves();
        return 0;
    });
    d.profiles->SaveInBackground(
        [handle = d.savesWritten->handle()] { PostMessage(handle, MSG_STORE_SAVED, 0, 0); });
    StoreNotices* macroNotices = d.macroNotices.get();
    d.macros->SetSaveObserver([macroNotices](const WriteResult& result) { macroNotices->OnSaved(result); });
    if (d.controlsComplete) {
        Impl* impl = &d;
        d.importedMacros = std::make_unique<MacroStoreImports>(*d.macros);
        d.profileOperations = std::make_unique<ProfileListOperations>(
            *d.profiles, *d.controls.profileList, *d.mainWindow, [impl] { impl->ShowSelectedProfile(); },
            d.importedMacros.get());
        d.assign = std::make_unique<ButtonAssign>(*d.mainWindow, d.controls, d, *d.labels, *d.macros, d.hooks,
                                                  d.keyTables.get());
    }
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
    d.applyMoments = std::make_unique<ApplyMoments>(
        *d.status, [impl] { impl->OnApplyStarted(); }, [impl] { impl->OnApplyEnded(); });
    d.apply = std::make_unique<ApplySequence>(*d.profiles, *d.reportLinks, *d.status, *d.applyMoments);
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
    d.FillProfileList();
    d.Refresh();
    d.RefreshSendState();
}

std::string CMS_1_Page::HandleCommandRequest(std::string_view line) {
    Impl& d = *m_impl;
    const CommandRequestRead read = ReadCommandRequest(line);
    if (!read.request)
        return EncodeCommandReply({kExitRefused, {}, "refused request: " + read.error + "\n"});
    if (d.shutDown || !d.links || !d.profiles || d.profiles->Selected() == nullptr)
        return EncodeCommandReply({kExitRefused, {}, "Quillon is starting or ending; try again\n"});
    // A dialog of the window may be working on the selected profile (a stage's colour, the macro
    // editor, a question): no change comes in under it, as the user could make none either.
    const std::string& command = read.request->command;
    if ((command == "select" || command == "set" || command == "import") && WindowImplBase::AnyModalRunning())
        return EncodeCommandReply(
            {kExitRefused, {}, command + ": the Quillon window shows a dialog; close it and try again\n"});
    PageCommandHost host(d);
    return EncodeCommandReply(RunProfileCommand(*read.request, host));
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
    // A link that woke, slept, came or went changes whether waiting changes can go out.
    if (!d.status || !d.status->HandleStatusMessage(message, wParam, lParam))
        d.links->HandleDeviceMessage(message, wParam, lParam);
    d.RefreshSendState();
}

void CMS_1_Page::OnTimer(UINT_PTR id) {
    Impl& d = *m_impl;
    if (d.requests && d.requests->OnTimer(id))
        return;
    if (d.status && d.status->OnTimer(id)) {
        // A watchdog may have taken the mouse for asleep.
        d.RefreshSendState();
        return;
    }
    if (d.ble && d.ble->OnTimer(id))
        return;
    if (id == TIMER_SECTION_SCROLL) {
        if (MessageWindow* window = d.Window())
            window->KillTimer(TIMER_SECTION_SCROLL);
        // The section just opened comes into view, its box above it, and the page moves no further:
        // a section reopened in the middle of the page stays where the user is looking.
        const SectionToggle* section = std::exchange(d.sectionToShow, nullptr);
        if (d.controls.settingScroll != nullptr && section != nullptr) {
            d.controls.settingScroll->EnsureVisible(section->container);
            d.controls.settingScroll->EnsureVisible(section->box);
        }
    } else if (id == TIMER_SEND_NOTICE) {
        if (MessageWindow* window = d.Window())
            window->KillTimer(TIMER_SEND_NOTICE);
        d.notice = Impl::SendNotice::None;
        d.RefreshSendState();
    }
}

void CMS_1_Page::OnAssignMenu(const QString& itemName) {
    Impl& d = *m_impl;
    if (d.Ready() && d.assign)
        d.assign->AssignFromMenu(itemName);
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
        window->KillTimer(TIMER_SEND_NOTICE);
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

CMenuWnd* CMS_1_Page::AssignMenu() const {
    return m_impl->assign ? m_impl->assign->Menu() : nullptr;
}

MacroStore* CMS_1_Page::Macros() {
    return m_impl->macros.get();
}

}  // namespace quillon
