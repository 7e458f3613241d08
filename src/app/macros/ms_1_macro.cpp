#include "app/macros/ms_1_macro.h"

#include <QDebug>
#include <QStringList>

#include <algorithm>
#include <climits>

#include "app/macros/ms_1_macro_impl.h"
#include "app/msg_wnd.h"
#include "core/text16.h"
#include "platform/file_dialogs.h"
#include "platform/folders.h"
#include "platform/services.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

namespace quillon {

namespace {

template <class T> T* Find(CPaintManagerUI& pm, const char* name, QStringList& missing) {
    T* control = pm.FindControl<T>(QString::fromLatin1(name));
    if (control == nullptr)
        missing << QString::fromLatin1(name);
    return control;
}

FileFilter MacroFileFilter() {
    return {EditorText(QStringLiteral("macro_file_text")),
            {QStringLiteral("*.macro"), QStringLiteral("*.MACRO")}};
}

std::filesystem::path ToPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

}  // namespace

QString EditorText(const QString& key) {
    return CResourceManager::GetInstance()->GetText(key);
}

int LeadingInteger(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// --- The window -------------------------------------------------------------------------------------

CMS_1_Macro::CMS_1_Macro(MacroStore& store, const HookOps* hooks, const KeyCodeTables* keys,
                         RecordingMemory* memory)
    : m(std::make_unique<Impl>(*this, store, hooks, keys, memory)) {}

CMS_1_Macro::~CMS_1_Macro() = default;

void CMS_1_Macro::InitWindow() {
    m->ready = m->FindControls();
    if (m->ready)
        m->FillMacroList();
}

bool CMS_1_Macro::Impl::FindControls() {
    CPaintManagerUI& pm = window.GetPaintManager();
    QStringList missing;
    exitButton = Find<CButtonUI>(pm, "btn_exit", missing);
    macroList = Find<CListUI>(pm, "ms_1_macro_list", missing);
    nameEdit = Find<CEditUI>(pm, "ms_1_macro_name_edit", missing);
    addButton = Find<CButtonUI>(pm, "ms_1_macro_add_btn", missing);
    deleteButton = Find<CButtonUI>(pm, "ms_1_macro_delete_btn", missing);
    insertMouseCheck = Find<CCheckBoxUI>(pm, "ms_1_macro_insert_mouse_btn", missing);
    recordButton = Find<CCheckBoxUI>(pm, "ms_1_macro_record_btn", missing);
    actionList = Find<CListUI>(pm, "ms_1_macro_action_list", missing);
    recordDelayOption = Find<COptionUI>(pm, "ms_1_record_delay_btn", missing);
    defaultDelayOption = Find<COptionUI>(pm, "ms_1_default_delay_btn", missing);
    noDelayOption = Find<COptionUI>(pm, "ms_1_no_delay_btn", missing);
    defaultDelayEdit = Find<CEditUI>(pm, "ms_1_default_delay_edit", missing);
    upButton = Find<CButtonUI>(pm, "ms_1_macro_up_btn", missing);
    downButton = Find<CButtonUI>(pm, "ms_1_macro_down_btn", missing);
    deleteActionButton = Find<CButtonUI>(pm, "ms_1_macro_delete_action_btn", missing);
    clearButton = Find<CButtonUI>(pm, "ms_1_macro_clear_action_btn", missing);
    editCheck = Find<CCheckBoxUI>(pm, "ms_1_macro_action_edit_check", missing);
    editTab = Find<CTabLayoutUI>(pm, "ms_1_macro_action_edit_tab", missing);
    keyEdit = Find<CEditUI>(pm, "ms_1_macro_action_edit", missing);
    keyDelayEdit = Find<CEditUI>(pm, "ms_1_macro_delay_edit", missing);
    mouseCombo = Find<CComboUI>(pm, "ms_1_macro_mouse_action_combo", missing);
    mouseDelayEdit = Find<CEditUI>(pm, "ms_1_macro_mouseaction_delay_edit", missing);
    moveXEdit = Find<CEditUI>(pm, "mouse_move_edit_x_edit", missing);
    moveYEdit = Find<CEditUI>(pm, "mouse_move_edit_y_edit", missing);
    moveDelayEdit = Find<CEditUI>(pm, "mouse_move_delay_edit", missing);
    saveButton = Find<CButtonUI>(pm, "ms_1_macro_save_btn", missing);
    cancelButton = Find<CButtonUI>(pm, "ms_1_macro_cancel_btn", missing);
    editButtons = Find<CControlUI>(pm, "ms_1_macro_edit_buttons", missing);
    for (std::size_t i = 0; i < clickButtons.size(); ++i) {
        const QByteArray name = QStringLiteral("ms_1_macro_key%1_btn").arg(i + 1).toLatin1();
        clickButtons[i] = Find<CButtonUI>(pm, name.constData(), missing);
    }
    insertXEdit = Find<CEditUI>(pm, "ms_1_edit_x", missing);
    insertYEdit = Find<CEditUI>(pm, "ms_1_edit_y", missing);
    moveButton = Find<CButtonUI>(pm, "ms_1_macro_move_btn", missing);
    importButton = Find<CButtonUI>(pm, "ms_1_macro_import_btn", missing);
    exportButton = Find<CButtonUI>(pm, "ms_1_macro_export_btn", missing);
    nameTab = Find<CControlUI>(pm, "ms_1_macro_name_tab", missing);
    mouseEventTab = Find<CControlUI>(pm, "ms_1_macro_mouse_event_tab", missing);
    saveDataTab = Find<CControlUI>(pm, "ms_1_macro_savedata_tab", missing);
    exportImportTab = Find<CControlUI>(pm, "ms_1_macro_exportorimport_tab", missing);
    unitsLabel = Find<CLabelUI>(pm, "ms_1_macro_units_label", missing);
    statusLabel = Find<CLabelUI>(pm, "ms_1_macro_status_label", missing);
    if (!missing.isEmpty()) {
        qWarning() << "macro editor: controls missing from the layout:" << missing;
        return false;
    }

    nameEdit->SetMaxChar(static_cast<int>(kMacroNameMaxLength));
    keyEdit->SetReadOnly(true);
    unitsLabel->SetTextMode(TextMode::Plain);
    statusLabel->SetVisible(false);
    // The combo box lists the mouse buttons by their key names.
    mouseCombo->SetItemTextMode(TextMode::Plain);
    mouseCombo->RemoveAll();
    for (std::uint8_t code : kMouseButtonOrder)
        mouseCombo->AddItem(KeyName(code));
    // The delay mode starts as the default delay, whatever the layout shows, and the default delay
    // is the one the layout's box gives.
    defaultDelayOption->Selected(true, SelectNotify::No);
    delayMode = DelayMode::Default;
    defaultDelay = static_cast<std::uint16_t>(
        std::clamp(LeadingInteger(defaultDelayEdit->GetText()), 1, int{kMacroDelayMax}));
    defaultDelayEdit->SetText(QString::number(defaultDelay));
    SetInsertMouse(insertMouseCheck->GetCheck());
    ShowPage(EditPage::Nothing);
    InitRecordButton();
    ShowUnits();
    return true;
}

void CMS_1_Macro::Impl::FillMacroList() {
    macroList->RemoveAll();
    for (const auto& record : store.List()) {
        auto* row = new CListLabelElementUI();
        row->SetTextMode(TextMode::Plain);
        row->SetText(MacroName(*record));
        row->SetFixedHeight(kMacroListRowHeight);
        macroList->Add(row);
    }
    current = nullptr;
    currentIndex = -1;
}

QString CMS_1_Macro::Impl::MacroName(const MacroRecord& record) const {
    const std::u16string_view name = LeadingName(record);
    return QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size()));
}

void CMS_1_Macro::Notify(TNotifyUI& msg) {
    Impl& d = *m;
    if (d.closing || !d.ready)
        return;
    CControlUI* sender = msg.pSender;
    if (msg.sType == QLatin1String("click")) {
        OnClick(msg);
        return;
    }
    if (msg.sType == QLatin1String("itemselect") && sender == d.macroList) {
        d.OnMacroSelected(static_cast<int>(msg.wParam));
        return;
    }
    if ((msg.sType == QLatin1String("killfocus") || msg.sType == QLatin1String("return")) &&
        sender == d.nameEdit) {
        d.Rename();
        return;
    }
    if (d.NotifyRecording(msg))
        return;
    d.NotifyActionEditing(msg);
}

void CMS_1_Macro::OnClick(TNotifyUI& msg) {
    Impl& d = *m;
    CControlUI* sender = msg.pSender;
    if (d.closing || !d.ready || sender == nullptr)
        return;
    if (sender == d.exitButton)
        Close(1);
    else if (sender == d.addButton)
        d.AddMacro();
    else if (sender == d.deleteButton)
        d.DeleteMacro();
    else if (sender == d.importButton)
        d.Import();
    else if (sender == d.exportButton)
        d.Export();
    else
        d.NotifyActionEditing(msg);
}

LRESULT CMS_1_Macro::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    bHandled = false;
    if (uMsg != MSG_HOOK_EVENT)
        return 0;
    bHandled = true;
    // While the recording route is on the events belong to recording; one that was on its way when
    // the recording stopped is dropped. Otherwise they are the key capture's.
    if (!m->ready || m->closing)
        return 0;
    if (m->recordingRoute) {
        if (m->recording)
            m->OnRecordedEvent(wParam, lParam);
    } else if (m->keyCapture) {
        m->OnKeyCaptured(static_cast<std::uint32_t>(wParam));
    }
    return 0;
}

LRESULT CMS_1_Macro::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    Impl& d = *m;
    if (d.closing || !d.ready)
        return 0;
    // An edit still holding the focus takes its last change in, as leaving it would.
    TNotifyUI pending;
    pending.sType = QStringLiteral("killfocus");
    for (CEditUI* edit : {d.nameEdit, d.keyDelayEdit, d.mouseDelayEdit, d.moveXEdit, d.moveYEdit,
                          d.moveDelayEdit, d.defaultDelayEdit}) {
        if (edit->IsFocused()) {
            pending.pSender = edit;
            Notify(pending);
        }
    }
    if (d.keyCapture)
        d.StopKeyCapture();
    // Closing ends a recording as its button would: the hook stops listening and what was
    // recorded is kept.
    if (d.recording)
        d.StopRecording();
    d.closing = true;
    m_pm.KillTimer(d.actionList);
    return 0;
}

// --- Macro list, load and commit --------------------------------------------------------------------

void CMS_1_Macro::Impl::OnMacroSelected(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= store.Count())
        return;
    // A recording belongs to the macro it started in: it ends there before another is shown.
    if (recording && row != currentIndex)
        StopRecording();
    currentIndex = row;
    LoadMacro(row);
}

void CMS_1_Macro::Impl::LoadMacro(int index) {
    statusLabel->SetVisible(false);
    if (store.Count() == 0 || index < 0 || static_cast<std::size_t>(index) >= store.Count()) {
        current = nullptr;
        currentIndex = -1;
        working = {};
        workingCount = 0;
        selectedAction = -1;
        actionList->RemoveAll();
        nameEdit->SetText({});
        ShowPage(EditPage::Nothing);
        ShowUnits();
        return;
    }
    current = store.At(static_cast<std::size_t>(index));
    currentIndex = index;
    working = current->actions;
    workingCount = std::clamp(current->actionCount, 0, static_cast<int>(kMacroActionCapacity));
    if (workingCount == 0)
        selectedAction = -1;
    nameEdit->SetText(MacroName(*current));
    RebuildActionList();
    ShowUnits();
}

bool CMS_1_Macro::Impl::Commit() {
    const int units =
        iTotalNum(std::span<const MacroAction>(working.data(), static_cast<std::size_t>(workingCount)));
    if (units > kMacroUnitLimit) {
        // The mouse could not hold it: the change is dropped and the stored macro shown again,
        // with the reason in the status line.
        LoadMacro(currentIndex);
        restoreSelection = false;
        ShowDropped();
        return false;
    }
    if (current == nullptr)
        return true;
    current->actions = working;
    current->actionCount = workingCount;
    static_cast<void>(store.SaveMacroStore());  // the store's observer hears how it went
    statusLabel->SetVisible(false);
    ShowUnits();
    return true;
}

void CMS_1_Macro::Impl::ShowUnits() {
    if (current == nullptr) {
        unitsLabel->SetText({});
        return;
    }
    const int units =
        iTotalNum(std::span<const MacroAction>(working.data(), static_cast<std::size_t>(workingCount)));
    unitsLabel->SetText(EditorText(QStringLiteral("macro_units_text"))
                            .arg(units)
                            .arg(kMacroUnitLimit)
                            .arg(std::max(0, kMacroUnitLimit - units))
                            .arg(workingCount)
                            .arg(kMacroActionCapacity));
}

void CMS_1_Macro::Impl::ShowDropped() {
    statusLabel->SetText(QStringLiteral("macro_too_long_text"));
    statusLabel->SetVisible(true);
}

// --- Buttons of the macro list ------------------------------------------------------------------------

void CMS_1_Macro::Impl::AddMacro() {
    MacroRecord& record = store.AddMacro(EditorText(QStringLiteral("add_macro_text")).toStdU16String());
    auto* row = new CListLabelElementUI();
    row->SetTextMode(TextMode::Plain);
    row->SetText(MacroName(record));
    row->SetFixedHeight(kMacroListRowHeight);
    macroList->Add(row);
    macroList->SelectItem(macroList->GetCount() - 1, SelectNotify::Yes);
    macroList->ScrollToEnd();
}

void CMS_1_Macro::Impl::DeleteMacro() {
    // Nothing is asked when no macro is selected: there is nothing to delete.
    if (macroList->GetCurSel() < 0)
        return;
    if (CMsgWnd::MessageBox(window.GetHWND(), QStringLiteral("warning_title_text"),
                            QStringLiteral("delete_macro_text")) != 1)
        return;
    const int row = macroList->GetCurSel();
    if (recording)
        StopRecording();
    if (row < 0 || !store.RemoveMacro(static_cast<std::size_t>(row)))
        return;
    macroList->RemoveAt(row);
    if (store.Count() == 0) {
        LoadMacro(-1);
        return;
    }
    macroList->SelectItem(std::min(row, macroList->GetCount() - 1), SelectNotify::Yes);
}

void CMS_1_Macro::Impl::Rename() {
    if (current == nullptr)
        return;
    // The name as the field will hold it.
    char16_t field[kMacroNameCapacity];
    SetFieldText(field, kMacroNameCapacity, nameEdit->GetText().toStdU16String());
    const std::u16string_view wanted = FieldText(field, kMacroNameCapacity);
    const std::u16string_view now = LeadingName(*current);
    // The same name in other letters, a name another macro has, or no name at all: the box shows
    // the current name again.
    if (EqualNoCase(wanted, now) || wanted.empty() || store.NameExists(wanted)) {
        nameEdit->SetText(MacroName(*current));
        return;
    }
    SetFieldText(current->name.data(), current->name.size(), wanted);
    Commit();
    if (CControlUI* row = macroList->GetItemAt(currentIndex))
        row->SetText(MacroName(*current));
    nameEdit->SetText(MacroName(*current));
}

void CMS_1_Macro::Impl::Import() {
    FileDialogRequest request;
    request.parent = window.GetHostWidget();
    request.filters = {MacroFileFilter()};
    request.initialPath = QString::fromStdString(DataFolder().string());
    request.mustExist = MustExist::Yes;
    const std::optional<QString> path = services().fileDialogs().GetOpenFileName(request);
    if (!path)
        return;
    const MacroStore::ImportResult result =
        store.ImportMacroFile(ToPath(*path), EditorText(QStringLiteral("add_macro_text")).toStdU16String());
    if (result.record == nullptr) {
        CMsgWnd::MessageBox(window.GetHWND(), QStringLiteral("warning_title_text"),
                            result.problem == MacroFileProblem::WrongSize
                                ? QStringLiteral("macro_import_invalid_text")
                                : QStringLiteral("macro_import_unreadable_text"));
        return;
    }
    auto* row = new CListLabelElementUI();
    row->SetTextMode(TextMode::Plain);
    row->SetText(MacroName(*result.record));
    row->SetFixedHeight(kMacroListRowHeight);
    macroList->Add(row);
    macroList->SelectItem(macroList->GetCount() - 1, SelectNotify::Yes);
    macroList->ScrollToEnd();
}

void CMS_1_Macro::Impl::Export() {
    if (current == nullptr)
        return;
    FileDialogRequest request;
    request.parent = window.GetHostWidget();
    request.filters = {MacroFileFilter()};
    request.defaultExtension = QStringLiteral("macro");
    request.overwritePrompt = OverwritePrompt::Yes;
    request.initialPath =
        QString::fromStdString((DataFolder() / (MacroName(*current).toStdString() + ".macro")).string());
    const std::optional<QString> path = services().fileDialogs().GetSaveFileName(request);
    if (!path)
        return;
    const QString target = WithDefaultExtension(*path, request.defaultExtension);
    const WriteResult written = store.ExportMacroFile(*current, ToPath(target));
    if (!written.Ok()) {
        qWarning("quillon: the macro could not be exported to %s: %s", qUtf8Printable(target),
                 WriteFailureReason(written).c_str());
        CMsgWnd::MessageBox(window.GetHWND(), QStringLiteral("warning_title_text"),
                            QStringLiteral("macro_export_failed_text"));
    }
}

}  // namespace quillon
