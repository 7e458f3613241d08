#pragma once
// The macro store as the destination of an imported profile's macros.

#include "app/profiles/profile_list.h"

namespace quillon {

class MacroStore;

class MacroStoreImports final : public ImportedMacros {
public:
    explicit MacroStoreImports(MacroStore& store) : m_store(store) {}

    // For each button 1..18 that carries a macro (function 17), in order: a new macro in the store
    // with the button's copy (actions, count, and its repeat count as the carried one), named as
    // the copy is, or with the first free "_n" when the store has that name already (cut to fit
    // the name field with its suffix); the button then names and points at its own new macro. The
    // store is saved once when any macro was added. Left-button macros (25) keep their copies.
    void AddMacrosOf(ProfileRecord& record) override;

private:
    MacroStore& m_store;
};

}  // namespace quillon
