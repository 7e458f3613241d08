#include "app/profiles/profile_name_wnd.h"

#include "app/msg_wnd.h"
#include "core/store/record_names.h"
#include "core/text16.h"
#include "ui/controls.h"

namespace quillon {

namespace {

// The name as a record stores it: cut to its field (never inside a surrogate pair).
std::u16string StoredForm(const QString& text) {
    std::array<char16_t, kProfileNameCapacity> field{};
    SetFieldText(field.data(), field.size(), text.toStdU16String());
    return std::u16string(FieldText(field.data(), field.size()));
}

}  // namespace

CMS_1_ProfileName::CMS_1_ProfileName(QString titleKey, const ProfileList& profiles)
    : m_titleKey(std::move(titleKey)), m_profiles(profiles) {}

std::optional<QString> CMS_1_ProfileName::Ask(HWND owner, const QString& titleKey,
                                              const ProfileList& profiles) {
    CMS_1_ProfileName dialog(titleKey, profiles);
    // The layout gives the dialog its real size; 800 x 800 only stands until it is built.
    if (dialog.Create(owner, {}, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, 0, 0, 800, 800) == nullptr)
        return std::nullopt;
    dialog.CenterWindow();
    if (dialog.ShowModal() != 1)
        return std::nullopt;
    return dialog.ResultName();
}

void CMS_1_ProfileName::InitWindow() {
    btn_ok = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_ok"));
    btn_cancel = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_cancel"));
    btn_exit = m_pm.FindControl<CButtonUI>(QStringLiteral("btn_exit"));
    title_string = m_pm.FindControl<CLabelUI>(QStringLiteral("title_string"));
    edit_name = m_pm.FindControl<CEditUI>(QStringLiteral("edit_name"));
    if (title_string != nullptr)
        title_string->SetText(m_titleKey);
    if (edit_name != nullptr) {
        // The field holds no more than a record's name field, so the name that is checked is the
        // name that is stored. It starts empty, also when renaming.
        edit_name->SetMaxChar(static_cast<int>(kProfileNameMaxLength));
        edit_name->SetText({});
        edit_name->SetFocus();
    }
}

void CMS_1_ProfileName::Notify(TNotifyUI& msg) {
    if (msg.sType == QLatin1String("click"))
        OnClick(msg);
}

void CMS_1_ProfileName::OnClick(TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    if (msg.pSender == btn_ok)
        Confirm();
    else if (msg.pSender == btn_cancel || msg.pSender == btn_exit)
        Close(0);
}

void CMS_1_ProfileName::Confirm() {
    if (edit_name == nullptr)
        return;
    // Taken as typed: a name of blanks only is a name.
    const QString text = edit_name->GetText();
    if (text.isEmpty()) {
        CMsgWnd::MessageBox(GetHWND(), QStringLiteral("warning_title_text"),
                            QStringLiteral("warn_name_1_text"));
        return;
    }
    const std::u16string stored = StoredForm(text);
    if (NameExists(m_profiles, stored)) {
        CMsgWnd::MessageBox(GetHWND(), QStringLiteral("warning_title_text"),
                            QStringLiteral("warn_name_2_text"));
        return;
    }
    m_resultName = QString::fromStdU16String(stored);
    Close(1);
}

}  // namespace quillon
