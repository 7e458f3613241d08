#pragma once
// The macro editor's state and controls, shared by its three parts: ms_1_macro.cpp (the window, the
// macro list, the name, import and export, and the commit), macro_action_edit.cpp (the action
// list: rows, insertion, moves, the edit page and key capture) and macro_recording.cpp (recording
// through the input hook).

#include <QString>

#include <array>
#include <cstdint>

#include "app/macros/macro_store.h"
#include "app/macros/ms_1_macro.h"
#include "core/macros/macro_record.h"
#include "ui/controls.h"

namespace quillon {

class KeyCodeTables;

// Delay modes of the three delay options.
enum class DelayMode { Recorded = 0, Default = 1, None = 2 };

// Pages of the action edit tab.
enum class EditPage { Nothing = 0, Key = 1, MouseButton = 2, Movement = 3 };

// Mouse buttons in the order of the five insert buttons and of the combo box's items.
inline constexpr std::array<std::uint8_t, 5> kMouseButtonOrder = {kMouseLeft, kMouseRight, kMouseMiddle,
                                                                  kMouseForward, kMouseBack};

inline constexpr std::uint16_t kInsertedActionDelayMs = 10;
inline constexpr int kMovementLimit = 999;
inline constexpr int kMacroRowHeight = 30;
// Rows of the macro list, whether they were there at the start or added later.
inline constexpr int kMacroListRowHeight = 26;

// Why the record button cannot record.
enum class RecordingBlock { None, NoLibrary, NoDisplay };

struct CMS_1_Macro::Impl {
    Impl(CMS_1_Macro& owner, MacroStore& macros, const HookOps* hookOps, const KeyCodeTables* keyTables,
         RecordingMemory* recordingMemory)
        : window(owner), store(macros), hooks(hookOps), keys(keyTables),
          memory(recordingMemory != nullptr ? *recordingMemory : ownMemory) {}

    CMS_1_Macro& window;
    MacroStore& store;
    const HookOps* hooks;
    const KeyCodeTables* keys;
    RecordingMemory ownMemory;
    RecordingMemory& memory;  // the last event recorded, across recordings

    // --- Controls ------------------------------------------------------------------------------
    CButtonUI* exitButton = nullptr;
    CListUI* macroList = nullptr;
    CEditUI* nameEdit = nullptr;
    CButtonUI* addButton = nullptr;
    CButtonUI* deleteButton = nullptr;
    CCheckBoxUI* insertMouseCheck = nullptr;
    CCheckBoxUI* recordButton = nullptr;
    CListUI* actionList = nullptr;
    COptionUI* recordDelayOption = nullptr;
    COptionUI* defaultDelayOption = nullptr;
    COptionUI* noDelayOption = nullptr;
    CEditUI* defaultDelayEdit = nullptr;
    CButtonUI* upButton = nullptr;
    CButtonUI* downButton = nullptr;
    CButtonUI* deleteActionButton = nullptr;
    CButtonUI* clearButton = nullptr;
    CCheckBoxUI* editCheck = nullptr;
    CTabLayoutUI* editTab = nullptr;
    CEditUI* keyEdit = nullptr;
    CEditUI* keyDelayEdit = nullptr;
    CComboUI* mouseCombo = nullptr;
    CEditUI* mouseDelayEdit = nullptr;
    CEditUI* moveXEdit = nullptr;
    CEditUI* moveYEdit = nullptr;
    CEditUI* moveDelayEdit = nullptr;
    CButtonUI* saveButton = nullptr;
    CButtonUI* cancelButton = nullptr;
    CControlUI* editButtons = nullptr;
    std::array<CButtonUI*, 5> clickButtons{};
    CEditUI* insertXEdit = nullptr;
    CEditUI* insertYEdit = nullptr;
    CButtonUI* moveButton = nullptr;
    CButtonUI* importButton = nullptr;
    CButtonUI* exportButton = nullptr;
    CControlUI* nameTab = nullptr;
    CControlUI* mouseEventTab = nullptr;
    CControlUI* saveDataTab = nullptr;
    CControlUI* exportImportTab = nullptr;
    CLabelUI* unitsLabel = nullptr;
    CLabelUI* statusLabel = nullptr;

    // --- Editor state ----------------------------------------------------------------------------
    MacroRecord* current = nullptr;  // the macro being edited (owned by the store)
    int currentIndex = -1;           // its row in the macro list and its store index
    std::array<MacroAction, kMacroActionCapacity> working{};
    int workingCount = 0;
    int selectedAction = -1;
    int insertionPosition = -1;  // -1: append
    int startPosition = -1;
    bool inserting = false;
    bool restoreSelection = false;
    DelayMode delayMode = DelayMode::Default;
    std::uint16_t defaultDelay = kInsertedActionDelayMs;
    bool editFollowsSelection = false;
    bool recording = false;
    bool recordingRoute = false;
    bool previousEventSeen = false;  // an event of this recording, or its start, set the time mark
    std::uint32_t timeMark = 0;      // tick count (low 32 bits) at the previous event or the start
    RecordingBlock recordingBlock = RecordingBlock::None;
    bool keyCapture = false;
    bool ready = false;    // every control was found; without them the editor does nothing
    bool closing = false;  // the window is being destroyed: late notifications are ignored

    // --- ms_1_macro.cpp ------------------------------------------------------------------------
    bool FindControls();
    void FillMacroList();
    void LoadMacro(int index);
    // Stores the working actions; false when the change was dropped for its size.
    bool Commit();
    void ShowUnits();
    void ShowDropped();
    void AddMacro();
    void DeleteMacro();
    void Rename();
    void Import();
    void Export();
    void OnMacroSelected(int row);
    QString MacroName(const MacroRecord& record) const;

    // --- macro_action_edit.cpp -------------------------------------------------------------------
    void RebuildActionList();
    void FillRow(int index, bool lastShowsOne);
    void SelectAction(int index);
    void OnActionSelected(int row);
    bool HasSelectedAction() const { return selectedAction >= 0 && selectedAction < workingCount; }
    void ShowEditPage();
    void ShowPage(EditPage page);
    void OnEditCheck();
    void MoveSelected(int direction);
    void DeleteSelectedAction();
    void ClearActions();
    void InsertAction(const MacroAction& action);
    void InsertClick(std::size_t button);
    void InsertMovement();
    void OnMouseComboSelected(int item);
    void OnDelayEditDone(CEditUI* edit);
    void OnMoveEditDone(CEditUI* edit);
    void OnDefaultDelayDone();
    void FilterCoordinate(CEditUI* edit);
    void StartKeyCapture();
    void StopKeyCapture();
    void OnKeyCaptured(std::uint32_t virtualKey);
    void OnScrollTimer(UINT id);
    void OnActionListKey(int qtKey, int modifiers);
    void OnSaveEdit();
    void OnCancelEdit();
    void SetInsertMouse(bool checked);
    QString KeyName(std::uint8_t code) const;
    std::uint16_t InsertedDelay() const;

    // Handles the notification when it belongs to the action editing; false otherwise.
    bool NotifyActionEditing(TNotifyUI& msg);

    // --- macro_recording.cpp -------------------------------------------------------------------
    void InitRecordButton();
    void OnRecordClick();
    void StartRecording();
    void StopRecording();
    void OnRecordedEvent(WPARAM wParam, LPARAM lParam);
    void OnRecordButtonCrossing(bool entered);
    void ShowRecordButton();
    // Handles the notification when it belongs to recording; false otherwise.
    bool NotifyRecording(TNotifyUI& msg);
};

// The integer at the start of a text, as the edit boxes read it: optional blanks, an optional
// sign, then digits up to the first other character; 0 when there are none. Saturates at the
// limits of int.
int LeadingInteger(const QString& text);

// The language text of a key.
QString EditorText(const QString& key);

}  // namespace quillon
