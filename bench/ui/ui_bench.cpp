// How long the UI library takes for what windows do often or at start-up: building the main
// window's layout, rebuilding a list of rows from a row layout (the macro editor rebuilds up to 190
// action rows after every edit), and finding controls by name.

#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/window.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>

#include <cstdlib>

namespace {

QApplication& application() {
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "bench_ui";
        static char* argv[] = {name, nullptr};
        auto* created = new QApplication(argc, argv);
        quillon::CPaintManagerUI::SetResourcePath(QStringLiteral(QUILLON_SOURCE_DIR "/res/"));
        quillon::CResourceManager::GetInstance()->LoadLanguage(QStringLiteral("lan.xml"));
        return created;
    }();
    return *app;
}

class LayoutWindow : public quillon::WindowImplBase {
public:
    explicit LayoutWindow(QString layout) : m_layout(std::move(layout)) {}
    QString GetWindowClassName() const override { return QStringLiteral("Bench"); }
    QString GetSkinFile() override { return m_layout; }

private:
    QString m_layout;
};

void BM_BuildMainWindowLayout(benchmark::State& state) {
    application();
    for (auto _ : state) {
        LayoutWindow window(QStringLiteral("main.xml"));
        benchmark::DoNotOptimize(window.Create(nullptr, {}, 0, 0));
    }
}
BENCHMARK(BM_BuildMainWindowLayout)->Unit(benchmark::kMillisecond);

void BM_RebuildRowsFromRowLayout(benchmark::State& state) {
    application();
    LayoutWindow window(QStringLiteral("main.xml"));
    window.Create(nullptr, {}, 0, 0);
    auto& pm = window.GetPaintManager();
    auto* list = pm.FindControl<quillon::CListUI>(QStringLiteral("ms_1_list_profile"));
    if (!list) {
        state.SkipWithError("main.xml has no ms_1_list_profile");
        return;
    }
    const int rows = int(state.range(0));
    quillon::CDialogBuilder builder;
    const QString rowLayout = QStringLiteral(QUILLON_SOURCE_DIR "/tests/ui/res/row.xml");
    for (auto _ : state) {
        list->RemoveAll();
        for (int i = 0; i < rows; ++i) {
            auto* row = dynamic_cast<quillon::CContainerUI*>(builder.Create(rowLayout, &pm));
            row->SetFixedHeight(30);
            list->Add(row);
            row->FindSubControl(QStringLiteral("key"))->SetText(QStringLiteral("A"));
            row->FindSubControl(QStringLiteral("action"))->SetText(QStringLiteral("key_down_action"));
            row->FindSubControl(QStringLiteral("delay"))->SetText(QString::number(i));
        }
        list->SelectItem(rows - 1, quillon::SelectNotify::No);
        list->ScrollToEnd();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
BENCHMARK(BM_RebuildRowsFromRowLayout)->Arg(20)->Arg(190)->Unit(benchmark::kMillisecond);

void BM_FindControlByName(benchmark::State& state) {
    application();
    LayoutWindow window(QStringLiteral("main.xml"));
    window.Create(nullptr, {}, 0, 0);
    auto& pm = window.GetPaintManager();
    for (auto _ : state)
        benchmark::DoNotOptimize(pm.FindControl(QStringLiteral("ms_1_btn_key_18")));
}
BENCHMARK(BM_FindControlByName)->Unit(benchmark::kMicrosecond);

}  // namespace
