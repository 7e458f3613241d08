#include "support/scripted_file_dialogs.h"

#include <gtest/gtest.h>

namespace quillon::test {

ScriptedFileDialogs::ScriptedFileDialogs()
    : m_installed(ScopedServices::Set{nullptr, nullptr, this, nullptr, {}}) {}

ScriptedFileDialogs::~ScriptedFileDialogs() {
    EXPECT_TRUE(m_script.empty()) << m_script.size() << " scripted file dialog(s) never opened";
}

void ScriptedFileDialogs::ExpectOpen(std::optional<QString> answer) {
    m_script.emplace_back(Kind::Open, std::move(answer));
}

void ScriptedFileDialogs::ExpectSave(std::optional<QString> answer) {
    m_script.emplace_back(Kind::Save, std::move(answer));
}

std::optional<QString> ScriptedFileDialogs::GetOpenFileName(const FileDialogRequest& request) {
    return Answer(Kind::Open, request);
}

std::optional<QString> ScriptedFileDialogs::GetSaveFileName(const FileDialogRequest& request) {
    return Answer(Kind::Save, request);
}

std::optional<QString> ScriptedFileDialogs::Answer(Kind kind, const FileDialogRequest& request) {
    m_seen.push_back(Seen{kind, request});
    const char* name = kind == Kind::Open ? "open" : "save";
    if (m_script.empty()) {
        ADD_FAILURE() << "an unexpected " << name << " file dialog opened";
        return std::nullopt;
    }
    auto [expected, answer] = m_script.front();
    m_script.pop_front();
    if (expected != kind) {
        ADD_FAILURE() << "a " << name << " file dialog opened where the test expected the other kind";
        return std::nullopt;
    }
    return answer;
}

}  // namespace quillon::test
