#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace quillon {

std::uint64_t SystemClock::Ticks() const {
    const auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceBoot).count());
}

void SystemClock::Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace quillon
