#pragma once
// The window-message vocabulary that every window, control and worker of Quillon is written in.
//
// Quillon's handlers are written the way a desktop program on Windows writes them: a window gets
// numbered messages with two parameters and answers with a result. This header gives the types
// and the message numbers of that vocabulary, with the values the system messages have there, so
// that numbers which cross process or plugin boundaries (1025, 1027, 1037, 0x601, ...) mean the
// same thing everywhere. The machinery that carries the messages is in message_window.h (windows)
// and thread_queue.h (the worker's queue).

#include <cstdint>

#include "quillon/host_api.h"

namespace quillon {

using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;

// A window handle. It is the handle plugins get (host_api.h); it stays unique for the whole run,
// so a handle of a destroyed window never reaches a later one.
using HWND = QuillonWindow;

// One message as a queue holds it.
struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_MOVE = 0x0003;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_ACTIVATE = 0x0006;
inline constexpr UINT WM_SETFOCUS = 0x0007;
inline constexpr UINT WM_KILLFOCUS = 0x0008;
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_SYSKEYDOWN = 0x0104;
inline constexpr UINT WM_SYSKEYUP = 0x0105;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
inline constexpr UINT WM_MBUTTONDOWN = 0x0207;
inline constexpr UINT WM_MBUTTONUP = 0x0208;
inline constexpr UINT WM_MOUSEWHEEL = 0x020A;
inline constexpr UINT WM_XBUTTONDOWN = 0x020B;
inline constexpr UINT WM_XBUTTONUP = 0x020C;
inline constexpr UINT WM_DEVICECHANGE = 0x0219;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

// WM_SYSCOMMAND's wParam.
inline constexpr WPARAM SC_MINIMIZE = 0xF020;
inline constexpr WPARAM SC_MAXIMIZE = 0xF030;
inline constexpr WPARAM SC_CLOSE = 0xF060;
inline constexpr WPARAM SC_RESTORE = 0xF120;

// ShowWindow's commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;

// The shortest period a window timer runs at; shorter requests are raised to it, so that a zero
// period cannot turn a timer into a busy loop.
inline constexpr UINT USER_TIMER_MINIMUM = 10;

// The program's own message and timer numbers: the one place they are defined, for the code and
// the tests alike. Numbers that plugins post (0x601..0x604, 1034) are part of their interface.
//
// To the main window:
inline constexpr UINT MSG_TRAY_NOTIFY = WM_USER + 1;         // 1025, tray icon
inline constexpr UINT MSG_MENU_COMMAND = WM_USER + 3;        // 1027, menus (tray, assignment)
inline constexpr UINT MSG_HOOK_EVENT = WM_USER + 10;         // 1034, input-hook library
inline constexpr UINT MSG_ACTIVATE_INSTANCE = WM_USER + 13;  // 1037, a second start
inline constexpr UINT MSG_DEVICE_CHANGED = 0x468;            // page: a link's state changed
inline constexpr UINT MSG_DPI_STAGE_REPORTED = 0x469;        // page: the mouse reported a stage
// From the driver libraries (and the page itself), handed on by the main window to the page:
inline constexpr UINT MSG_WIRELESS_REPORT = 0x601;  // a status report through the receiver
inline constexpr UINT MSG_WIRELESS_PLUG = 0x602;    // the receiver arrived (wParam 1) or left (0)
inline constexpr UINT MSG_WIRED_REPORT = 0x603;     // a status report through the cable
inline constexpr UINT MSG_WIRED_PLUG = 0x604;       // the cable arrived or left
inline constexpr UINT MSG_APPLY_REQUEST = 0x605;    // page to page, forwarded to the worker
inline constexpr UINT MSG_DEVICE_MESSAGE_FIRST = MSG_WIRELESS_REPORT;
inline constexpr UINT MSG_DEVICE_MESSAGE_LAST = 0x606;
// To the worker thread:
inline constexpr UINT THREAD_MSG_APPLY = 0x600;
// The page to its own notice window: show the queued notices about the profile store.
inline constexpr UINT MSG_STORE_NOTICE = WM_APP + 0x52;
// The profile store's writer thread to the page: saves were written, their results wait to be heard.
inline constexpr UINT MSG_STORE_SAVED = WM_APP + 0x53;

// Timers of the main window, handled by the page.
inline constexpr UINT_PTR TIMER_WIRELESS_WATCHDOG = 512;  // 6 s without a receiver report: asleep
inline constexpr UINT_PTR TIMER_APPLY_DEBOUNCE = 513;     // gathers quick edits into one apply
inline constexpr UINT_PTR TIMER_SECTION_SCROLL = 514;     // a section box opening or closing
inline constexpr UINT_PTR TIMER_CHARGE_ANIMATION = 515;   // the battery bar while charging
inline constexpr UINT_PTR TIMER_SEND_NOTICE = 516;        // "Sent" / "Nothing to send" fades
inline constexpr UINT_PTR TIMER_BLE_CONNECT = 517;        // the Bluetooth LE channel's connect
inline constexpr UINT_PTR TIMER_WIRED_WATCHDOG = 518;     // 6 s without a cable report: asleep
inline constexpr UINT_PTR TIMER_PAGE_FIRST = TIMER_WIRELESS_WATCHDOG;
inline constexpr UINT_PTR TIMER_PAGE_LAST = TIMER_WIRED_WATCHDOG;
// Control timers of the page (CPaintManagerUI::SetTimer, "timer" notifications).
inline constexpr UINT TIMER_DPI_EDIT_FLASH = 1100;  // a DPI edit that corrected a typed value

}  // namespace quillon
