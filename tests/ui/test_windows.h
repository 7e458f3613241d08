#pragma once
// Small windows over the test layouts in tests/ui/res, shared by the UI library's tests.

#include "support/modal_answers.h"
#include "support/qt_app.h"
#include "support/ui_driver.h"
#include "support/virtual_time.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>

#include <functional>
#include <vector>

namespace quillon::test {

struct ReceivedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A window that records what reaches it.
class TestWindow : public WindowImplBase {
public:
    QString GetWindowClassName() const override { return QStringLiteral("TestWnd"); }
    QString GetSkinFile() override { return QStringLiteral("test.xml"); }
    void InitWindow() override { initialised = true; }
    void OnClick(TNotifyUI& msg) override { clicks.push_back(msg.pSender->GetName()); }
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override {
        messages.push_back({uMsg, wParam, lParam});
        if (uMsg == WM_DESTROY)
            order.push_back(QStringLiteral("HandleCustomMessage(WM_DESTROY)"));
        if (onMessage)
            return onMessage(uMsg, wParam, lParam, bHandled);
        bHandled = false;
        return 0;
    }
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) override {
        order.push_back(QStringLiteral("OnDestroy"));
        bHandled = false;
        return 0;
    }
    void OnFinalMessage(HWND) override { order.push_back(QStringLiteral("OnFinalMessage")); }

    bool initialised = false;
    std::vector<QString> clicks;
    std::vector<ReceivedMessage> messages;
    std::vector<QString> order;
    std::function<LRESULT(UINT, WPARAM, LPARAM, bool&)> onMessage;
};

// A modal dialog that closes with 1 on btn_ok and 0 on btn_cancel.
class TestDialog : public WindowImplBase {
public:
    QString GetWindowClassName() const override { return QStringLiteral("TestDlg"); }
    QString GetSkinFile() override { return QStringLiteral("dialog.xml"); }
    void InitWindow() override {
        if (auto* warning = m_pm.FindControl<CLabelUI>(QStringLiteral("warning")))
            warning->SetText(messageKey);
    }
    void OnClick(TNotifyUI& msg) override {
        if (msg.pSender->GetName() == QLatin1String("btn_ok"))
            Close(1);
        else if (msg.pSender->GetName() == QLatin1String("btn_cancel"))
            Close(0);
    }
    void OnFinalMessage(HWND) override { ++finalMessages; }

    QString messageKey = QStringLiteral("message_text");
    int finalMessages = 0;
};

// Every test runs on virtual time, with the test layouts and their language file.
class UiFixture : public ::testing::Test {
protected:
    UiFixture() {
        TestApplication();
        CPaintManagerUI::SetResourcePath(QStringLiteral(QUILLON_SOURCE_DIR "/tests/ui/res/"));
        CResourceManager::GetInstance()->ResetLanguage();
        EXPECT_EQ(CResourceManager::GetInstance()->LoadLanguage(QStringLiteral("lan.xml")),
                  LanguageLoadError::None);
    }
    ~UiFixture() override {
        PumpPending();
        // Windows that were destroyed leave their widgets to the event loop; let it delete them.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Creates the test window (hidden) and a driver for it.
    void CreateWindow() {
        ASSERT_NE(window.Create(nullptr, QStringLiteral("test"), 0, 0), nullptr);
        ui = std::make_unique<UiDriver>(window);
        recorder = std::make_unique<NotificationRecorder>(window.GetPaintManager());
    }

    VirtualTime time;
    TestWindow window;
    std::unique_ptr<UiDriver> ui;
    std::unique_ptr<NotificationRecorder> recorder;
};

}  // namespace quillon::test
