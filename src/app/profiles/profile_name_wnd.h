#pragma once
// The profile name dialog: a title chosen by the caller, one edit field, OK, Cancel and a close
// button. It refuses an empty name, and a name that a profile of the list already has in any
// letter case (the profile being renamed included), each with a message box over the dialog that
// leaves the typed text in place. Return is OK and Escape is Cancel (the layout names the two).
//
//     if (auto name = CMS_1_ProfileName::Ask(mainWindow, "profile_name_1_text", profiles.List()))
//         ... *name is free in the list and fits a record's name field ...

#include <QString>

#include <optional>

#include "core/store/profile_store.h"
#include "ui/window.h"

namespace quillon {

class CButtonUI;
class CEditUI;
class CLabelUI;

class CMS_1_ProfileName : public WindowImplBase {
public:
    // `titleKey`: "profile_name_1_text" when adding, "profile_name_2_text" when renaming.
    CMS_1_ProfileName(QString titleKey, const ProfileList& profiles);

    // Builds the dialog over `owner`, centres it and runs it modally: the accepted name, or nothing
    // when it was cancelled or closed.
    static std::optional<QString> Ask(HWND owner, const QString& titleKey, const ProfileList& profiles);

    // The accepted name; empty until the dialog was confirmed.
    const QString& ResultName() const { return m_resultName; }

    QString GetWindowClassName() const override { return QStringLiteral("MS_1_ProfileName"); }
    QString GetSkinFile() override { return QStringLiteral("MS/MS_1/profilename.xml"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnClick(TNotifyUI& msg) override;

private:
    void Confirm();

    QString m_titleKey;
    const ProfileList& m_profiles;
    QString m_resultName;
    CButtonUI* btn_ok = nullptr;
    CButtonUI* btn_cancel = nullptr;
    CButtonUI* btn_exit = nullptr;
    CLabelUI* title_string = nullptr;
    CEditUI* edit_name = nullptr;
};

}  // namespace quillon
