#include "support/modal_answers.h"

#include <gtest/gtest.h>

namespace quillon::test {

ModalAnswers::ModalAnswers() : m_previous(GetModalScript()) {
    SetModalScript(this);
}

ModalAnswers::~ModalAnswers() {
    SetModalScript(m_previous);
    for (const Scripted& answer : m_answers)
        ADD_FAILURE() << "no modal window of class " << answer.className.toStdString()
                      << " opened for its answer";
}

void ModalAnswers::ClickOnNext(const QString& className, const QString& controlName) {
    OnNext(className, [controlName](UiDriver& window) { window.Click(controlName); });
}

void ModalAnswers::OnNext(const QString& className, std::function<void(UiDriver&)> action) {
    m_answers.push_back(Scripted{className, std::move(action)});
}

bool ModalAnswers::Intercepts(const QString& className) {
    for (const Scripted& answer : m_answers)
        if (answer.className == className)
            return true;
    return false;
}

bool ModalAnswers::Answer(WindowImplBase& window) {
    const QString className = window.GetWindowClassName();
    m_opened.push_back(className);
    for (auto it = m_answers.begin(); it != m_answers.end(); ++it) {
        if (it->className != className)
            continue;
        const auto action = std::move(it->action);
        m_answers.erase(it);
        UiDriver driver(window);
        action(driver);
        return true;
    }
    ADD_FAILURE() << "modal window of class " << className.toStdString() << " opened without an answer";
    return false;
}

}  // namespace quillon::test
