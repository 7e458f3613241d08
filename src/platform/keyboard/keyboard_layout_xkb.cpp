#include "platform/keyboard/keyboard_layout_xkb.h"

#include "core/keys/fixed_keyboard_layout.h"
#include "core/keys/keysym_vk.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>
// The XKB protocol header names a structure field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace quillon {
namespace {

// Evdev key codes are X keycodes minus 8.
constexpr uint32_t kEvdevOffset = 8;

// Entry `index` of a comma-separated list such as "us,fr"; empty when the list is shorter.
std::string_view ListEntry(std::string_view list, uint32_t index) {
    for (uint32_t i = 0; i < index; ++i) {
        const auto comma = list.find(',');
        if (comma == std::string_view::npos) {
            return {};
        }
        list.remove_prefix(comma + 1);
    }
    return list.substr(0, list.find(','));
}

const char* OrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

struct XkbKeyboardLayout::Impl {
    xkb_context* context = nullptr;
    xkb_keymap* keymap = nullptr;
    // X11 only: the server's keyboard state, which says which group is active.
    xkb_state* state = nullptr;
    xcb_connection_t* connection = nullptr;
    int32_t deviceId = -1;
    uint8_t xkbEventBase = 0;
    xcb_window_t root = 0;

    // Comma lists of the layouts and variants of the keymap's groups, when known.
    std::string layouts;
    std::string variants;

    xkb_layout_index_t group = 0;
    std::array<uint32_t, VkMap::kKeyCount> baseKeysym{};
    VkMap map;

    ~Impl() {
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
        if (connection != nullptr) {
            xcb_disconnect(connection);
        }
    }

    xkb_layout_index_t ActiveGroup() const {
        return state != nullptr ? xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE) : 0;
    }

    std::string LayoutName() const {
        const std::string_view shortName = ListEntry(layouts, group);
        if (!shortName.empty()) {
            return std::string(shortName);
        }
        const char* descriptive = xkb_keymap_layout_get_name(keymap, group);
        return descriptive != nullptr ? descriptive : "";
    }

    // Reads the keysyms of every key in the active group and assigns the virtual keys anew.
    void Rebuild() {
        group = ActiveGroup();
        baseKeysym.fill(0);
        std::vector<LayoutKey> keys;
        for (uint32_t evdev = 1; evdev < VkMap::kKeyCount; ++evdev) {
            const xkb_keycode_t keycode = evdev + kEvdevOffset;
            if (keycode < xkb_keymap_min_keycode(keymap) || keycode > xkb_keymap_max_keycode(keymap)) {
                continue;
            }
            const xkb_layout_index_t groups = xkb_keymap_num_layouts_for_key(keymap, keycode);
            if (groups == 0) {
                continue;
            }
            // A key with fewer groups than the keymap wraps around, as XKB does by default.
            const xkb_layout_index_t keyGroup = group % groups;
            const auto levelSym = [&](xkb_level_index_t level) -> uint32_t {
                const xkb_keysym_t* syms = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(keymap, keycode, keyGroup, level, &syms);
                return count > 0 ? syms[0] : 0;
            };
            LayoutKey key{evdev, levelSym(0), levelSym(1)};
            if (key.keysym == 0) {
                continue;
            }
            baseKeysym[evdev] = key.keysym;
            keys.push_back(key);
        }
        const std::string name = LayoutName();
        map = VkMap::Build(keys, OemConventionForLayout(name, ListEntry(variants, group)));
    }

    // The RMLVO names that setxkbmap and the desktop leave on the root window, which tell the short
    // layout names ("fr") behind the keymap's descriptive ones ("French").
    void ReadRulesNames() {
        layouts.clear();
        variants.clear();
        static constexpr std::string_view kProperty = "_XKB_RULES_NAMES";
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 1, static_cast<uint16_t>(kProperty.size()), kProperty.data()),
            nullptr);
        if (atom == nullptr) {
            return;
        }
        const xcb_atom_t property = atom->atom;
        std::free(atom);
        if (property == XCB_ATOM_NONE) {
            return;
        }
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, root, property, XCB_ATOM_STRING, 0, 1024), nullptr);
        if (reply == nullptr) {
            return;
        }
        const char* value = static_cast<const char*>(xcb_get_property_value(reply));
        const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply));
        // rules, model, layout, variant, options; each ends with a NUL.
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t i = 0; i <= length; ++i) {
            if (i == length || value[i] == '\0') {
                fields.emplace_back(value + start, i - start);
                start = i + 1;
            }
        }
        std::free(reply);
        if (fields.size() >= 4) {
            layouts = fields[2];
            variants = fields[3];
        }
    }

    bool LoadX11Keymap() {
        xkb_keymap* newKeymap =
            xkb_x11_keymap_new_from_device(context, connection, deviceId, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (newKeymap == nullptr) {
            return false;
        }
        xkb_state* newState = xkb_x11_state_new_from_device(newKeymap, connection, deviceId);
        if (newState == nullptr) {
            xkb_keymap_unref(newKeymap);
            return false;
        }
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
        keymap = newKeymap;
        state = newState;
        ReadRulesNames();
        return true;
    }

    bool SelectKeyboardEvents() {
        constexpr uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                    XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
        constexpr uint16_t mapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                                      XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS |
                                      XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_VIRTUAL_MODS |
                                      XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
        constexpr uint16_t stateParts = XCB_XKB_STATE_PART_GROUP_BASE | XCB_XKB_STATE_PART_GROUP_LATCH |
                                        XCB_XKB_STATE_PART_GROUP_LOCK | XCB_XKB_STATE_PART_MODIFIER_BASE |
                                        XCB_XKB_STATE_PART_MODIFIER_LATCH | XCB_XKB_STATE_PART_MODIFIER_LOCK;
        xcb_xkb_select_events_details_t details{};
        details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
        details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
        details.affectState = stateParts;
        details.stateDetails = stateParts;
        xcb_generic_error_t* error = xcb_request_check(
            connection,
            xcb_xkb_select_events_aux_checked(connection, static_cast<xcb_xkb_device_spec_t>(deviceId),
                                              events, 0, 0, mapParts, mapParts, &details));
        if (error != nullptr) {
            std::free(error);
            return false;
        }
        return true;
    }

    // Takes in what the server reported since the last query. The round trip first makes sure that
    // a change another program made before this query (setxkbmap, the desktop's layout switcher)
    // has been reported by now.
    void FollowServer() {
        if (connection == nullptr || xcb_connection_has_error(connection)) {
            return;
        }
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        bool reload = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == xkbEventBase) {
                const auto* notify = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
                if (notify->deviceID == deviceId || notify->xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY) {
                    switch (notify->xkbType) {
                    case XCB_XKB_NEW_KEYBOARD_NOTIFY:
                    case XCB_XKB_MAP_NOTIFY:
                        reload = true;
                        break;
                    case XCB_XKB_STATE_NOTIFY:
                        xkb_state_update_mask(
                            state, notify->baseMods, notify->latchedMods, notify->lockedMods,
                            static_cast<xkb_layout_index_t>(notify->baseGroup),
                            static_cast<xkb_layout_index_t>(notify->latchedGroup), notify->lockedGroup);
                        break;
                    default:
                        break;
                    }
                }
            }
            std::free(event);
        }
        if (reload && LoadX11Keymap()) {
            Rebuild();
        } else if (ActiveGroup() != group) {
            Rebuild();
        }
    }
};

XkbKeyboardLayout::XkbKeyboardLayout(std::unique_ptr<Impl> impl) : m(std::move(impl)) {}
XkbKeyboardLayout::~XkbKeyboardLayout() = default;

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::FromNames(const XkbLayoutNames& names) {
    auto impl = std::make_unique<Impl>();
    impl->context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (impl->context == nullptr) {
        return nullptr;
    }
    const xkb_rule_names rmlvo{OrNull(names.rules), OrNull(names.model), OrNull(names.layout),
                               OrNull(names.variant), OrNull(names.options)};
    impl->keymap = xkb_keymap_new_from_names(impl->context, &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (impl->keymap == nullptr) {
        return nullptr;
    }
    impl->layouts = names.layout;
    impl->variants = names.variant;
    impl->Rebuild();
    return std::unique_ptr<XkbKeyboardLayout>(new XkbKeyboardLayout(std::move(impl)));
}

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::FromEnvironment() {
    // libxkbcommon reads the same variables for the names left empty; reading them here as well
    // keeps the short layout name for the choice of punctuation codes.
    XkbLayoutNames names{EnvironmentValue("XKB_DEFAULT_RULES"), EnvironmentValue("XKB_DEFAULT_MODEL"),
                         EnvironmentValue("XKB_DEFAULT_LAYOUT"), EnvironmentValue("XKB_DEFAULT_VARIANT"),
                         EnvironmentValue("XKB_DEFAULT_OPTIONS")};
    if (names.layout.empty()) {
        names.layout = "us";
        names.variant.clear();
    }
    if (auto layout = FromNames(names)) {
        return layout;
    }
    return FromNames(XkbLayoutNames{"", "", "us", "", ""});
}

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::FromX11(const char* display) {
    auto impl = std::make_unique<Impl>();
    int screenNumber = 0;
    impl->connection = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(impl->connection)) {
        return nullptr;
    }
    uint16_t major = 0;
    uint16_t minor = 0;
    uint8_t errorBase = 0;
    if (!xkb_x11_setup_xkb_extension(impl->connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                     XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                     &major, &minor, &impl->xkbEventBase, &errorBase)) {
        return nullptr;
    }
    impl->deviceId = xkb_x11_get_core_keyboard_device_id(impl->connection);
    if (impl->deviceId < 0) {
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(impl->connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return nullptr;
    }
    impl->root = screens.data->root;
    impl->context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (impl->context == nullptr || !impl->SelectKeyboardEvents() || !impl->LoadX11Keymap()) {
        return nullptr;
    }
    impl->Rebuild();
    return std::unique_ptr<XkbKeyboardLayout>(new XkbKeyboardLayout(std::move(impl)));
}

uint32_t XkbKeyboardLayout::ScanCodeOfVk(uint32_t virtualKey) {
    m->FollowServer();
    return m->map.KeyOfVk(virtualKey);
}

uint32_t XkbKeyboardLayout::VkOfScanCode(uint32_t scanCode) {
    m->FollowServer();
    return m->map.VkOfKey(scanCode);
}

std::u16string XkbKeyboardLayout::KeyCharacters(uint32_t virtualKey) {
    m->FollowServer();
    const uint32_t evdev = m->map.KeyOfVk(virtualKey);
    std::u16string text;
    if (evdev == 0) {
        return text;
    }
    const uint32_t keysym = m->baseKeysym[evdev];
    char32_t c = xkb_keysym_to_utf32(keysym);
    if (c == 0) {
        c = KeysymCharacter(keysym);  // dead keys stand for their accent
    }
    AppendDisplayCharacter(text, c);
    return text;
}

std::string XkbKeyboardLayout::ActiveLayoutName() {
    m->FollowServer();
    return m->LayoutName();
}

std::unique_ptr<KeyboardLayout> CreateDesktopKeyboardLayout() {
    if (!EnvironmentValue("DISPLAY").empty()) {
        if (auto layout = XkbKeyboardLayout::FromX11()) {
            return layout;
        }
    }
    if (auto layout = XkbKeyboardLayout::FromEnvironment()) {
        return layout;
    }
    return std::make_unique<FixedKeyboardLayout>(FixedKeyboardLayout::Us());
}

namespace {

class LayoutOnFirstUse final : public KeyboardLayout {
public:
    uint32_t ScanCodeOfVk(uint32_t virtualKey) override { return Layout().ScanCodeOfVk(virtualKey); }
    uint32_t VkOfScanCode(uint32_t scanCode) override { return Layout().VkOfScanCode(scanCode); }
    std::u16string KeyCharacters(uint32_t virtualKey) override { return Layout().KeyCharacters(virtualKey); }

private:
    KeyboardLayout& Layout() {
        std::call_once(m_made, [this] { m_layout = CreateDesktopKeyboardLayout(); });
        return *m_layout;
    }

    std::once_flag m_made;
    std::unique_ptr<KeyboardLayout> m_layout;
};

}  // namespace

std::unique_ptr<KeyboardLayout> CreateDesktopKeyboardLayoutOnFirstUse() {
    return std::make_unique<LayoutOnFirstUse>();
}

}  // namespace quillon
