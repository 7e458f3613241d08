#include "app/page/store_notices.h"

#include <QDebug>

#include "platform/message_window.h"
#include "platform/messages.h"

namespace quillon {
namespace {

QString PathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

}  // namespace

StoreNotices::StoreNotices(std::filesystem::path storeFile, Texts texts, ShowBox show)
    : m_storeFile(std::move(storeFile)), m_texts(texts), m_show(std::move(show)),
      m_window(std::make_unique<MessageWindow>([this](UINT message, WPARAM, LPARAM) -> LRESULT {
          if (message == MSG_STORE_NOTICE)
              ShowQueued();
          return 0;
      })) {}

StoreNotices::~StoreNotices() = default;

void StoreNotices::OnLoaded(const LoadReport& report) {
    if (report.outcome == LoadOutcome::Repaired)
        OnRepaired(report.backupKept, report.backupPath);
    if (report.outcome != LoadOutcome::Loaded)
        OnSaved(report.saveResult);
}

void StoreNotices::OnRepaired(bool backupKept, const std::filesystem::path& backupPath) {
    if (backupKept) {
        qWarning(
            "quillon: the %s store %s was damaged and has been repaired; the damaged file was kept as %s",
            m_texts.what, m_storeFile.c_str(), backupPath.c_str());
        Tell(QString::fromLatin1(m_texts.repaired), {PathText(backupPath)});
    } else {
        qWarning("quillon: the %s store %s was damaged and has been repaired; no copy of the damaged file "
                 "could be kept",
                 m_texts.what, m_storeFile.c_str());
        Tell(QString::fromLatin1(m_texts.repairedNoBackup), {});
    }
}

void StoreNotices::OnSaved(const WriteResult& result) {
    if (result.Ok()) {
        m_failureTold = false;
        return;
    }
    LogFailure(result);
    if (m_failureTold)
        return;
    m_failureTold = true;
    Tell(QString::fromLatin1(m_texts.saveFailed),
         {PathText(m_storeFile), QString::fromStdString(WriteFailureReason(result))});
}

void StoreNotices::OnExitSave(const WriteResult& result) {
    if (!result.Ok())
        LogFailure(result);
}

void StoreNotices::LogFailure(const WriteResult& result) const {
    qWarning("quillon: the %s could not be saved to %s: %s", m_texts.what, m_storeFile.c_str(),
             WriteFailureReason(result).c_str());
}

void StoreNotices::Tell(QString messageKey, QStringList arguments) {
    m_queued.push_back({std::move(messageKey), std::move(arguments)});
    if (m_queued.size() == 1)
        m_window->PostMessage(MSG_STORE_NOTICE, 0, 0);
}

void StoreNotices::ShowQueued() {
    // A notice that arrives while a box is open is shown after it, by this same loop.
    while (!m_queued.empty()) {
        const Notice notice = m_queued.front();
        m_show(notice.messageKey, notice.arguments);
        m_queued.pop_front();
    }
}

}  // namespace quillon
