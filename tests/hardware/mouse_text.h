#pragma once
// The settings a mouse holds, as text: the virtual firmware prints what its device model decoded,
// and the harness prints what a profile record should have put there, field by field from the
// record. Two equal maps mean the record reached the mouse intact.
//
//   stageSteps=3,15,31,...   currentStage=3   keyMap=120001,020000,...
//   slot1=1/ff8000/3/cont    play1=P20:04,R2+1:04,M5:-3,7,...   (from device macro slot 1 on)

#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "core/protocol/device_model.h"
#include "core/records/profile_record.h"

namespace quillon::hardware {

using StateText = std::map<std::string, std::string>;

std::string Hex(std::span<const std::uint8_t> bytes);

// Everything the model holds, including every written macro slot and the macro played from it.
StateText FormatMouseState(const DeviceModel& model);

// What a full write of `record` must leave in the mouse: every field the frames carry, and for each
// of buttons 0..17 holding a macro the slot settings and the macro played from its base slot.
StateText ExpectedMouseState(const ProfileRecord& record);

// "key=value key=value ..." and back; values never contain spaces.
std::string JoinStateText(const StateText& text);
StateText SplitStateText(const std::string& line);

}  // namespace quillon::hardware
