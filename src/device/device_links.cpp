#include "device/device_links.h"

#include "platform/folders.h"
#include "platform/services.h"

namespace quillon {

DriverLibrary LoadFromProgramFolder(const char* fileName) {
    return LoadDriverLibrary(ProgramFolder() / fileName);
}

DeviceLinks::DeviceLinks(MessageWindow& mainWindow, LinkView& view, ApplyTask apply, DriverLoader loader)
    : m_window(mainWindow), m_view(view), m_apply(std::move(apply)), m_loader(std::move(loader)) {}

DeviceLinks::~DeviceLinks() {
    Shutdown();
}

void DeviceLinks::Start() {
    if (m_started)
        return;
    m_started = true;

    m_worker = std::thread([this] { WorkerLoop(); });

    m_libraries[0] = m_loader(kWiredDriverFile);
    m_libraries[1] = m_loader(kWirelessDriverFile);

    const DriverApi& wired = Api(Link::Wired);
    bool wiredOpen = false;
    if (wired.IsComplete()) {
        wired.Set_VIDPID(kWiredVendorId, kWiredProductId);
        wired.Open_DevMonitor(m_window.handle(), MSG_WIRED_REPORT, MSG_WIRED_PLUG);
        wiredOpen = OpenLink(Link::Wired);
    }
    if (wiredOpen) {
        m_state[0] = LinkState::Open;
        m_view.SetSleepNoticeVisible(false);
        m_view.ShowCharging(LinkView::ChargeAnimation::Continue);
        m_window.SetTimer(TIMER_WIRED_WATCHDOG, kWatchdogMs);
        m_view.SetLinkIndicatorVisible(Link::Wired, true);
    } else {
        m_state[0] = LinkState::NotOpen;
        m_view.SetSleepNoticeVisible(true);
        m_view.SetLinkIndicatorVisible(Link::Wired, false);
        SetAwake(Link::Wired, false);
    }

    const DriverApi& wireless = Api(Link::Wireless);
    bool wirelessOpen = false;
    if (wireless.IsComplete()) {
        wireless.Set_VIDPID(kWirelessVendorId, kWirelessProductId);
        wireless.Open_DevMonitor(m_window.handle(), MSG_WIRELESS_REPORT, MSG_WIRELESS_PLUG);
        wirelessOpen = OpenLink(Link::Wireless);
    }
    if (wirelessOpen) {
        m_state[1] = LinkState::Open;
        m_window.SetTimer(TIMER_WIRELESS_WATCHDOG, kWatchdogMs);
        m_view.SetLinkIndicatorVisible(Link::Wireless, true);
    } else {
        m_state[1] = LinkState::NotOpen;
        SetAwake(Link::Wireless, false);
        m_view.SetLinkIndicatorVisible(Link::Wireless, false);
    }

    m_bleState = LinkState::NotOpen;
    UpdateDevicePresent(PostChange::Always);
}

void DeviceLinks::Shutdown() {
    if (!m_started || m_shutDown)
        return;
    m_shutDown = true;
    // The worker may be in the middle of an apply; it finishes it, then takes WM_QUIT. It never
    // waits for the UI thread, so waiting here without a limit cannot deadlock.
    m_queue.PostThreadMessage(WM_QUIT, 0, 0);
    m_worker.join();

    CancelReopen(Link::Wired);
    CancelReopen(Link::Wireless);
    for (Link link : {Link::Wired, Link::Wireless}) {
        const DriverApi& api = Api(link);
        if (!api.IsComplete())
            continue;
        std::lock_guard lock(m_linkLock[Index(link)]);
        api.Close_FeatureDevice();
        api.Close_DevMonitor();
        api.Close_ReportDevice();
    }
    for (DriverLibrary& library : m_libraries) {
        library.api = {};
        library.module.Free();
    }
}

void DeviceLinks::WorkerLoop() {
    MSG msg;
    while (m_queue.GetMessage(msg)) {
        if (msg.message != THREAD_MSG_APPLY)
            continue;
        // With no open link there is nothing to write to; the request is dropped.
        if (AnyLinkOpen() && m_apply)
            m_apply(msg.wParam, msg.lParam);
        --m_appliesOutstanding;
    }
}

bool DeviceLinks::AnyLinkAwake() const {
    for (Link link : {Link::Wired, Link::Wireless}) {
        if (State(link) == LinkState::Open && IsAwake(link))
            return true;
    }
    return false;
}

bool DeviceLinks::AnyLinkOpen() const {
    return m_state[0] == LinkState::Open || m_state[1] == LinkState::Open || m_bleState == LinkState::Open;
}

int DeviceLinks::WriteReport(Link link, std::span<const std::uint8_t, 64> report) {
    std::lock_guard lock(m_linkLock[Index(link)]);
    const DriverApi& api = Api(link);
    if (m_state[Index(link)] != LinkState::Open || api.WriteUSB == nullptr)
        return -1;
    return api.WriteUSB(report.data(), static_cast<int>(report.size()));
}

bool DeviceLinks::HandleDeviceMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case MSG_WIRELESS_PLUG:
        OnWirelessPlug(wParam);
        return true;
    case MSG_WIRED_PLUG:
        OnWiredPlug(wParam);
        return true;
    case MSG_APPLY_REQUEST:
        if (m_started && !m_shutDown) {
            ++m_appliesOutstanding;
            m_queue.PostThreadMessage(THREAD_MSG_APPLY, wParam, lParam);
        }
        return true;
    default:
        return false;
    }
}

bool DeviceLinks::OpenLink(Link link) {
    const DriverApi& api = Api(link);
    std::lock_guard lock(m_linkLock[Index(link)]);
    api.Open_FeatureDevice();
    const bool opened = api.Open_ReportDevice() != 0;
    RecordOpenError(link, opened);
    return opened;
}

void DeviceLinks::CloseLink(Link link) {
    const DriverApi& api = Api(link);
    std::lock_guard lock(m_linkLock[Index(link)]);
    api.Close_FeatureDevice();
    m_state[Index(link)] = LinkState::Removed;
    // A link that comes back counts as asleep until its mouse reports, so that its first report
    // wakes it and sends what the user changed meanwhile.
    SetAwake(link, false);
    api.Close_ReportDevice();
}

void DeviceLinks::RecordOpenError(Link link, bool opened) {
    const DriverApi& api = Api(link);
    m_openError[Index(link)] = opened || api.Get_OpenError == nullptr ? QUILLON_OPEN_OK : api.Get_OpenError();
}

void DeviceLinks::OnWirelessPlug(WPARAM arrived) {
    if (!m_started || m_shutDown || !Api(Link::Wireless).IsComplete())
        return;
    if (arrived == 1 && m_state[1] != LinkState::Open) {
        ScheduleReopen(Link::Wireless);
    } else if (arrived == 0) {
        // A removal within the second after an arrival: the device is gone again, nothing to open.
        CancelReopen(Link::Wireless);
        if (m_state[1] == LinkState::Removed)
            return;
        m_view.SetLinkIndicatorVisible(Link::Wireless, false);
        CloseLink(Link::Wireless);
        m_view.RefreshLinkSections();
        m_window.KillTimer(TIMER_WIRELESS_WATCHDOG);
        UpdateDevicePresent(PostChange::IfChanged);
    }
}

void DeviceLinks::OnWiredPlug(WPARAM arrived) {
    if (!m_started || m_shutDown || !Api(Link::Wired).IsComplete())
        return;
    if (arrived == 1 && m_state[0] != LinkState::Open) {
        ScheduleReopen(Link::Wired);
    } else if (arrived == 0) {
        CancelReopen(Link::Wired);
        if (m_state[0] == LinkState::Removed)
            return;
        CloseLink(Link::Wired);
        m_view.SetSleepNoticeVisible(true);
        m_view.SetLinkIndicatorVisible(Link::Wired, false);
        m_view.RefreshLinkSections();
        m_view.ClearPowerLabel();
        m_window.KillTimer(TIMER_CHARGE_ANIMATION);
        UpdateDevicePresent(PostChange::IfChanged);
    }
}

void DeviceLinks::SetBleState(LinkState state) {
    if (!m_started || m_shutDown || state == m_bleState)
        return;
    m_bleState = state;
    m_view.SetSleepNoticeVisible(state != LinkState::Open && !IsAwake(Link::Wired) &&
                                 !IsAwake(Link::Wireless));
    m_view.RefreshLinkSections();
    UpdateDevicePresent(PostChange::IfChanged);
}

void DeviceLinks::ScheduleReopen(Link link, std::size_t attempt) {
    // A second arrival while a wait runs reopens nothing more.
    if (m_reopenTimer[Index(link)] != 0)
        return;
    m_reopenTimer[Index(link)] = services().timers().StartTimer(
        kReopenWaitsMs[attempt], [this, link, attempt] { OnReopenTimer(link, attempt); });
}

void DeviceLinks::OnReopenTimer(Link link, std::size_t attempt) {
    CancelReopen(link);
    const LastTry last = attempt + 1 == kReopenWaitsMs.size() ? LastTry::Yes : LastTry::No;
    if (ReopenLink(link, last)) {
        if (link == Link::Wired)
            OnWiredReopened();
        else
            OnWirelessReopened();
    } else if (last == LastTry::No) {
        ScheduleReopen(link, attempt + 1);
    }
}

void DeviceLinks::CancelReopen(Link link) {
    TimerId& timer = m_reopenTimer[Index(link)];
    if (timer != 0)
        services().timers().StopTimer(timer);
    timer = 0;
}

bool DeviceLinks::ReopenLink(Link link, LastTry last) {
    const DriverApi& api = Api(link);
    bool opened = false;
    {
        std::lock_guard lock(m_linkLock[Index(link)]);
        api.Open_FeatureDevice();
        opened = api.Open_ReportDevice() != 0;
        // A failure counts once the last try has failed: until then it may be a race with udev.
        if (opened || last == LastTry::Yes)
            RecordOpenError(link, opened);
        if (opened)
            m_state[Index(link)] = LinkState::Open;
    }
    if (!opened && last == LastTry::Yes) {
        // The device arrived but cannot be opened, typically because this user lacks access to it.
        // The link stays closed rather than looking open while every write fails, and the main
        // window hears of it, so that it can tell the user why no mouse is shown. The next arrival
        // tries again.
        UpdateDevicePresent(PostChange::Always);
    }
    return opened;
}

// After a successful reopen: the link shows as it does at start-up.
void DeviceLinks::OnWirelessReopened() {
    m_view.SetLinkIndicatorVisible(Link::Wireless, true);
    m_view.RefreshLinkSections();
    m_window.SetTimer(TIMER_WIRELESS_WATCHDOG, kWatchdogMs);
    UpdateDevicePresent(PostChange::IfChanged);
}

void DeviceLinks::OnWiredReopened() {
    m_view.RefreshLinkSections();
    // A cable that was just plugged in charges the mouse; show it before the mouse reports anything.
    m_view.ShowCharging(LinkView::ChargeAnimation::Restart);
    UpdateDevicePresent(PostChange::IfChanged);
}

void DeviceLinks::UpdateDevicePresent(PostChange post) {
    // A device is present while any link is open. Each plug event recomputes it from every link,
    // so the removal of one link never hides a mouse that is still connected through the other.
    const int present = AnyLinkOpen() ? 1 : 0;
    const bool changed = present != m_devicePresent;
    m_devicePresent = present;
    if (changed || post == PostChange::Always)
        quillon::PostMessage(m_window.handle(), MSG_DEVICE_CHANGED, 0, 0);
}

bool DeviceReportLinks::WriteReport(Link link, const Report& report) {
    // The driver's own result is not examined; -1 means the link was closed and nothing was written.
    return m_links.WriteReport(link, std::span<const std::uint8_t, 64>(report)) != -1;
}

}  // namespace quillon
