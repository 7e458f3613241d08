#pragma once
// The profiles as the settings page holds them while the program runs: the list with its
// `StoreHeader`, the selected record, the `AppliedCopy` of what the mouse last received,
// `full_write_pending`, and the store that keeps them on disk.
//
// The page owns one ProfileState and uses it on the UI thread only; the apply, which runs on the
// worker, reaches it through snapshots that the UI thread takes and commits on its behalf
// (protocol/apply.h). Edits go straight into `Selected()`; the save points are the ones the
// program has always had (a completed apply, a setting the mouse reports, a rename) plus the exit,
// so that edits made while no mouse is connected are not lost.
//
// By default a save point waits for the disk. The window hands them to a writer thread instead
// (`SaveInBackground`), so that a store of many profiles never holds up the event loop: each save
// copies the list and header as they are at that moment, the copies are written in order, and the
// observer still hears every result, on the UI thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "core/protocol/apply_plan.h"
#include "core/records/profile_record.h"
#include "core/store/profile_store.h"

namespace quillon {

// What the apply works on: copies taken at its start, so that edits made while it runs go out
// with the next apply instead of being half sent.
struct ApplySnapshot {
    std::unique_ptr<ProfileRecord> record;   // the selected record
    std::unique_ptr<ProfileRecord> applied;  // the `AppliedCopy`
    FullWrite fullWrite = FullWrite::No;     // `full_write_pending`
    std::uint64_t fullWriteRequests = 0;     // to tell whether another full write was asked meanwhile
};

// How an apply ended.
enum class ApplyDelivery {
    Complete,  // every frame was written (or none was due)
    Dropped,   // at least one frame found no awake link and was not written
};

// The settings a mouse reports on its own.
enum class ReportedSetting {
    DpiStage,     // `dpi_step`
    PollingRate,  // `prate`, over BLE
    LightEffect,  // `light_effect`, over BLE
};

enum class FullWriteReason {
    Loaded,      // the list was just loaded; the mouse may hold anything
    UserChange,  // the user selected, reset or imported a profile
};

class ProfileState {
public:
    explicit ProfileState(std::unique_ptr<ProfileStore> store);
    ~ProfileState();
    ProfileState(ProfileState&&) noexcept;
    ProfileState& operator=(ProfileState&&) noexcept;

    // Loads the list, selects the stored index, takes the selected record as the `AppliedCopy`
    // and asks for a full write.
    LoadReport Load(std::u16string_view addProfileText);

    ProfileList& List() { return m_list; }
    const ProfileList& List() const { return m_list; }
    StoreHeader& Header() { return *m_header; }
    const StoreHeader& Header() const { return *m_header; }
    ProfileStore& Store() { return *m_store; }

    // The record the page shows and edits; null only before Load.
    ProfileRecord* Selected() { return m_selected; }
    const ProfileRecord* Selected() const { return m_selected; }
    // Makes record `index` the selected one and stores the index in the header. An index outside
    // the list is ignored.
    void Select(std::size_t index);

    // Appends a record to the end of the list and returns its index; the selection stays.
    std::size_t Append(std::unique_ptr<ProfileRecord> record);
    // Removes record `index`, unless it is the only one (false, nothing changes). The selection
    // stays valid: removing the selected record selects the one that takes its place, or the new
    // last one; removing one before it keeps the same record selected at its new index.
    bool Remove(std::size_t index);
    // Gives the selected record a new name (cut to fit its field) and saves the store.
    void RenameSelected(std::u16string_view name);

    const ProfileRecord& AppliedCopy() const { return *m_applied; }

    bool full_write_pending() const { return m_fullWritePending; }
    void RequestFullWrite(FullWriteReason reason);

    // Saves the whole list and header now, after every save still waiting for the writer thread.
    // Every save, this one and those the state makes on its own (a completed apply, a reported
    // setting), is also handed to the save observer.
    WriteResult Save();
    // A save point: `Save`, or in the background once `SaveInBackground` was called.
    void SaveSoon();

    // From now on save points hand their saves to a writer thread. `wake` is called on that thread
    // when one has been written; the UI thread then calls `HearFinishedSaves`, which hands the
    // results to the save observer.
    void SaveInBackground(std::function<void()> wake);
    void HearFinishedSaves();
    // Waits until the saves handed to the writer thread are written, and hands their results to
    // the observer.
    void FlushSaves();

    // Told of the result of every save, so that a failed one is heard: the page logs it and tells
    // the user.
    using SaveObserver = std::function<void(const WriteResult&)>;
    void SetSaveObserver(SaveObserver observer) { m_saveObserver = std::move(observer); }

    // The mouse reported a setting that the page took over into the selected record: the mouse
    // already holds that field, so it alone is copied into the `AppliedCopy`, and the store is
    // saved. Every other edit the mouse has not received stays unsent.
    void TakeOverReportedSetting(ReportedSetting setting);

    // True when the mouse lacks something the user changed: the record differs from the
    // `AppliedCopy` in a group the mouse is sent, or the user asked for a full write that has not
    // gone out.
    bool HasUnsentUserChanges() const;

    // Copies for an apply that starts now.
    ApplySnapshot TakeApplySnapshot() const;
    // Ends an apply: the store is saved in every case. A complete apply makes its snapshot the
    // `AppliedCopy` and clears `full_write_pending` (unless a full write was asked for again while
    // it ran); an apply whose frames were dropped leaves both, so the changes go out later.
    void FinishApply(ApplySnapshot snapshot, ApplyDelivery delivery);

    // The last save point: whatever was edited reaches the file.
    WriteResult SaveOnExit() { return Save(); }

private:
    SaveObserver m_saveObserver;
    std::unique_ptr<ProfileStore> m_store;
    ProfileList m_list;
    std::unique_ptr<StoreHeader> m_header;
    ProfileRecord* m_selected = nullptr;
    std::unique_ptr<ProfileRecord> m_applied;
    bool m_fullWritePending = false;
    bool m_fullWriteByUser = false;
    std::uint64_t m_fullWriteRequests = 0;

    struct Background;
    std::unique_ptr<Background> m_background;  // set by SaveInBackground
};

}  // namespace quillon
