#pragma once
// The settings page of the main window.
//
// `CMS_1_Page` is not a window: it is the handler of the notifications of every control that the
// main window's layout tags with the virtual window "MS_1_Page", and the owner of nearly all of
// the program's state. It is a composition root: it finds the page's controls once, builds the
// components that do the work (the profiles with their store, the device links and the worker, the
// apply and the status handling, the DPI and lighting section, the performance and power section,
// the button labels) and routes the notifications, window messages and timers to them.
//
// The main window drives it in this order (all on the UI thread):
//
//     m_page.Attach(*this, &m_hookOps);            // in InitWindow, before anything else
//     m_pm... AddVirtualWnd("MS_1_Page", &m_page);
//     m_page.Startup();                             // controls, worker, driver libraries, links,
//                                                   // then MSG_DEVICE_CHANGED is posted
//     ... language file, tray icon, Hook.so ...
//     m_page.LoadStores();                          // profiles and macros, list filled, Refresh
//
//     HandleCustomMessage: m_page.HandleWindowMessage(msg, wParam, lParam) takes 0x601..0x606
//                          and WM_TIMER 512..518 (517: the Bluetooth LE channel's connect,
//                          started by Startup when BlueZ is on the system bus)
//                          MSG_DEVICE_CHANGED -> m_page.DevicePresent() shows or hides the device
//     MSG_MENU_COMMAND, names starting with "ms_1" -> m_page.OnAssignMenu(name)
//
//     m_page.Shutdown();                            // on destruction (also run by ~CMS_1_Page)
//
// Shutdown waits for a running apply to end, closes both links, releases the driver libraries and
// saves the profile store one last time, so edits made while no mouse was connected are kept.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "device/device_links.h"
#include "platform/hook_ops.h"
#include "platform/messages.h"
#include "ui/notify_pump.h"

namespace quillon {

class CMenuWnd;
class WindowImplBase;
class ProfileState;
class BleBus;
class MacroStore;

// How long leaving the program waits for an apply: the length of a full write with macros.
inline constexpr std::uint64_t kExitApplyDeadlineMs = 15000;

// The picture of the mouse that the button labels point into: the largest image of the first
// paint, which the program decodes ahead while the window is built.
inline constexpr char kMousePictureImage[] = "skins/ms_1_mouse.png";

// Why no device is shown although one may be plugged in.
enum class DeviceAccess {
    Ok,                // a link is open, or no mouse or receiver is plugged in
    PermissionDenied,  // a mouse or receiver is there but this user may not open it (udev rule missing)
    OtherError,        // a mouse or receiver is there but could not be opened for another reason
};

class CMS_1_Page : public CNotifyPump {
public:
    // The page as the main window holds it: nothing found, nothing loaded, the first list
    // selection not yet seen.
    CMS_1_Page();
    ~CMS_1_Page() override;

    // The main window whose paint manager holds the page's controls, to which the page posts its
    // messages and on which it runs its timers; and the hook operations (may be null), passed on
    // to the dialogs that capture keys.
    void Attach(WindowImplBase& mainWindow, const HookOps* hooks);
    // Where the driver libraries come from; by default the program folder. Before Startup.
    void SetDriverLoader(DriverLoader loader);
    // Where the Bluetooth LE channel looks for BlueZ; by default the system bus. Before Startup.
    void SetBleBus(const BleBus& bus);

    // Finds every control of the page, starts the worker, loads the driver libraries, opens the
    // links and posts MSG_DEVICE_CHANGED to the main window; then starts the Bluetooth LE channel,
    // which connects (timer 517) when BlueZ is on the bus and stays idle otherwise.
    void Startup();

    // Loads the profiles and macros, fills the profile list, selects the stored profile (without
    // a notification), takes it as what the mouse holds and asks for a full write with the next
    // apply, and shows it.
    void LoadStores();

    // Whether a mouse or receiver link is present (read on MSG_DEVICE_CHANGED).
    bool DevicePresent() const;
    // Whether a device that is plugged in could not be opened, and why.
    DeviceAccess DeviceAccessProblem() const;

    // The main window's routing to the page: takes the device messages 0x601..0x606 and the
    // page's timers 512..518 (WM_TIMER), and returns whether the message was one of them.
    bool HandleWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Window messages 0x601..0x606 that the main window passes on.
    void OnDeviceMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Window timers 512..518 that the main window passes on.
    void OnTimer(UINT_PTR id);
    // A clicked item of the button-assignment menu: its function goes to the button whose menu
    // was opened last.
    void OnAssignMenu(const QString& itemName);
    // The assignment menu opened last (closed or open), null before the first; for the tests.
    CMenuWnd* AssignMenu() const;

    // The program is about to end (the main window is being destroyed, hidden already): an apply
    // waiting in timer 513, queued for the worker or running is finished while a link is awake,
    // so that an edit followed at once by "exit" still reaches the mouse. The wait ends after
    // kExitApplyDeadlineMs at the latest; changes not sent by then stay unsent.
    void FinishApplyBeforeExit();

    // Stops the worker (a running apply writes no further frame), closes the links, releases the
    // libraries and saves the profile store. Idempotent.
    void Shutdown();

    // A request line of quillon-cli (core/remote/command_request.h), carried out as the user's own
    // edit would be: the page shows the change, the apply sends it and the store is saved.
    // Returns the answer line. Requests that are not valid are refused in the answer.
    std::string HandleCommandRequest(std::string_view line);

    // The profiles the page shows and edits (null before Startup).
    ProfileState* Profiles();
    // The macros, which the macro editor (ms_1_btn_macro) changes (null before Startup).
    MacroStore* Macros();

private:
    struct Impl;
    friend class PageCommandHost;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace quillon
