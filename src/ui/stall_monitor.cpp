#include "ui/stall_monitor.h"

#include <QFile>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace quillon {
namespace {

constexpr int kTickMs = 1;
constexpr qint64 kFrameNs = 16'000'000;
// Building and first painting the window is the start-up's, measured by its own benchmark.
constexpr qint64 kSettleNs = 1'000'000'000;

qint64 ThreadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

StallMonitor::StallMonitor() {
    m_file = qEnvironmentVariable(kStallReportVariable);
    if (m_file.isEmpty())
        return;
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, [this] { Tick(); });
    m_clock.start();
    m_timer->start();
}

StallMonitor::~StallMonitor() {
    if (m_file.isEmpty())
        return;
    QFile file(m_file);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(QStringLiteral("max_ms %1\nmax_cpu_ms %2\nover_16ms %3\nticks %4\n")
                   .arg(static_cast<double>(m_maxNs) / 1e6, 0, 'f', 2)
                   .arg(static_cast<double>(m_maxCpuNs) / 1e6, 0, 'f', 2)
                   .arg(m_overFrame)
                   .arg(m_ticks)
                   .toUtf8());
}

void StallMonitor::Tick() {
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 cpu = ThreadCpuNs();
    const bool counting = m_lastNs >= kSettleNs;
    // The time beyond the timer's own period is time the event loop could not run; the processor
    // time the thread used meanwhile tells its own work from waiting for a processor on a busy
    // machine (a disk wait shows in the first figure only).
    const qint64 stall = now - m_lastNs - qint64{kTickMs} * 1'000'000;
    const qint64 busy = cpu - m_lastCpuNs;
    m_lastNs = now;
    m_lastCpuNs = cpu;
    if (!counting)
        return;
    ++m_ticks;
    m_maxNs = std::max(m_maxNs, stall);
    m_maxCpuNs = std::max(m_maxCpuNs, busy);
    if (stall > kFrameNs)
        ++m_overFrame;
}

}  // namespace quillon
