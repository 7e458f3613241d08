// The macro store file, ".macro" files, the unit count and the refresh of the button copies, checked
// against bytes written from the file layout alone.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "core/macros/macro_file.h"
#include "core/macros/macro_slots.h"
#include "core/store/store_bytes.h"

namespace quillon::test {
namespace {

inline constexpr std::size_t kMacroBytes = 3096;

// One macro as the file layout gives it: name, carried repeat count, action count, then 16-byte
// actions of code, kind, delay, x, y.
struct ActionSpec {
    std::uint8_t code;
    std::uint8_t kind;
    std::uint16_t delay;
    std::int32_t x = 0;
    std::int32_t y = 0;
};
Bytes MacroFileBytes(std::u16string_view name, std::int32_t count,
                     std::initializer_list<ActionSpec> actions) {
    Bytes b(kMacroBytes, 0);
    PutText(b, 0, name);
    Put32(b, 52, count);
    std::size_t at = 56;
    for (const ActionSpec& a : actions) {
        Put8(b, at + 1, a.code);
        Put8(b, at + 2, a.kind);
        Put16(b, at + 4, a.delay);
        Put32(b, at + 8, a.x);
        Put32(b, at + 12, a.y);
        at += 16;
    }
    return b;
}

Bytes Join(const Bytes& a, const Bytes& b) {
    Bytes joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
}

MacroAction Action(std::uint8_t code, std::uint8_t kind, std::uint16_t delay, std::int32_t x = 0,
                   std::int32_t y = 0) {
    MacroAction action{};
    action.code = code;
    action.kind = kind;
    action.delayMs = delay;
    action.x = x;
    action.y = y;
    return action;
}

class MacroStoreFileTest : public ::testing::Test {
protected:
    std::filesystem::path StorePath() const { return folder.Path() / "ms_1" / "macro.data"; }
    void WriteStore(const Bytes& bytes) {
        std::filesystem::create_directories(folder.Path() / "ms_1");
        WriteAll(StorePath(), bytes);
    }
    TemporaryFolder folder;
};

TEST_F(MacroStoreFileTest, SavedStoreIsTheRecordsBackToBackInListOrder) {
    MacroList list;
    list.push_back(NewMacroRecord(u"Alpha"));
    list.push_back(NewMacroRecord(u"Bravo"));
    list[0]->actions[0] = Action(0x04, kActionDown, 20);
    list[0]->actions[1] = Action(0x04, kActionUp, 300);
    list[0]->actionCount = 2;
    list[1]->actions[0] = Action(kMouseMove, kActionMove, 10, -999, 250);
    list[1]->actionCount = 1;
    MacroStoreFile store(folder.Path());
    ASSERT_EQ(store.Save(list), WriteStatus::Written);

    const Bytes alpha = MacroFileBytes(u"Alpha", 2, {{0x04, 1, 20}, {0x04, 2, 300}});
    const Bytes bravo = MacroFileBytes(u"Bravo", 1, {{0xF6, 0, 10, -999, 250}});
    EXPECT_EQ(ReadAll(StorePath()), Join(alpha, bravo));

    MacroList again;
    const MacroLoadReport report = store.Load(again);
    EXPECT_EQ(report.outcome, MacroLoadOutcome::Loaded);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(LeadingName(*again[0]), u"Alpha");
    EXPECT_EQ(LeadingName(*again[1]), u"Bravo");
    EXPECT_EQ(again[1]->actions[0].x, -999);

    // Deleting the last macro leaves an empty file, not a missing one.
    ASSERT_EQ(store.Save(MacroList{}), WriteStatus::Written);
    EXPECT_TRUE(std::filesystem::exists(StorePath()));
    EXPECT_EQ(std::filesystem::file_size(StorePath()), 0u);
}

TEST_F(MacroStoreFileTest, DamagedStoreKeepsWholeRecordsRepairsThemAndIsBackedUp) {
    Bytes first = MacroFileBytes(u"Alpha", 500, {});
    // An unterminated name of 24 units.
    Bytes second = MacroFileBytes(u"ABCDEFGHIJKLMNOPQRSTUVWX", -3, {});
    const Bytes original = Join(Join(first, second), Bytes(100, 0xAB));
    WriteStore(original);

    MacroList list;
    MacroStoreFile store(folder.Path());
    const MacroLoadReport report = store.Load(list);
    EXPECT_EQ(report.outcome, MacroLoadOutcome::Repaired);
    EXPECT_EQ(report.bytesDropped, 100u);
    EXPECT_EQ(report.recordsRepaired, 2u);
    EXPECT_TRUE(report.backupKept);
    EXPECT_EQ(ReadAll(store.BackupPath()), original);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->actionCount, 190);
    EXPECT_EQ(list[1]->actionCount, 0);
    EXPECT_EQ(LeadingName(*list[1]), u"ABCDEFGHIJKLMNOPQRSTUVW");

    // The store is only rewritten at its next save, so the next start finds the same damage: the
    // copy already kept stands. Other damage later gets a backup of its own.
    EXPECT_EQ(store.Load(list).backupPath, store.BackupPath());
    EXPECT_FALSE(std::filesystem::exists(store.BackupPath(1)));
    const Bytes later = Join(first, Bytes(7, 0xCD));
    WriteStore(later);
    EXPECT_EQ(store.Load(list).backupPath, store.BackupPath(1));
    EXPECT_EQ(ReadAll(store.BackupPath()), original);
    EXPECT_EQ(ReadAll(store.BackupPath(1)), later);
}

TEST_F(MacroStoreFileTest, MacroFileMustBeExactlyOneRecord) {
    const Bytes whole = MacroFileBytes(u"Combo", 1, {{0x05, 1, 10}});
    for (std::size_t size : {std::size_t{0}, kMacroBytes - 1, kMacroBytes + 1, 2 * kMacroBytes}) {
        Bytes bytes = whole;
        bytes.resize(size, 0);
        WriteAll(folder.Path() / "x.macro", bytes);
        const MacroFileContents contents = ReadMacroFile(folder.Path() / "x.macro");
        EXPECT_EQ(contents.problem, MacroFileProblem::WrongSize) << size;
        EXPECT_EQ(contents.record, nullptr);
    }
    EXPECT_EQ(ReadMacroFile(folder.Path() / "missing.macro").problem, MacroFileProblem::CannotRead);

    WriteAll(folder.Path() / "x.macro", whole);
    const MacroFileContents contents = ReadMacroFile(folder.Path() / "x.macro");
    ASSERT_NE(contents.record, nullptr);
    EXPECT_EQ(LeadingName(*contents.record), u"Combo");

    ASSERT_EQ(WriteMacroFile(SystemFileWriter(), folder.Path() / "out.macro", *contents.record),
              WriteStatus::Written);
    EXPECT_EQ(ReadAll(folder.Path() / "out.macro"), whole);
}

TEST(MacroUnits, KeysCostOneMovesThreeAndLongDelaysOneMore) {
    std::array<MacroAction, kMacroActionCapacity> keys{};
    for (MacroAction& action : keys)
        action = Action(0x04, kActionDown, 127);
    EXPECT_EQ(iTotalNum(keys), 190);
    keys[7].delayMs = 128;
    EXPECT_EQ(iTotalNum(keys), 191);
    keys[100].delayMs = 25000;
    EXPECT_EQ(iTotalNum(keys), 192);

    const MacroAction moves[] = {Action(kMouseMove, kActionMove, 127), Action(kMouseMove, kActionMove, 128)};
    EXPECT_EQ(iTotalNum(moves), 3 + 4);
}

class RefreshSlots : public ::testing::Test {
protected:
    RefreshSlots() {
        for (int i = 0; i < 2; ++i) {
            profiles.push_back(std::make_unique<ProfileRecord>());
            CreateProfile(*profiles.back(), u"P");
        }
        macros.push_back(NewMacroRecord(u"Combo"));
        macros[0]->actions[0] = Action(0x06, kActionDown, 40);
        macros[0]->actions[1] = Action(0x06, kActionUp, 10);
        macros[0]->actionCount = 2;
    }
    // Puts a copy of an older "combo" on button k + 1.
    void Assign(ProfileRecord& record, std::size_t k, std::u16string_view name) {
        ButtonSlot& slot = record.slots[k];
        slot.function = kFunctionMacro;
        SetFieldText(slot.macro_name.data(), slot.macro_name.size(), name);
        slot.action_count = 1;
        slot.actions[0] = Action(0x05, kActionDown, 10);
        slot.repeat_mode = 2;
        slot.repeat_count = 7;
        slot.macro_index = 0;
        slot.macro_color = {255, 255, 255, 0};
    }
    ProfileList profiles;
    MacroList macros;
};

TEST_F(RefreshSlots, CopiesFollowTheStoreByNameAndKeepTheirRepeatSettings) {
    Assign(*profiles[1], 3, u"COMBO");
    const MacroRefresh refresh = RefreshMacroSlots(profiles, macros, profiles[0].get());
    EXPECT_FALSE(refresh.selectedTouched);
    EXPECT_TRUE(refresh.changed);
    const ButtonSlot& slot = profiles[1]->slots[3];
    EXPECT_EQ(FieldText(slot.macro_name.data(), kMacroNameCapacity), u"Combo");
    EXPECT_EQ(slot.action_count, 2);
    EXPECT_EQ(std::memcmp(slot.actions.data(), macros[0]->actions.data(), sizeof slot.actions), 0);
    EXPECT_EQ(slot.repeat_mode, 2);
    EXPECT_EQ(slot.repeat_count, 7);
    EXPECT_EQ(slot.macro_index, 0);
    EXPECT_TRUE(FindMacroForSlot(macros, slot).sameActions);
}

TEST_F(RefreshSlots, CopiesOfMissingMacrosOnButtonsOneToTwelveReturnToTheFactoryFunction) {
    Assign(*profiles[0], 0, u"Gone");
    Assign(*profiles[1], 11, u"Gone");
    Assign(*profiles[1], 12, u"Gone");
    const ButtonSlot thirteenth = profiles[1]->slots[12];
    const MacroRefresh refresh = RefreshMacroSlots(profiles, macros, profiles[0].get());
    EXPECT_TRUE(refresh.selectedTouched);
    EXPECT_EQ(profiles[0]->slots[0].function, 1);
    EXPECT_EQ(profiles[0]->slots[0].macro_index, -1);
    EXPECT_EQ(profiles[0]->slots[0].action_count, 0);
    EXPECT_EQ(profiles[0]->slots[0].macro_name[0], u'\0');
    EXPECT_EQ(profiles[1]->slots[11].function, 0);
    EXPECT_EQ(std::memcmp(&profiles[1]->slots[12], &thirteenth, sizeof thirteenth), 0);
}

}  // namespace
}  // namespace quillon::test
