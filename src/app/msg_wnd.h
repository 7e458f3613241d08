#pragma once
// The program's one message box: a title and a message, both language keys, with OK and Cancel.
// Every confirmation and warning of the program goes through it:
//
//     if (CMsgWnd::MessageBox(mainWindow, "warning_title_text", "restore_text") == 1)
//         ... the user confirmed ...
//
// The box is modal over its owner and returns 1 when OK was clicked and 0 when Cancel was; callers
// that only inform ignore the result. A test that answers the box through a ModalScript gets the
// code its answer closed the box with.
//
// A message that names something only known at run time (a file, the system's reason) takes it
// as arguments: the language text holds "%1", "%2", ... where they go.
//
//     CMsgWnd::MessageBox(mainWindow, "warning_title_text", "save_failed_text", {path, reason});

#include "ui/window.h"

#include <QString>
#include <QStringList>

namespace quillon {

class CMsgWnd : public WindowImplBase {
public:
    CMsgWnd(QString titleKey, QString messageKey, QStringList arguments = {});

    // Builds the box over `owner`, centres it, runs it modally and returns its result.
    static int MessageBox(HWND owner, const QString& titleKey, const QString& messageKey,
                          const QStringList& arguments = {});

    QString GetWindowClassName() const override { return QStringLiteral("MsgWnd"); }
    QString GetSkinFile() override { return QStringLiteral("msg.xml"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;

private:
    QString m_titleKey;
    QString m_messageKey;
    QStringList m_arguments;
    CButtonUI* m_btnOk = nullptr;
    CButtonUI* m_btnCancel = nullptr;
    CLabelUI* m_warningTitle = nullptr;
    CLabelUI* m_warning = nullptr;
};

}  // namespace quillon
