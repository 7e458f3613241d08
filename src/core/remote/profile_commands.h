#pragma once
// The command line's commands over the profiles, wherever they run: in quillon-cli itself when no
// window is open, or in the running program when quillon-cli hands them over its socket. Both give
// the same text for people (or JSON with "json") and the same exit statuses:
//
//     status                  links, awake, battery, charging, the current DPI stage
//     list                    the profiles, the selected one marked
//     show [PROFILE]          every setting of a profile (the selected one by default)
//     select PROFILE          makes PROFILE the selected one and sends it whole to the mouse
//     set KEY=VALUE...        changes the selected profile: all of the settings or, when one is
//                             refused, none; then sends what changed
//     export PROFILE FILE     writes FILE.json (readable) or FILE.pro (the record's raw bytes)
//     import FILE             adds the profile in FILE.json or FILE.pro to the list, under a name
//                             no other profile has
//
// PROFILE is a profile's name (letter case aside) or its number in the list, from 1. A setting key
// is a short key ("dpi.3", "polling", "light.effect", "button.4") or a member path as `show` lists
// it ("performance.debounce_ms").

#include <string>

#include "core/remote/command_request.h"
#include "core/store/profile_state.h"

namespace quillon {

// What the links and the status reports tell about the mouse.
struct MouseStatus {
    bool wiredOpen = false;
    bool wiredAwake = false;
    bool wirelessOpen = false;
    bool wirelessAwake = false;
    bool bleConnected = false;
    int battery = 0;  // percent; 0 when no level has been reported
    bool charging = false;
    bool Present() const { return wiredOpen || wirelessOpen || bleConnected; }
    bool Awake() const { return wiredAwake || wirelessAwake || bleConnected; }
};

// Where the commands run: the profiles there, the mouse's state, and what follows a change.
class CommandHost {
public:
    virtual ~CommandHost() = default;
    virtual ProfileState& Profiles() = 0;
    virtual MouseStatus Status() = 0;

    enum class Change {
        Selected,  // another profile was selected: it goes to the mouse whole
        Edited,    // the selected profile's settings changed: what changed goes to the mouse
        Added,     // a profile was added to the list (and the list saved)
    };
    enum class Delivery {
        Sent,     // the change reached the mouse, or is on its way to it, and the store is saved
        NoMouse,  // the store is saved; the mouse gets the change when it is next awake
    };
    // The change is shown, saved and sent as an edit on the page would be.
    virtual Delivery Changed(Change change) = 0;
};

// Runs one command; never throws. Unknown commands, arguments and settings are refused (exit 1)
// with a message naming what was wrong.
CommandReply RunProfileCommand(const CommandRequest& request, CommandHost& host);

// The help of the command line, which also serves as its manual page's text.
std::string CommandLineUsage();

}  // namespace quillon
