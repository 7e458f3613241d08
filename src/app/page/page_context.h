#pragma once
// What the page's setting sections need of the page: the record they edit and the two ways of
// asking for an apply.

#include <cstdint>

#include "core/records/profile_record.h"

namespace quillon {

class PageContext {
public:
    virtual ~PageContext() = default;
    // The selected record; null before the profiles are loaded, and then every handler does nothing.
    virtual ProfileRecord* Selected() = 0;
    // Posts MSG_APPLY_REQUEST to the main window now.
    virtual void RequestApply() = 0;
    // Restarts the debounce timer 513: the apply is requested `milliseconds` after the last call,
    // so that a slider dragged across many values leads to one apply.
    virtual void RequestApplyAfter(std::uint32_t milliseconds) = 0;
};

// Quick edits gather into one apply after these pauses.
inline constexpr std::uint32_t kSliderApplyDelayMs = 500;
inline constexpr std::uint32_t kLightEffectApplyDelayMs = 200;

}  // namespace quillon
