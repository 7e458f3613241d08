#pragma once
// Scripted answers to modal windows. While a ModalAnswers lives, ShowModal never runs a nested
// loop and never shows its window: it hands the built window to the next answer queued for its
// class and returns the code the answer closed it with.
//
//     ModalAnswers answers;
//     answers.ClickOnNext("MsgWnd", "btn_ok");                  // the next message box says OK
//     answers.OnNext("DpiColorWnd", [](UiDriver& dialog) {      // read and act, then close
//         EXPECT_EQ(dialog.Text("r_edit"), "255");
//         dialog.Click("confirm_btn");
//     });
//
// A modal window that opens without an answer fails the test and returns -1; answers left unused
// when the object goes fail the test too.

#include "support/ui_driver.h"
#include "ui/window.h"

#include <deque>
#include <functional>
#include <vector>

namespace quillon::test {

class ModalAnswers : public ModalScript {
public:
    ModalAnswers();
    ~ModalAnswers() override;
    ModalAnswers(const ModalAnswers&) = delete;
    ModalAnswers& operator=(const ModalAnswers&) = delete;

    void ClickOnNext(const QString& className, const QString& controlName);
    void OnNext(const QString& className, std::function<void(UiDriver&)> action);

    // The classes of the modal windows that opened, in order, and the codes they returned with.
    const std::vector<QString>& Opened() const { return m_opened; }
    std::size_t Pending() const { return m_answers.size(); }

    bool Intercepts(const QString& className) override;
    bool Answer(WindowImplBase& window) override;

private:
    struct Scripted {
        QString className;
        std::function<void(UiDriver&)> action;
    };
    std::deque<Scripted> m_answers;
    std::vector<QString> m_opened;
    ModalScript* m_previous;
};

}  // namespace quillon::test
