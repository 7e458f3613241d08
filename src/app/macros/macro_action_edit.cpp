// The action list of the macro editor: the rows, inserting clicks and movements, moving, deleting
// and clearing actions, the edit page of the selected action and the capture of a key action's key.

#include <Qt>

#include <algorithm>

#include "app/edit_adapter.h"
#include "app/macros/ms_1_macro_impl.h"
#include "core/keys/key_tables.h"
#include "ui/paint_manager.h"

namespace quillon {

namespace {

const QString kMouseImage = QStringLiteral("res='skins/mouse.png' dest='2,2,28,28'");
const QString kKeyImage = QStringLiteral("res='skins/keyboard_key_action.png' dest='5,6,35,24'");
const QString kMoveImage = QStringLiteral("res='skins/move.png' dest='2,2,28,28'");
const QString kDownImage = QStringLiteral("res='skins/macro_key_down.png' dest='5,6,21,24'");
const QString kUpImage = QStringLiteral("res='skins/macro_key_up.png' dest='5,6,21,24'");

bool IsMouseButtonCode(std::uint8_t code) {
    return code >= kMouseLeft && code <= kMouseForward;
}

QString MovementText(const MacroAction& action) {
    return QStringLiteral("X: %1 Y: %2").arg(action.x).arg(action.y);
}

}  // namespace

QString CMS_1_Macro::Impl::KeyName(std::uint8_t code) const {
    if (keys == nullptr)
        return QString::number(code);
    const std::u16string name = keys->UsageName(code);
    return QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size()));
}

bool CMS_1_Macro::Impl::NotifyActionEditing(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    const QString& type = msg.sType;
    if (sender == nullptr)
        return false;
    if (type == QLatin1String("click")) {
        if (sender == upButton)
            MoveSelected(-1);
        else if (sender == downButton)
            MoveSelected(1);
        else if (sender == deleteActionButton)
            DeleteSelectedAction();
        else if (sender == clearButton)
            ClearActions();
        else if (sender == moveButton)
            InsertMovement();
        else if (sender == recordDelayOption)
            delayMode = DelayMode::Recorded;
        else if (sender == defaultDelayOption)
            delayMode = DelayMode::Default;
        else if (sender == noDelayOption)
            delayMode = DelayMode::None;
        else if (sender == saveButton)
            OnSaveEdit();
        else if (sender == cancelButton)
            OnCancelEdit();
        else if (const auto it = std::find(clickButtons.begin(), clickButtons.end(), sender);
                 it != clickButtons.end())
            InsertClick(static_cast<std::size_t>(it - clickButtons.begin()));
        else
            return false;
        return true;
    }
    if (type == QLatin1String("checkclick")) {
        if (sender == editCheck)
            OnEditCheck();
        else if (sender == insertMouseCheck)
            SetInsertMouse(insertMouseCheck->GetCheck());
        else
            return false;
        return true;
    }
    if (type == QLatin1String("itemselect")) {
        if (sender == actionList)
            OnActionSelected(static_cast<int>(msg.wParam));
        else if (sender == mouseCombo)
            OnMouseComboSelected(static_cast<int>(msg.wParam));
        else
            return false;
        return true;
    }
    if (type == QLatin1String("setfocus") && sender == keyEdit) {
        StartKeyCapture();
        return true;
    }
    if (type == QLatin1String("killfocus") || type == QLatin1String("return")) {
        if (sender == keyEdit) {
            if (type == QLatin1String("killfocus"))
                StopKeyCapture();
        } else if (sender == keyDelayEdit || sender == mouseDelayEdit || sender == moveDelayEdit) {
            OnDelayEditDone(static_cast<CEditUI*>(sender));
        } else if (sender == moveXEdit || sender == moveYEdit) {
            OnMoveEditDone(static_cast<CEditUI*>(sender));
        } else if (sender == defaultDelayEdit) {
            OnDefaultDelayDone();
        } else {
            return false;
        }
        return true;
    }
    if (type == QLatin1String("textchanged")) {
        if (sender == insertXEdit || sender == insertYEdit || sender == moveXEdit || sender == moveYEdit) {
            FilterCoordinate(static_cast<CEditUI*>(sender));
            return true;
        }
        return false;
    }
    if (type == QLatin1String("timer") && sender == actionList) {
        OnScrollTimer(static_cast<UINT>(msg.wParam));
        return true;
    }
    if (type == QLatin1String("keydown") && sender == actionList) {
        OnActionListKey(static_cast<int>(msg.wParam), static_cast<int>(msg.lParam));
        return true;
    }
    return false;
}

// --- Rows -------------------------------------------------------------------------------------------

void CMS_1_Macro::Impl::RebuildActionList() {
    CPaintManagerUI& pm = window.GetPaintManager();
    // Rows are built from their layout once and then refilled: a row costs milliseconds to build
    // and style, and a macro holds up to 190 of them. Only the rows past the new count go, and
    // only missing ones are built.
    int rows = actionList->GetCount();
    while (rows > workingCount)
        actionList->RemoveAt(--rows);
    CDialogBuilder builder;
    for (; rows < workingCount; ++rows) {
        CControlUI* row = builder.Create(QStringLiteral("keylistitem.xml"), &pm);
        if (row == nullptr)
            break;
        row->SetFixedHeight(kMacroRowHeight);
        actionList->Add(row);
    }
    for (int i = 0; i < rows; ++i)
        FillRow(i, false);

    if (restoreSelection && startPosition >= 0) {
        SelectAction(startPosition);
        pm.SetTimer(actionList, kMacroScrollToRestoredTimer, kMacroScrollDelayMs);
    } else if (inserting) {
        SelectAction(insertionPosition - 1);
        pm.SetTimer(actionList, kMacroScrollToInsertTimer, kMacroScrollDelayMs);
    } else {
        SelectAction(workingCount - 1);
        actionList->ScrollToEnd();
    }
    ShowUnits();
}

void CMS_1_Macro::Impl::FillRow(int index, bool lastShowsOne) {
    auto* row = dynamic_cast<CContainerUI*>(actionList->GetItemAt(index));
    if (row == nullptr || index < 0 || index >= workingCount)
        return;
    auto* key = row->FindSubControl<CLabelUI>(QStringLiteral("key"));
    auto* action = row->FindSubControl<CLabelUI>(QStringLiteral("action"));
    auto* delay = row->FindSubControl<CLabelUI>(QStringLiteral("delay"));
    if (key == nullptr || action == nullptr || delay == nullptr)
        return;
    for (CLabelUI* label : {key, action, delay})
        label->SetTextMode(TextMode::Plain);
    const MacroAction& a = working[static_cast<std::size_t>(index)];
    // After a move the row that now holds the last action shows 1: nothing follows it, so its pause
    // plays no part until another action is added behind it.
    const QString delayText =
        lastShowsOne && index == workingCount - 1 ? QStringLiteral("1") : QString::number(a.delayMs);
    if (a.kind == kActionDown || a.kind == kActionUp) {
        key->SetText(KeyName(a.code));
        key->SetBkImage(IsMouseButtonCode(a.code) ? kMouseImage : kKeyImage);
        action->SetText(EditorText(a.kind == kActionDown ? QStringLiteral("key_down_action")
                                                         : QStringLiteral("key_up_action")));
        action->SetBkImage(a.kind == kActionDown ? kDownImage : kUpImage);
        delay->SetText(delayText);
    } else if (a.kind == kActionMove) {
        key->SetText(EditorText(QStringLiteral("mouse_move_text")));
        key->SetBkImage(kMoveImage);
        action->SetText(MovementText(a));
        action->SetBkImage({});
        delay->SetText(delayText);
    } else {
        for (CLabelUI* label : {key, action, delay}) {
            label->SetText({});
            label->SetBkImage({});
        }
    }
}

void CMS_1_Macro::Impl::SelectAction(int index) {
    if (index < 0 || index >= actionList->GetCount()) {
        selectedAction = -1;
        return;
    }
    if (index == actionList->GetCurSel())
        OnActionSelected(index);
    else
        actionList->SelectItem(index, SelectNotify::Yes);
}

void CMS_1_Macro::Impl::OnActionSelected(int row) {
    selectedAction = row;
    if (editFollowsSelection)
        ShowEditPage();
}

void CMS_1_Macro::Impl::OnScrollTimer(UINT id) {
    CPaintManagerUI& pm = window.GetPaintManager();
    if (id == kMacroScrollToInsertTimer) {
        pm.KillTimer(actionList, id);
        if (insertionPosition >= 1)
            actionList->EnsureVisible(insertionPosition - 1);
    } else if (id == kMacroScrollToRestoredTimer) {
        pm.KillTimer(actionList, id);
        actionList->EnsureVisible(startPosition);
    }
}

void CMS_1_Macro::Impl::OnActionListKey(int qtKey, int modifiers) {
    const bool control = (modifiers & Qt::ControlModifier) != 0;
    if (qtKey == Qt::Key_Delete)
        DeleteSelectedAction();
    else if (control && qtKey == Qt::Key_Up)
        MoveSelected(-1);
    else if (control && qtKey == Qt::Key_Down)
        MoveSelected(1);
}

// --- Edit page ----------------------------------------------------------------------------------------

void CMS_1_Macro::Impl::ShowPage(EditPage page) {
    editTab->SelectItem(static_cast<int>(page));
    editButtons->SetVisible(page != EditPage::Nothing);
}

void CMS_1_Macro::Impl::ShowEditPage() {
    if (!HasSelectedAction())
        return;
    const MacroAction& a = working[static_cast<std::size_t>(selectedAction)];
    if (IsMouseButtonCode(a.code)) {
        ShowPage(EditPage::MouseButton);
        const int item = a.code == kMouseForward ? 3 : a.code == kMouseBack ? 4 : a.code - kMouseLeft;
        mouseCombo->SelectItem(item, SelectNotify::No);
        mouseDelayEdit->SetText(QString::number(a.delayMs));
    } else if (a.code == kMouseMove) {
        ShowPage(EditPage::Movement);
        moveXEdit->SetText(QString::number(a.x));
        moveYEdit->SetText(QString::number(a.y));
        moveDelayEdit->SetText(QString::number(a.delayMs));
    } else {
        ShowPage(EditPage::Key);
        keyEdit->SetText(KeyName(a.code));
        keyDelayEdit->SetText(QString::number(a.delayMs));
    }
}

void CMS_1_Macro::Impl::OnEditCheck() {
    if (!editCheck->GetCheck()) {
        editFollowsSelection = false;
        ShowPage(EditPage::Nothing);
        return;
    }
    if (!HasSelectedAction()) {
        editCheck->SetCheck(false, SelectNotify::No);
        editFollowsSelection = false;
        return;
    }
    editFollowsSelection = true;
    ShowEditPage();
}

void CMS_1_Macro::Impl::OnSaveEdit() {
    Commit();
    editFollowsSelection = false;
    editCheck->SetCheck(false, SelectNotify::No);
    ShowPage(EditPage::Nothing);
}

void CMS_1_Macro::Impl::OnCancelEdit() {
    restoreSelection = true;
    editFollowsSelection = false;
    editCheck->SetCheck(false, SelectNotify::No);
    ShowPage(EditPage::Nothing);
    LoadMacro(currentIndex);
    restoreSelection = false;
}

void CMS_1_Macro::Impl::OnMouseComboSelected(int item) {
    if (!HasSelectedAction() || item < 0 || item >= static_cast<int>(kMouseButtonOrder.size()))
        return;
    MacroAction& a = working[static_cast<std::size_t>(selectedAction)];
    a.code = kMouseButtonOrder[static_cast<std::size_t>(item)];
    FillRow(selectedAction, false);
    Commit();
}

void CMS_1_Macro::Impl::OnDelayEditDone(CEditUI* edit) {
    if (!HasSelectedAction())
        return;
    int value = LeadingInteger(edit->GetText());
    // A key or button pause below 10 ms is raised to 10; a movement may follow after 1 ms.
    const int lowest = edit == moveDelayEdit ? 1 : 10;
    value = std::clamp(value, lowest, int{kMacroDelayMax});
    const int index = selectedAction;
    working[static_cast<std::size_t>(index)].delayMs = static_cast<std::uint16_t>(value);
    edit->SetText(QString::number(value));
    FillRow(index, false);
    Commit();
}

void CMS_1_Macro::Impl::OnMoveEditDone(CEditUI* edit) {
    if (!HasSelectedAction())
        return;
    const int index = selectedAction;
    MacroAction& a = working[static_cast<std::size_t>(index)];
    const int value = std::clamp(LeadingInteger(edit->GetText()), -kMovementLimit, kMovementLimit);
    if (edit == moveXEdit)
        a.x = value;
    else
        a.y = value;
    Commit();
    FillRow(index, false);
}

void CMS_1_Macro::Impl::OnDefaultDelayDone() {
    const int value = std::clamp(LeadingInteger(defaultDelayEdit->GetText()), 1, int{kMacroDelayMax});
    defaultDelay = static_cast<std::uint16_t>(value);
    defaultDelayEdit->SetText(QString::number(value));
}

void CMS_1_Macro::Impl::FilterCoordinate(CEditUI* edit) {
    EditAdapter adapter(*edit);
    SignedDigitFilter(adapter, edit->GetText().toStdU16String());
    const int value = LeadingInteger(edit->GetText());
    if (value > kMovementLimit) {
        edit->SetText(QString::number(kMovementLimit));
        edit->SetSel(-1, -1);
    } else if (value < -kMovementLimit) {
        edit->SetText(QString::number(-kMovementLimit));
        edit->SetSel(-1, -1);
    }
}

void CMS_1_Macro::Impl::SetInsertMouse(bool checked) {
    mouseEventTab->SetVisible(checked);
    nameTab->SetVisible(!checked);
}

// --- Key capture --------------------------------------------------------------------------------------

void CMS_1_Macro::Impl::StartKeyCapture() {
    // The key box and a recording cannot share the hook: the recording ends, with what it took.
    if (recording)
        StopRecording();
    keyCapture = true;
    recordingRoute = false;
    if (hooks != nullptr && hooks->installhook != nullptr)
        hooks->installhook(window.GetHWND());
    if (hooks != nullptr && hooks->enablehook != nullptr)
        hooks->enablehook(1);
}

void CMS_1_Macro::Impl::StopKeyCapture() {
    keyCapture = false;
    if (hooks != nullptr && hooks->removehook != nullptr)
        hooks->removehook();
    if (hooks != nullptr && hooks->enablehook != nullptr)
        hooks->enablehook(0);
}

void CMS_1_Macro::Impl::OnKeyCaptured(std::uint32_t virtualKey) {
    const std::uint32_t usage = keys != nullptr ? keys->VkToUsage(virtualKey).usage : 0;
    const auto code = static_cast<std::uint8_t>(usage);
    keyEdit->SetText(KeyName(code));
    if (!HasSelectedAction())
        return;
    working[static_cast<std::size_t>(selectedAction)].code = code;
    FillRow(selectedAction, false);
    Commit();
}

// --- Moving, deleting, clearing --------------------------------------------------------------------------

void CMS_1_Macro::Impl::MoveSelected(int direction) {
    if (!HasSelectedAction())
        return;
    const int from = selectedAction;
    const int to = from + direction;
    if (to < 0 || to >= workingCount)
        return;
    std::swap(working[static_cast<std::size_t>(from)], working[static_cast<std::size_t>(to)]);
    FillRow(from, true);
    FillRow(to, true);
    SelectAction(to);
    Commit();
}

void CMS_1_Macro::Impl::DeleteSelectedAction() {
    if (!HasSelectedAction())
        return;
    const int index = selectedAction;
    std::copy(working.begin() + index + 1, working.begin() + workingCount, working.begin() + index);
    working[static_cast<std::size_t>(workingCount - 1)] = MacroAction{};
    --workingCount;
    actionList->RemoveAt(index);
    if (workingCount == 0)
        selectedAction = -1;
    else
        SelectAction(std::min(index, workingCount - 1));
    Commit();
}

void CMS_1_Macro::Impl::ClearActions() {
    if (current == nullptr)
        return;
    working = {};
    workingCount = 0;
    inserting = false;
    insertionPosition = -1;
    selectedAction = -1;
    Commit();
    RebuildActionList();
}

// --- Inserting ------------------------------------------------------------------------------------------

void CMS_1_Macro::Impl::InsertAction(const MacroAction& action) {
    if (workingCount >= static_cast<int>(kMacroActionCapacity))
        return;
    const int at = insertionPosition < 0 ? workingCount : std::min(insertionPosition, workingCount);
    std::copy_backward(working.begin() + at, working.begin() + workingCount,
                       working.begin() + workingCount + 1);
    working[static_cast<std::size_t>(at)] = action;
    ++workingCount;
    ++selectedAction;
    if (insertionPosition >= 0)
        ++insertionPosition;
}

std::uint16_t CMS_1_Macro::Impl::InsertedDelay() const {
    if (delayMode != DelayMode::Default)
        return kInsertedActionDelayMs;
    return static_cast<std::uint16_t>(
        std::clamp(LeadingInteger(defaultDelayEdit->GetText()), 1, int{kMacroDelayMax}));
}

void CMS_1_Macro::Impl::InsertClick(std::size_t button) {
    if (current == nullptr || workingCount >= static_cast<int>(kMacroActionCapacity) ||
        button >= kMouseButtonOrder.size())
        return;
    if (workingCount + 2 > static_cast<int>(kMacroActionCapacity))
        return;
    const int selectedBefore = selectedAction;
    inserting = true;
    insertionPosition = std::max(selectedAction, -1) + 1;
    MacroAction action{};
    action.code = kMouseButtonOrder[button];
    action.delayMs = InsertedDelay();
    action.kind = kActionDown;
    InsertAction(action);
    action.kind = kActionUp;
    InsertAction(action);
    RebuildActionList();
    const bool kept = Commit();
    inserting = false;
    // A click that did not fit leaves the selection where it was.
    if (!kept)
        SelectAction(selectedBefore);
}

void CMS_1_Macro::Impl::InsertMovement() {
    if (current == nullptr || workingCount >= static_cast<int>(kMacroActionCapacity))
        return;
    MacroAction action{};
    action.code = kMouseMove;
    action.kind = kActionMove;
    action.delayMs = kInsertedActionDelayMs;
    action.x = std::clamp(LeadingInteger(insertXEdit->GetText()), -kMovementLimit, kMovementLimit);
    action.y = std::clamp(LeadingInteger(insertYEdit->GetText()), -kMovementLimit, kMovementLimit);
    const int selectedBefore = selectedAction;
    if (HasSelectedAction()) {
        inserting = true;
        insertionPosition = selectedAction + 1;
        startPosition = insertionPosition;
    } else {
        insertionPosition = -1;
    }
    InsertAction(action);
    const bool kept = Commit();
    RebuildActionList();
    inserting = false;
    if (!kept)
        SelectAction(selectedBefore);
}

}  // namespace quillon
