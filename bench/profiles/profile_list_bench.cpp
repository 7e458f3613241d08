// What the profile card's operations cost the user with a store of 10, 100 and 1,000 profiles: a
// click on add, delete or rename (with its dialog answered) or on a row, through the real main
// layout, until the page shows the result. No mouse is connected, so no apply runs.
//
// Each operation costs at most one save of the store: rename saves itself; add, delete and select
// ask for an apply, which saves when it completes. The "+save" variants add that one save to the
// figure (a whole store written and flushed: about 10 MB for 100 profiles, 100 MB for 1,000), so
// they are the operation's full cost; the others are the time the window is busy.
#include <benchmark/benchmark.h>

#include <QString>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "app/page/ms_1_page.h"
#include "core/store/profile_state.h"
#include "core/store/profile_store.h"
#include "platform/services.h"
#include "support/modal_answers.h"
#include "support/qt_app.h"
#include "support/ui_driver.h"
#include "ui/controls.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/window.h"

namespace {

using namespace quillon;
using namespace quillon::test;

const QString kList = QStringLiteral("ms_1_list_profile");

struct ScratchFolder {
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

// The main layout with the settings page, without driver libraries (no mouse).
class PageWindow : public WindowImplBase {
public:
    QString GetWindowClassName() const override { return QStringLiteral("QuillonBenchPage"); }
    QString GetSkinFile() override { return QStringLiteral("main.xml"); }
    void InitWindow() override {
        page.Attach(*this, nullptr);
        page.SetDriverLoader([](const char*) { return DriverLibrary{}; });
        AddVirtualWnd(QStringLiteral("MS_1_Page"), &page);
        page.Startup();
        page.LoadStores();
        if (auto* tabs = m_pm.FindControl<CTabLayoutUI>(QStringLiteral("device_tab_switch")))
            tabs->SelectItem(1);
    }
    LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override {
        if (message >= 0x601 && message <= 0x606) {
            page.OnDeviceMessage(message, wParam, lParam);
            handled = true;
        } else if (message == WM_TIMER && wParam >= 512 && wParam <= 518) {
            page.OnTimer(wParam);
            handled = true;
        }
        return 0;
    }
    CMS_1_Page page;
};

// A program folder whose store holds `count` profiles, and the window opened on it.
class Bench {
public:
    explicit Bench(std::int64_t count)
        : m_services(ScopedServices::Set{nullptr, nullptr, nullptr, nullptr, m_folder.path}) {
        TestApplication();
        CPaintManagerUI::SetResourcePath(QStringLiteral(QUILLON_SOURCE_DIR "/res/"));
        CResourceManager::GetInstance()->LoadLanguage(QStringLiteral("lan.xml"));
        ProfileList list;
        for (std::int64_t i = 0; i < count; ++i)
            CreateDefaultProfile(list, u"Profile ");
        auto header = std::make_unique<StoreHeader>();
        std::memset(static_cast<void*>(header.get()), 0, sizeof(StoreHeader));
        static_cast<void>(ProfileStore(m_folder.path / "Data").Save(list, *header));
        m_window.Create(nullptr, {}, WS_VISIBLE, 0, 0, 0, 800, 572);
        m_ui = std::make_unique<UiDriver>(m_window);
        PumpPending();
    }
    ~Bench() { m_window.DestroyWindow(); }

    UiDriver& Ui() { return *m_ui; }
    ProfileState& Profiles() { return *m_window.page.Profiles(); }
    void AnswerName(const QString& name) {
        answers.OnNext(QStringLiteral("MS_1_ProfileName"), [name](UiDriver& dialog) {
            dialog.Find<CEditUI>(QStringLiteral("edit_name"))->SetText(name);
            dialog.Click(QStringLiteral("btn_ok"));
        });
    }
    void Add(const QString& name) {
        AnswerName(name);
        Ui().Click(QStringLiteral("ms_1_profile_add_btn"));
        PumpPending();
    }
    void DeleteSelected() {
        answers.ClickOnNext(QStringLiteral("MsgWnd"), QStringLiteral("btn_ok"));
        Ui().Click(QStringLiteral("ms_1_profile_delete_btn"));
        PumpPending();
    }

    ModalAnswers answers;

private:
    ScratchFolder m_folder;
    ScopedServices m_services;
    PageWindow m_window;
    std::unique_ptr<UiDriver> m_ui;
};

bool WithSave(const benchmark::State& state) {
    return state.range(1) != 0;
}

void BM_AddProfile(benchmark::State& state) {
    Bench bench(state.range(0));
    int n = 0;
    for (auto _ : state) {
        bench.Add(QStringLiteral("Added %1").arg(++n));
        if (WithSave(state))
            static_cast<void>(bench.Profiles().Save());
        state.PauseTiming();
        bench.DeleteSelected();
        state.ResumeTiming();
    }
}

void BM_DeleteProfile(benchmark::State& state) {
    Bench bench(state.range(0));
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bench.Add(QStringLiteral("Doomed %1").arg(++n));
        state.ResumeTiming();
        bench.DeleteSelected();
        if (WithSave(state))
            static_cast<void>(bench.Profiles().Save());
    }
}

void BM_RenameProfile(benchmark::State& state) {
    Bench bench(state.range(0));
    int n = 0;
    for (auto _ : state) {
        bench.AnswerName(QStringLiteral("Renamed %1").arg(++n));
        bench.Ui().Click(QStringLiteral("ms_1_profile_rename_btn"));
        PumpPending();  // the rename's own save is part of it
    }
}

void BM_SelectProfile(benchmark::State& state) {
    Bench bench(state.range(0));
    const int last = static_cast<int>(state.range(0)) - 1;
    int row = 0;
    for (auto _ : state) {
        row = row == 0 ? last : 0;
        bench.Ui().SelectRow(kList, row);
        PumpPending();
        if (WithSave(state))
            static_cast<void>(bench.Profiles().Save());
    }
}

void SizesAndSave(benchmark::internal::Benchmark* b) {
    for (std::int64_t save : {0, 1})
        for (std::int64_t count : {10, 100, 1000})
            b->Args({count, save});
    b->ArgNames({"profiles", "save"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_AddProfile)->Apply(SizesAndSave);
BENCHMARK(BM_DeleteProfile)->Apply(SizesAndSave);
BENCHMARK(BM_SelectProfile)->Apply(SizesAndSave);
BENCHMARK(BM_RenameProfile)->Arg(10)->Arg(100)->Arg(1000)->ArgName("profiles")->Unit(benchmark::kMillisecond);

}  // namespace
