#include "input_hook.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <array>
#include <cstdlib>
#include <memory>

#include "core/keys/key_tables.h"
#include "platform/keyboard/keyboard_layout_xkb.h"
#include "platform/messages.h"

namespace quillon::hook {
namespace {

// X keycodes are evdev key codes plus 8; the keyboard layout is indexed by evdev code.
constexpr uint32_t kEvdevOffset = 8;

// The X button numbers of a pointer: 4..7 are the wheel, 8 and 9 the back and forward buttons.
constexpr uint32_t kLeftButton = 1, kMiddleButton = 2, kRightButton = 3, kBackButton = 8, kForwardButton = 9;

// The lParam that tells the side buttons apart, as Windows numbers them (XBUTTON1, XBUTTON2).
constexpr intptr_t kFirstSideButton = 1, kSecondSideButton = 2;

constexpr intptr_t kKeyPressed = 0, kKeyReleased = 1;

struct ButtonMessage {
    UINT message = 0;  // 0: a button that is not reported (the wheel, extra buttons)
    intptr_t lParam = 0;
};

ButtonMessage ButtonEvent(uint32_t button, bool pressed) {
    switch (button) {
    case kLeftButton:
        return {pressed ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0};
    case kRightButton:
        return {pressed ? WM_RBUTTONDOWN : WM_RBUTTONUP, 0};
    case kMiddleButton:
        return {pressed ? WM_MBUTTONDOWN : WM_MBUTTONUP, 0};
    case kBackButton:
        return {pressed ? WM_XBUTTONDOWN : WM_XBUTTONUP, kFirstSideButton};
    case kForwardButton:
        return {pressed ? WM_XBUTTONDOWN : WM_XBUTTONUP, kSecondSideButton};
    default:
        return {};
    }
}

// An X connection of the hook's own. XCB reports a broken connection as a state instead of ending
// the process as Xlib would: a desktop whose X server goes away (XWayland stopped, say) leaves the
// program running.
struct Connection {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    uint8_t inputOpcode = 0;

    ~Connection() {
        if (connection != nullptr)
            xcb_disconnect(connection);
    }

    // True when the display named by DISPLAY accepts the connection and offers raw events
    // (XInput 2.0 or later).
    bool Open() {
        int screenNumber = 0;
        connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(connection))
            return false;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        if (screens.rem == 0)
            return false;
        root = screens.data->root;
        const xcb_query_extension_reply_t* input = xcb_get_extension_data(connection, &xcb_input_id);
        if (input == nullptr || !input->present)
            return false;
        inputOpcode = input->major_opcode;
        xcb_input_xi_query_version_reply_t* version = xcb_input_xi_query_version_reply(
            connection, xcb_input_xi_query_version(connection, 2, 2), nullptr);
        const bool raw = version != nullptr && version->major_version >= 2;
        std::free(version);
        return raw;
    }

    // Asks the server for exactly these events and waits until it has taken the request.
    void Select(uint32_t events) {
        struct {
            xcb_input_event_mask_t head;
            uint32_t mask;
        } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, events};
        std::free(xcb_request_check(
            connection, xcb_input_xi_select_events_checked(connection, root, 1, &selection.head)));
    }
};

}  // namespace

InputHook::InputHook(QuillonPostMessageFn post) : m_post(post) {}

InputHook::~InputHook() {
    Remove();
}

bool InputHook::Install(QuillonWindow window) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_joining; });
    // A thread that ended on its own lost its server; a fresh install tries again.
    if (m_state == ThreadState::Ended)
        JoinLocked(lock);
    if (m_state == ThreadState::Idle) {
        m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_wakeFd < 0)
            return false;
        m_stop = false;
        m_state = ThreadState::Starting;
        m_thread = std::thread([this] { Run(); });
        m_changed.wait(lock, [this] { return m_state != ThreadState::Starting; });
        if (m_state != ThreadState::Listening) {
            JoinLocked(lock);
            return false;
        }
    }
    m_window = window;
    // Reporting turned on before the install starts now.
    if (m_keys || m_buttons)
        ApplySelectionLocked(lock);
    return true;
}

void InputHook::Remove() {
    std::unique_lock lock(m_mutex);
    m_window = nullptr;
    m_keys = false;
    m_buttons = false;
    if (m_state != ThreadState::Idle)
        JoinLocked(lock);
}

void InputHook::EnableKeys(bool enable) {
    std::unique_lock lock(m_mutex);
    m_keys = enable;
    ApplySelectionLocked(lock);
}

void InputHook::EnableButtons(bool enable) {
    std::unique_lock lock(m_mutex);
    m_buttons = enable;
    ApplySelectionLocked(lock);
}

void InputHook::ApplySelectionLocked(std::unique_lock<std::mutex>& lock) {
    if (m_state != ThreadState::Listening)
        return;
    const uint64_t wanted = ++m_selectionWanted;
    Wake();
    m_changed.wait(lock, [&] { return m_selectionApplied >= wanted || m_state != ThreadState::Listening; });
}

void InputHook::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

void InputHook::JoinLocked(std::unique_lock<std::mutex>& lock) {
    if (m_joining) {
        // Another caller is stopping the thread already; done when it is.
        m_changed.wait(lock, [this] { return !m_joining; });
        return;
    }
    m_joining = true;
    m_stop = true;
    Wake();
    std::thread thread = std::move(m_thread);
    lock.unlock();
    if (thread.joinable())
        thread.join();
    lock.lock();
    close(m_wakeFd);
    m_wakeFd = -1;
    m_state = ThreadState::Idle;
    m_selectionWanted = m_selectionApplied = 0;
    m_joining = false;
    m_changed.notify_all();
}

void InputHook::Report(bool isKey, uintptr_t wParam, intptr_t lParam) {
    // Checked under the lock: once an enable(false) or a remove has returned, nothing of what it
    // turned off is posted, even if the server had sent it a moment before.
    std::lock_guard lock(m_mutex);
    if (m_window == nullptr || !(isKey ? m_keys : m_buttons) || m_post == nullptr)
        return;
    m_post(m_window, MSG_HOOK_EVENT, wParam, lParam);
}

void InputHook::Run() {
    Connection x;
    const bool usable = x.Open();
    // The layout of the same server names the keys. It follows the server's keyboard state, so it
    // exists only while keys are reported.
    std::unique_ptr<KeyboardLayout> layout;
    {
        std::lock_guard lock(m_mutex);
        m_state = usable ? ThreadState::Listening : ThreadState::Failed;
    }
    m_changed.notify_all();
    if (!usable)
        return;

    const int xFd = xcb_get_file_descriptor(x.connection);
    while (xcb_connection_has_error(x.connection) == 0) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(x.connection)) {
            const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
            if ((event->response_type & 0x7f) == XCB_GE_GENERIC && generic->extension == x.inputOpcode) {
                // The key and button raw events share one layout.
                const uint32_t detail =
                    reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event)->detail;
                switch (generic->event_type) {
                case XCB_INPUT_RAW_KEY_PRESS:
                case XCB_INPUT_RAW_KEY_RELEASE:
                    if (const uint32_t vk = layout ? layout->VkOfScanCode(detail - kEvdevOffset) : 0)
                        Report(true, vk,
                               generic->event_type == XCB_INPUT_RAW_KEY_PRESS ? kKeyPressed : kKeyReleased);
                    break;
                case XCB_INPUT_RAW_BUTTON_PRESS:
                case XCB_INPUT_RAW_BUTTON_RELEASE:
                    if (const ButtonMessage button =
                            ButtonEvent(detail, generic->event_type == XCB_INPUT_RAW_BUTTON_PRESS);
                        button.message != 0)
                        Report(false, button.message, button.lParam);
                    break;
                default:
                    break;
                }
            }
            std::free(event);
        }
        if (xcb_connection_has_error(x.connection) != 0)
            break;

        std::array<pollfd, 2> fds = {pollfd{xFd, POLLIN, 0}, pollfd{m_wakeFd, POLLIN, 0}};
        if (poll(fds.data(), fds.size(), -1) < 0 || (fds[1].revents & POLLIN) == 0)
            continue;  // events to read, or a signal
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(m_wakeFd, &count, sizeof count);

        uint32_t events = 0;
        uint64_t wanted = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                break;
            // Only what is being reported is asked of the server: with both off it sends nothing.
            if (m_keys)
                events |= XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
            if (m_buttons)
                events |=
                    XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE;
            wanted = m_selectionWanted;
        }
        if (events & XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS) {
            if (!layout)
                layout = CreateDesktopKeyboardLayout();
        } else {
            layout.reset();
        }
        x.Select(events);
        {
            std::lock_guard lock(m_mutex);
            m_selectionApplied = wanted;
        }
        m_changed.notify_all();
    }

    {
        std::lock_guard lock(m_mutex);
        m_state = ThreadState::Ended;
    }
    m_changed.notify_all();
}

}  // namespace quillon::hook
