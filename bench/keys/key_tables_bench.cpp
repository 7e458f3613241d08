// Cost of the key conversions: a key event converts one virtual key, a refresh of the button labels
// or of a macro's action list names up to a few hundred usages.
#include "core/keys/fixed_keyboard_layout.h"
#include "platform/keyboard/keyboard_layout_xkb.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace quillon {
namespace {

std::u16string Text(std::string_view key) {
    return std::u16string(key.begin(), key.end());
}

void NameEveryUsage(benchmark::State& state, KeyboardLayout& layout) {
    KeyCodeTables tables(layout, Text);
    for (auto _ : state) {
        for (uint32_t usage = 0; usage < 256; ++usage) {
            benchmark::DoNotOptimize(tables.UsageName(usage));
        }
    }
    state.SetItemsProcessed(state.iterations() * 256);
}

void ConvertEveryVk(benchmark::State& state, KeyboardLayout& layout) {
    KeyCodeTables tables(layout, Text);
    for (auto _ : state) {
        for (uint32_t vk = 0; vk < 256; ++vk) {
            benchmark::DoNotOptimize(tables.VkToUsage(vk));
        }
    }
    state.SetItemsProcessed(state.iterations() * 256);
}

void BM_UsageNameFixedUs(benchmark::State& state) {
    FixedKeyboardLayout layout = FixedKeyboardLayout::Us();
    NameEveryUsage(state, layout);
}
BENCHMARK(BM_UsageNameFixedUs);

void BM_UsageNameXkbFrench(benchmark::State& state) {
    auto layout = XkbKeyboardLayout::FromNames({"", "pc105", "fr", "", ""});
    if (!layout) {
        state.SkipWithError("the French XKB layout cannot be compiled");
        return;
    }
    NameEveryUsage(state, *layout);
}
BENCHMARK(BM_UsageNameXkbFrench);

void BM_VkToUsageXkbFrench(benchmark::State& state) {
    auto layout = XkbKeyboardLayout::FromNames({"", "pc105", "fr", "", ""});
    if (!layout) {
        state.SkipWithError("the French XKB layout cannot be compiled");
        return;
    }
    ConvertEveryVk(state, *layout);
}
BENCHMARK(BM_VkToUsageXkbFrench);

// On X11 every question first takes in the server's layout changes, one round trip each.
void BM_UsageNameX11(benchmark::State& state) {
    auto layout = std::getenv("DISPLAY") != nullptr ? XkbKeyboardLayout::FromX11() : nullptr;
    if (!layout) {
        state.SkipWithError("no X server");
        return;
    }
    NameEveryUsage(state, *layout);
}
BENCHMARK(BM_UsageNameX11);

void BM_CompileXkbLayout(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(XkbKeyboardLayout::FromNames({"", "pc105", "fr", "", ""}));
    }
}
BENCHMARK(BM_CompileXkbLayout)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillon
