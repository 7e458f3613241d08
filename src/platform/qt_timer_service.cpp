#include "platform/timer_service.h"

#include <QObject>
#include <QTimer>

#include <unordered_map>

namespace quillon {

struct QtTimerService::Impl {
    std::unordered_map<TimerId, QTimer*> timers;
    TimerId nextId = 1;
};

QtTimerService::QtTimerService() : m_impl(std::make_unique<Impl>()) {}

QtTimerService::~QtTimerService() {
    for (auto& [id, timer] : m_impl->timers)
        delete timer;
}

TimerId QtTimerService::StartTimer(std::uint32_t periodMs, std::function<void()> callback) {
    const TimerId id = m_impl->nextId++;
    auto* timer = new QTimer;
    // Short periods (scrolling, animations) would drift visibly with coarse timers.
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(static_cast<int>(std::min<std::uint32_t>(periodMs, 0x7FFFFFFF)));
    QObject::connect(timer, &QTimer::timeout, timer, std::move(callback));
    timer->start();
    m_impl->timers.emplace(id, timer);
    return id;
}

void QtTimerService::StopTimer(TimerId id) {
    const auto found = m_impl->timers.find(id);
    if (found == m_impl->timers.end())
        return;
    QTimer* timer = found->second;
    m_impl->timers.erase(found);
    timer->stop();
    // The timer may be stopped from its own timeout; it is deleted once that has returned.
    timer->deleteLater();
}

}  // namespace quillon
