#pragma once
// A readable profile file: every setting of a `ProfileRecord` named in words, as JSON.
//
//     {
//       "format": "quillon-profile", "version": 1,
//       "name": "FPS",
//       "dpi": { "current": 2, "stages": [ { "dpi": 400, "enabled": true, "color": "#ff0000" }, ... ] },
//       "lighting": { "effect": "breathing", "brightness": 8, "speed": 6, "color": "#00ffcc" },
//       "performance": { "polling_hz": 1000, "lift_off_distance": 1, "ripple_control": true, ... },
//       "power": { "sleep_timer": 10, "light_off": 2 },
//       "buttons": { "1": { "function": "left-click" }, "5": { "function": "shortcut", "key": "C",
//                    "modifiers": ["ctrl"] }, "6": { "function": "macro", "macro": { "name": "Burst",
//                    "actions": [ { "key": "A", "action": "down", "delay_ms": 10 }, ... ] } }, ... },
//       "reserved": { "2200": "0a000000", ... }
//     }
//
// Stages and buttons count from 1, as the page shows them. "reserved" keeps, as runs of hex bytes
// at their record offsets, every byte that no named setting covers and that differs from a new
// profile's, so nothing of a record is lost: record -> JSON -> record gives the same bytes, and
// JSON -> record -> JSON the same text. A file written by hand may leave out any member; what it
// leaves out keeps a new profile's value. Unknown members and values out of range are refused,
// with the path of the member in the message ("buttons.4.function: unknown function 'jump'").

#include <string>
#include <string_view>

#include "core/records/profile_record.h"

namespace quillon {

struct ProfileJsonResult {
    bool ok = true;
    std::string error;  // the member's path, a colon, what is wrong
};

// The record as JSON text, indented, ending with a newline.
std::string ProfileToJson(const ProfileRecord& record);

// Reads JSON text into `record`, which is overwritten only when the text is valid.
[[nodiscard]] ProfileJsonResult ProfileFromJson(std::string_view text, ProfileRecord& record);

// Changes one setting by a short key, as the command line gives it: "dpi.3" (stage 3's DPI),
// "dpi.current", "polling", "light.effect", "light.brightness", "light.speed", "light.color",
// "button.4", "name", or any member path of the JSON form ("performance.debounce_ms"). The value
// is a number, true/false, a JSON list (["ctrl","shift"]) or a word. The record is changed only
// when the value is valid.
[[nodiscard]] ProfileJsonResult SetProfileSetting(ProfileRecord& record, std::string_view key,
                                                  std::string_view value);

// The word the JSON form uses for a button function code ("forward", "shortcut", "code-19").
std::string ButtonFunctionWord(std::uint8_t code);

}  // namespace quillon
