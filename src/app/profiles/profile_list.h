#pragma once
// The operations on the profile list: fill at start-up, add, delete, rename, import and export
// (".pro" files), behind the profile card's buttons and the list's rows.
//
// Row i of the list control always shows record i of the profile list; both change together. After
// add, delete and import the selection is valid at once: the operation selects the new (or
// neighbouring) profile in the store and in the control itself, without a list notification, and
// hands over to the page, which shows the profile and asks for a full write to the mouse. What each
// operation costs on disk: rename saves the store once; add, delete and import save nothing
// themselves, the apply they ask for saves the store when it completes; export writes only its file.
//
//     ProfileListOperations operations(profiles, *list, mainWindow, [&] { page.ShowSelectedProfile(); });
//     operations.Fill();
//     ... "click" on ms_1_profile_add_btn -> operations.Add(); double click on a row -> Rename() ...

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>

#include "core/store/profile_state.h"

namespace quillon {

class CListUI;
class WindowImplBase;

// Where the macros of an imported profile go: the macro store. Adds every macro copy that the
// profile's buttons carry (function 17) to the store, under a name the store does not hold yet,
// points each button at its own new macro (`macro_name`, `macro_index`), and saves the store when
// it added any.
class ImportedMacros {
public:
    virtual ~ImportedMacros() = default;
    virtual void AddMacrosOf(ProfileRecord& record) = 0;
};

class ProfileListOperations {
public:
    // `selectionShown` runs after an operation made another profile the selected one: the page
    // shows it and asks for a full write. `macros` may be null (an import then adds no macros).
    ProfileListOperations(ProfileState& profiles, CListUI& list, WindowImplBase& owner,
                          std::function<void()> selectionShown, ImportedMacros* macros = nullptr);

    // One row per profile, in list order; the stored profile selected without a notification.
    void Fill();

    // The name dialog, then a new profile with factory settings under the entered name, selected.
    void Add();
    // After a confirmation, removes the selected profile and selects its neighbour (the profile
    // that takes its row, or the new last one). The only profile cannot be deleted.
    void Delete();
    // The name dialog, then the selected profile takes the entered name; the store is saved.
    void Rename();
    // A ".pro" file chosen by the user joins the list as a new, selected profile; a file that is
    // not exactly one profile is refused with a message and changes nothing.
    void Import();
    // Writes the selected profile to a ".pro" file chosen by the user.
    void Export();

private:
    // Makes `index` the selected profile in the store and the control, then lets the page show it.
    void SelectProfile(std::size_t index);
    QString RowText(const ProfileRecord& record) const;
    void Warn(const QString& messageKey);

    ProfileState& m_profiles;
    CListUI& m_list;
    WindowImplBase& m_owner;
    std::function<void()> m_selectionShown;
    ImportedMacros* m_macros;
};

}  // namespace quillon
