#include "core/store/profile_state.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/text16.h"

namespace quillon {

// The writer thread's side: what it has written, waiting for the UI thread to hear it.
struct ProfileState::Background {
    std::function<void()> wake;
    std::mutex finishedMutex;
    std::vector<WriteResult> finished;
    // Last, so that it is the first to go: its thread ends before what its callbacks touch.
    WriteBehind writes;
};

ProfileState::~ProfileState() = default;
ProfileState::ProfileState(ProfileState&&) noexcept = default;
ProfileState& ProfileState::operator=(ProfileState&&) noexcept = default;

ProfileState::ProfileState(std::unique_ptr<ProfileStore> store)
    : m_store(std::move(store)), m_header(std::make_unique<StoreHeader>()),
      m_applied(std::make_unique<ProfileRecord>()) {
    std::memset(static_cast<void*>(m_header.get()), 0, sizeof(StoreHeader));
    std::memset(static_cast<void*>(m_applied.get()), 0, sizeof(ProfileRecord));
}

LoadReport ProfileState::Load(std::u16string_view addProfileText) {
    const LoadReport report = m_store->Load(m_list, *m_header, addProfileText);
    // The store guarantees a record at the selected index.
    m_selected = m_list[static_cast<std::size_t>(m_header->selected)].get();
    *m_applied = *m_selected;
    RequestFullWrite(FullWriteReason::Loaded);
    return report;
}

void ProfileState::Select(std::size_t index) {
    if (index >= m_list.size())
        return;
    m_header->selected = static_cast<std::int32_t>(index);
    m_selected = m_list[index].get();
}

std::size_t ProfileState::Append(std::unique_ptr<ProfileRecord> record) {
    m_list.push_back(std::move(record));
    return m_list.size() - 1;
}

bool ProfileState::Remove(std::size_t index) {
    if (index >= m_list.size() || m_list.size() < 2)
        return false;
    const auto selected = static_cast<std::size_t>(m_header->selected);
    m_list.erase(m_list.begin() + static_cast<std::ptrdiff_t>(index));
    if (index < selected)
        Select(selected - 1);
    else if (index == selected)
        Select(std::min(index, m_list.size() - 1));
    return true;
}

void ProfileState::RenameSelected(std::u16string_view name) {
    if (!m_selected)
        return;
    SetFieldText(m_selected->profile_name.data(), m_selected->profile_name.size(), name);
    SaveSoon();
}

void ProfileState::RequestFullWrite(FullWriteReason reason) {
    m_fullWritePending = true;
    m_fullWriteByUser = m_fullWriteByUser || reason == FullWriteReason::UserChange;
    ++m_fullWriteRequests;
}

WriteResult ProfileState::Save() {
    FlushSaves();
    const WriteResult result = m_store->Save(m_list, *m_header);
    if (m_saveObserver)
        m_saveObserver(result);
    return result;
}

void ProfileState::SaveSoon() {
    if (!m_background) {
        static_cast<void>(Save());  // the observer hears how it went
        return;
    }
    Background* background = m_background.get();
    m_store->SaveLater(background->writes, m_list, *m_header, [background](const WriteResult& result) {
        {
            std::lock_guard lock(background->finishedMutex);
            background->finished.push_back(result);
        }
        if (background->wake)
            background->wake();
    });
}

void ProfileState::SaveInBackground(std::function<void()> wake) {
    FlushSaves();
    m_background = std::make_unique<Background>();
    m_background->wake = std::move(wake);
}

void ProfileState::HearFinishedSaves() {
    if (!m_background)
        return;
    std::vector<WriteResult> finished;
    {
        std::lock_guard lock(m_background->finishedMutex);
        finished.swap(m_background->finished);
    }
    if (m_saveObserver)
        for (const WriteResult& result : finished)
            m_saveObserver(result);
}

void ProfileState::FlushSaves() {
    if (!m_background)
        return;
    m_background->writes.Flush();
    HearFinishedSaves();
}

void ProfileState::TakeOverReportedSetting(ReportedSetting setting) {
    if (!m_selected)
        return;
    switch (setting) {
    case ReportedSetting::DpiStage:
        m_applied->dpi_step = m_selected->dpi_step;
        break;
    case ReportedSetting::PollingRate:
        m_applied->prate = m_selected->prate;
        break;
    case ReportedSetting::LightEffect:
        m_applied->light_effect = m_selected->light_effect;
        break;
    }
    SaveSoon();
}

bool ProfileState::HasUnsentUserChanges() const {
    if (!m_selected)
        return false;
    if (m_fullWritePending && m_fullWriteByUser)
        return true;
    return ComputeDirtySet(*m_selected, *m_applied, FullWrite::No).Any();
}

ApplySnapshot ProfileState::TakeApplySnapshot() const {
    ApplySnapshot snapshot;
    snapshot.record = std::make_unique<ProfileRecord>(m_selected ? *m_selected : *m_applied);
    snapshot.applied = std::make_unique<ProfileRecord>(*m_applied);
    snapshot.fullWrite = m_fullWritePending ? FullWrite::Yes : FullWrite::No;
    snapshot.fullWriteRequests = m_fullWriteRequests;
    return snapshot;
}

void ProfileState::FinishApply(ApplySnapshot snapshot, ApplyDelivery delivery) {
    SaveSoon();
    if (delivery != ApplyDelivery::Complete || !snapshot.record)
        return;
    *m_applied = *snapshot.record;
    if (snapshot.fullWriteRequests == m_fullWriteRequests) {
        m_fullWritePending = false;
        m_fullWriteByUser = false;
    }
}

}  // namespace quillon
