// Start-up reads the whole profile store and every save point writes it whole; these measure both
// for lists of 1, 10 and 100 profiles (about 0.6, 1.5 and 10.7 MB). The save includes the flush to
// the disk that makes it survive a power cut.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/store/profile_store.h"

namespace {

using namespace quillon;

// A scratch folder that is removed when the benchmark ends.
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

std::filesystem::path BenchFolder() {
    static const ScratchFolder folder;
    return folder.path;
}

void FillList(ProfileList& list, std::int64_t count) {
    list.clear();
    for (std::int64_t i = 0; i < count; ++i)
        CreateDefaultProfile(list, u"Profile");
}

void BM_SaveStore(benchmark::State& state) {
    ProfileStore store(BenchFolder() / "Data");
    ProfileList list;
    FillList(list, state.range(0));
    auto header = std::make_unique<StoreHeader>();
    for (auto _ : state) {
        if (store.Save(list, *header) != WriteStatus::Written)
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(
        state.iterations() *
        static_cast<std::int64_t>(sizeof(StoreHeader) + list.size() * sizeof(ProfileRecord)));
}
BENCHMARK(BM_SaveStore)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_LoadStore(benchmark::State& state) {
    ProfileStore store(BenchFolder() / "Data");
    ProfileList list;
    FillList(list, state.range(0));
    auto header = std::make_unique<StoreHeader>();
    if (!store.Save(list, *header).Ok())
        state.SkipWithError("save failed");
    for (auto _ : state) {
        ProfileList loaded;
        benchmark::DoNotOptimize(store.Load(loaded, *header, u"Profile"));
        benchmark::DoNotOptimize(loaded.data());
    }
    state.SetBytesProcessed(
        state.iterations() *
        static_cast<std::int64_t>(sizeof(StoreHeader) + list.size() * sizeof(ProfileRecord)));
}
BENCHMARK(BM_LoadStore)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
