// Recording in the macro editor: key presses and mouse-button clicks made anywhere on the desktop,
// reported by the input hook as message 1034, become actions of the current macro, with the pauses
// between them measured, fixed or left out as the delay mode says.
//
// The hook listens only from the start of a recording to its stop: it is installed and enabled at
// the start and removed at the stop, which also comes when the macro fills up or the editor closes.

#include <algorithm>
#include <optional>

#include "app/macros/ms_1_macro_impl.h"
#include "core/keys/key_tables.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/services.h"
#include "ui/paint_manager.h"

namespace quillon {

namespace {

// A recording ends once the macro reaches this many units or actions: one more event could take
// it past the 191 units the mouse holds.
constexpr int kRecordingLimit = 190;

// The side buttons' lParam, as the hook numbers them.
constexpr LPARAM kBackSideButton = 1;
constexpr LPARAM kForwardSideButton = 2;

// Virtual-key codes are below this; the button messages above it.
constexpr WPARAM kVirtualKeyEnd = 256;

struct RecordedInput {
    std::uint8_t code = 0;
    std::uint8_t kind = kActionDown;
};

std::optional<RecordedInput> ButtonInput(WPARAM message, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
        return RecordedInput{kMouseLeft, kActionDown};
    case WM_LBUTTONUP:
        return RecordedInput{kMouseLeft, kActionUp};
    case WM_RBUTTONDOWN:
        return RecordedInput{kMouseRight, kActionDown};
    case WM_RBUTTONUP:
        return RecordedInput{kMouseRight, kActionUp};
    case WM_MBUTTONDOWN:
        return RecordedInput{kMouseMiddle, kActionDown};
    case WM_MBUTTONUP:
        return RecordedInput{kMouseMiddle, kActionUp};
    case WM_XBUTTONDOWN:
    case WM_XBUTTONUP: {
        const std::uint8_t kind = message == WM_XBUTTONDOWN ? kActionDown : kActionUp;
        // The back button plays back as the mouse's backward code, the forward one as forward.
        if (lParam == kBackSideButton)
            return RecordedInput{kMouseBack, kind};
        if (lParam == kForwardSideButton)
            return RecordedInput{kMouseForward, kind};
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

bool Calls(const HookOps* hooks, auto HookOps::*operation) {
    return hooks != nullptr && hooks->*operation != nullptr;
}

}  // namespace

// --- The record button ----------------------------------------------------------------------------

void CMS_1_Macro::Impl::InitRecordButton() {
    // Without the library's install and key switch nothing could ever be recorded: the button says
    // so instead of starting recordings that stay empty.
    recordingBlock = Calls(hooks, &HookOps::installhook) && Calls(hooks, &HookOps::enablehook)
                         ? RecordingBlock::None
                         : RecordingBlock::NoLibrary;
    ShowRecordButton();
}

void CMS_1_Macro::Impl::ShowRecordButton() {
    recordButton->SetCheck(recording, SelectNotify::No);
    if (recording) {
        recordButton->SetEnabled(true);
        recordButton->SetText(QStringLiteral("stop_recording_text"));
        recordButton->SetToolTip(QStringLiteral("macro_recording_tip_text"));
        return;
    }
    switch (recordingBlock) {
    case RecordingBlock::None:
        recordButton->SetEnabled(true);
        recordButton->SetText(QStringLiteral("start_recording_text"));
        recordButton->SetToolTip(QStringLiteral("macro_record_tip_text"));
        break;
    case RecordingBlock::NoLibrary:
        recordButton->SetEnabled(false);
        recordButton->SetText(QStringLiteral("recording_no_hook_text"));
        recordButton->SetToolTip(QStringLiteral("recording_no_hook_tip_text"));
        break;
    case RecordingBlock::NoDisplay:
        recordButton->SetEnabled(false);
        recordButton->SetText(QStringLiteral("recording_unavailable_text"));
        recordButton->SetToolTip(QStringLiteral("recording_unavailable_tip_text"));
        break;
    }
}

bool CMS_1_Macro::Impl::NotifyRecording(TNotifyUI& msg) {
    if (msg.pSender != recordButton)
        return false;
    if (msg.sType == QLatin1String("checkclick"))
        OnRecordClick();
    else if (msg.sType == QLatin1String("mouseenter") || msg.sType == QLatin1String("mouseleave"))
        OnRecordButtonCrossing(msg.sType == QLatin1String("mouseenter"));
    else
        return false;
    return true;
}

void CMS_1_Macro::Impl::OnRecordClick() {
    if (recording)
        StopRecording();
    else
        StartRecording();
}

void CMS_1_Macro::Impl::OnRecordButtonCrossing(bool entered) {
    // The click that stops the recording is not recorded; clicks anywhere else are.
    if (recording && Calls(hooks, &HookOps::enablemousehook))
        hooks->enablemousehook(entered ? 0 : 1);
}

// --- Start and stop ---------------------------------------------------------------------------------

void CMS_1_Macro::Impl::StartRecording() {
    if (recordingBlock != RecordingBlock::None) {
        ShowRecordButton();
        return;
    }
    // The hook is asked first: when it cannot listen (no X display) the macro is left as it is,
    // rather than emptied for a recording that could not take anything.
    if (hooks->installhook(window.GetHWND()) == 0) {
        recordingBlock = RecordingBlock::NoDisplay;
        ShowRecordButton();
        return;
    }

    if (current == nullptr)
        AddMacro();
    if (HasSelectedAction()) {
        insertionPosition = selectedAction + 1;
        startPosition = insertionPosition;
        inserting = true;
    } else {
        // A recording without a selected action replaces the macro's actions.
        workingCount = 0;
        working = {};
        insertionPosition = -1;
        startPosition = -1;
        inserting = false;
        RebuildActionList();
    }
    recording = true;
    previousEventSeen = true;
    ShowRecordButton();
    defaultDelay = static_cast<std::uint16_t>(
        std::clamp(LeadingInteger(defaultDelayEdit->GetText()), 1, int{kMacroDelayMax}));
    recordingRoute = true;
    keyCapture = false;
    // What the user types now is for the macro, not for the editor: Space must not stop the
    // recording through the focused record button, nor Tab or digits change the boxes.
    window.GetPaintManager().SetKeyboardIgnored(true);

    hooks->enablehook(1);
    if (Calls(hooks, &HookOps::mousewheelenable))
        hooks->mousewheelenable(0);
    timeMark = services().clock().GetTickCount();
}

void CMS_1_Macro::Impl::StopRecording() {
    timeMark = 0;
    recording = false;
    window.GetPaintManager().SetKeyboardIgnored(false);
    ShowRecordButton();
    if (Calls(hooks, &HookOps::removehook))
        hooks->removehook();
    if (Calls(hooks, &HookOps::removemousehook))
        hooks->removemousehook();
    if (Calls(hooks, &HookOps::enablemousehook))
        hooks->enablemousehook(0);
    if (Calls(hooks, &HookOps::enablehook))
        hooks->enablehook(0);
    if (Calls(hooks, &HookOps::mousewheelenable))
        hooks->mousewheelenable(0);
    previousEventSeen = false;
    Commit();
}

// --- Events -----------------------------------------------------------------------------------------

void CMS_1_Macro::Impl::OnRecordedEvent(WPARAM wParam, LPARAM lParam) {
    std::optional<RecordedInput> input;
    if (wParam < kVirtualKeyEnd) {
        const std::uint32_t usage =
            keys != nullptr ? keys->VkToUsage(static_cast<std::uint32_t>(wParam)).usage : 0;
        input = RecordedInput{static_cast<std::uint8_t>(usage), lParam == 0 ? kActionDown : kActionUp};
    } else {
        input = ButtonInput(wParam, lParam);
    }
    if (!input)
        return;

    // A held key repeats its press; only the first one counts.
    if (wParam == memory.wParam && lParam == memory.lParam)
        return;
    memory = {wParam, lParam};

    if (iTotalNum(std::span<const MacroAction>(working.data(), static_cast<std::size_t>(workingCount))) >=
        kRecordingLimit) {
        StopRecording();
        return;
    }

    const std::uint32_t now = services().clock().GetTickCount();
    std::uint16_t pause = 1;
    if (previousEventSeen) {
        switch (delayMode) {
        case DelayMode::Recorded:
            pause = static_cast<std::uint16_t>(std::min<std::uint32_t>(now - timeMark, kMacroDelayMax));
            break;
        case DelayMode::Default:
            pause = defaultDelay;
            break;
        case DelayMode::None:
            pause = 1;
            break;
        }
        // The pause since the previous event is the delay of the action that came before this one.
        // The first event of an insertion gives it to the action the recorded block is inserted
        // in front of.
        int target = -1;
        if (insertionPosition < 0)
            target = workingCount - 1;
        else if (insertionPosition == startPosition)
            target = insertionPosition;
        else
            target = insertionPosition - 1;
        if (target >= 0 && target < workingCount)
            working[static_cast<std::size_t>(target)].delayMs = pause;
    }

    MacroAction action{};
    action.code = input->code;
    action.kind = input->kind;
    action.delayMs = pause;
    const int countBefore = workingCount;
    InsertAction(action);
    if (workingCount > countBefore) {
        // Nothing follows the newest action yet.
        const int inserted = insertionPosition < 0 ? workingCount - 1 : insertionPosition - 1;
        working[static_cast<std::size_t>(inserted)].delayMs = 1;
    }

    timeMark = now;
    previousEventSeen = true;
    if (workingCount >= kRecordingLimit)
        StopRecording();
    RebuildActionList();
}

}  // namespace quillon
