#include "cli/standalone_host.h"

#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QXmlStreamReader>

#include <functional>

#include "core/store/profile_state.h"
#include "device/apply.h"
#include "device/device_links.h"
#include "device/status_handling.h"
#include "platform/folders.h"
#include "platform/message_window.h"

namespace quillon {
namespace {

// A save that failed is said on the standard error, with the file and the system's reason.
void ReportSave(const WriteResult& result) {
    if (result.status != WriteStatus::Written)
        std::fprintf(stderr, "quillon-cli: the profile store could not be saved: %s\n",
                     WriteFailureReason(result).c_str());
}

// The name of the profile made when the store holds none: the window's, from its language file.
std::u16string NewProfileName() {
    QFile file(QString::fromStdString((ResourceFolder() / "lan.xml").string()));
    if (file.open(QIODevice::ReadOnly)) {
        QXmlStreamReader xml(&file);
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QStringLiteral("text") &&
                xml.attributes().value(QStringLiteral("key")) == QStringLiteral("add_profile_text"))
                return xml.readElementText().toStdU16String();
        }
    }
    return u"Profile ";
}

// The page's controls, of which the command line has none: what the status handling would show
// is only noted.
class RecordingStatusView final : public StatusView {
public:
    void SetLinkIndicatorVisible(Link, bool) override {}
    void SetSleepNoticeVisible(bool) override {}
    void ShowPowerLevel(int) override { charging = false; }
    void ShowChargingText() override { charging = true; }
    void ClearPowerLabel() override {}
    void SetPowerBar(int) override {}
    void SelectDpiStage(int) override {}
    void SetDpiStageEnabled(int) override {}
    void MarkCurrentDpiEdit() override {}
    void SelectPollingRate(int) override {}
    void SelectLightEffect(int) override {}
    void ShowLightLayout() override {}
    void ShowLinkSections(LinkSections) override {}
    bool SetApplyRingVisible(bool) override { return false; }

    bool charging = false;
};

// Runs the event loop until `done` holds or `timeoutMs` passed; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
    if (done())
        return true;
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || elapsed.elapsed() >= timeoutMs)
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

}  // namespace

struct StandaloneHost::Impl {
    // The declaration order is the page's: the links, with their worker, go first.
    MessageWindow window;
    std::unique_ptr<ProfileState> profiles;
    RecordingStatusView view;
    std::unique_ptr<StatusHandling> status;
    std::unique_ptr<DeviceReportLinks> reportLinks;
    std::unique_ptr<ApplySequence> apply;
    std::unique_ptr<ApplyRequests> requests;
    std::unique_ptr<DeviceLinks> links;
    bool started = false;
    bool shutDown = false;
    bool changed = false;  // a command changed the profiles: the exit saves them once more

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        if (message >= MSG_DEVICE_MESSAGE_FIRST && message <= MSG_DEVICE_MESSAGE_LAST && links) {
            if (!status->HandleStatusMessage(message, wParam, lParam))
                links->HandleDeviceMessage(message, wParam, lParam);
        } else if (message == WM_TIMER && status) {
            if (!requests->OnTimer(wParam))
                status->OnTimer(wParam);
        }
        return 0;
    }
    bool ApplyFinished() const { return !links->ApplyQueuedOrRunning() && !apply->HasPendingUiSteps(); }
};

StandaloneHost::StandaloneHost() : m_impl(std::make_unique<Impl>()) {
    Impl* impl = m_impl.get();
    impl->window.SetHandler([impl](UINT message, WPARAM wParam, LPARAM lParam) {
        return impl->OnMessage(message, wParam, lParam);
    });
}

StandaloneHost::~StandaloneHost() {
    Shutdown();
}

void StandaloneHost::Start(Mouse mouse) {
    Impl& d = *m_impl;
    if (d.started)
        return;
    d.started = true;
    d.profiles = std::make_unique<ProfileState>(std::make_unique<ProfileStore>(DataFolder()));
    const LoadReport report = d.profiles->Load(NewProfileName());
    if (report.backupKept)
        std::fprintf(stderr,
                     "quillon-cli: the profile store was damaged and has been repaired; the damaged file is "
                     "kept as %s\n",
                     report.backupPath.c_str());
    d.requests = std::make_unique<ApplyRequests>(d.window);
    d.status = std::make_unique<StatusHandling>(d.window, *d.profiles, d.view);
    Impl* impl = &d;
    d.links =
        std::make_unique<DeviceLinks>(d.window, *d.status, [impl](WPARAM, LPARAM) { impl->apply->Apply(); });
    d.reportLinks = std::make_unique<DeviceReportLinks>(*d.links);
    d.apply = std::make_unique<ApplySequence>(*d.profiles, *d.reportLinks, *d.status, *d.status);
    d.status->SetLinks(d.links.get());
    if (mouse == Mouse::Open)
        d.links->Start();
}

void StandaloneHost::Shutdown() {
    Impl& d = *m_impl;
    if (!d.started || d.shutDown)
        return;
    d.shutDown = true;
    d.window.KillTimer(TIMER_APPLY_DEBOUNCE);
    d.apply->BeginShutdown();
    d.links->Shutdown();
    d.apply->RunPendingUiSteps();
    // A command that only read leaves the file alone.
    if (d.changed && d.profiles->Selected() != nullptr)
        ReportSave(d.profiles->SaveOnExit());
}

ProfileState& StandaloneHost::Profiles() {
    return *m_impl->profiles;
}

MouseStatus StandaloneHost::Status() {
    Impl& d = *m_impl;
    // A mouse that is there reports its power within a second or two; the battery comes with it.
    if (d.links->AnyLinkOpen())
        PumpUntil(
            [&d] {
                // The cable carries no battery level; the receiver does, with its first power report.
                return d.links->AnyLinkAwake() && (!d.links->IsAwake(Link::Wireless) ||
                                                   d.status->battery_level() > 0 || d.view.charging);
            },
            kWakeWaitMs);
    MouseStatus status;
    status.wiredOpen = d.links->wired_state() == LinkState::Open;
    status.wirelessOpen = d.links->wireless_state() == LinkState::Open;
    status.wiredAwake = d.links->IsAwake(Link::Wired);
    status.wirelessAwake = d.links->IsAwake(Link::Wireless);
    status.battery = d.status->battery_level();
    status.charging = d.view.charging;
    return status;
}

CommandHost::Delivery StandaloneHost::Changed(Change change) {
    Impl& d = *m_impl;
    d.changed = true;
    if (change == Change::Added)
        return Delivery::Sent;  // the import saved the list; the mouse holds the selected profile only
    if (change == Change::Selected)
        d.profiles->RequestFullWrite(FullWriteReason::UserChange);
    // The change is kept whatever happens next.
    ReportSave(d.profiles->Save());
    if (!d.links->AnyLinkOpen() || !PumpUntil([&d] { return d.links->AnyLinkAwake(); }, kWakeWaitMs))
        return Delivery::NoMouse;
    // A link that woke with changes the mouse lacks asks for an apply on its own; otherwise ask.
    QCoreApplication::sendPostedEvents();
    if (!d.links->ApplyQueuedOrRunning())
        d.requests->RequestNow();
    QCoreApplication::sendPostedEvents();
    if (!PumpUntil([&d] { return d.ApplyFinished(); }, kApplyWaitMs)) {
        d.apply->StopAt(0);
        PumpUntil([&d] { return d.ApplyFinished(); }, kApplyWaitMs);
    }
    return d.profiles->HasUnsentUserChanges() ? Delivery::NoMouse : Delivery::Sent;
}

}  // namespace quillon
