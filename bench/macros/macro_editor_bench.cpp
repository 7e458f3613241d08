// The macro editor showing a macro of 190 actions: the first time (every row is built from its
// layout and styled) and when the user switches between two such macros (the rows are refilled).
// Offscreen unless QT_QPA_PLATFORM says otherwise.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <optional>

#include "app/macros/macro_store.h"
#include "app/macros/ms_1_macro.h"
#include "support/qt_app.h"
#include "support/ui_driver.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

namespace {

using namespace quillon;

void FillStore(MacroStore& store) {
    for (const char16_t* name : {u"Keys", u"Moves"}) {
        MacroRecord& record = store.AddMacro(u"Macro ");
        SetFieldText(record.name.data(), record.name.size(), name);
        for (std::size_t i = 0; i < kMacroActionCapacity; ++i) {
            MacroAction& action = record.actions[i];
            action.code = name[0] == u'K' ? static_cast<std::uint8_t>(4 + i % 26) : kMouseMove;
            action.kind = name[0] == u'K' ? static_cast<std::uint8_t>(1 + i % 2) : kActionMove;
            action.delayMs = 10;
        }
        record.actionCount = static_cast<std::int32_t>(kMacroActionCapacity);
    }
}

struct Editor {
    Editor() : store(std::filesystem::path(folder.path().toStdString())) {
        test::TestApplication();
        CPaintManagerUI::SetResourcePath(QStringLiteral(QUILLON_SOURCE_DIR "/res/"));
        CResourceManager::GetInstance()->LoadLanguage(QStringLiteral("lan.xml"));
        FillStore(store);
        window = std::make_unique<CMS_1_Macro>(store, nullptr, nullptr);
        window->Create(nullptr, {}, WS_VISIBLE, 0, 0, 0, 800, 800);
        ui = std::make_unique<test::UiDriver>(*window);
    }
    ~Editor() { window->DestroyWindow(); }
    QTemporaryDir folder;
    MacroStore store;
    std::unique_ptr<CMS_1_Macro> window;
    std::unique_ptr<test::UiDriver> ui;
};

void BM_FirstShowOf190Actions(benchmark::State& state) {
    std::optional<Editor> editor;
    for (auto _ : state) {
        state.PauseTiming();
        editor.reset();
        editor.emplace();
        state.ResumeTiming();
        editor->ui->SelectRow(QStringLiteral("ms_1_macro_list"), 0);
    }
}
BENCHMARK(BM_FirstShowOf190Actions)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SwitchBetweenMacrosOf190Actions(benchmark::State& state) {
    Editor editor;
    editor.ui->SelectRow(QStringLiteral("ms_1_macro_list"), 0);
    int row = 1;
    for (auto _ : state) {
        editor.ui->SelectRow(QStringLiteral("ms_1_macro_list"), row);
        row = 1 - row;
    }
}
BENCHMARK(BM_SwitchBetweenMacrosOf190Actions)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
