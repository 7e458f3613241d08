#pragma once
// How long the UI thread's event loop stays blocked, for the stall benchmark.
//
// When the environment variable QUILLON_STALL_REPORT names a file, a precise 1 ms timer runs on the
// UI thread for the whole run; every time it fires later than it should, the delay is a stall of
// the event loop (a save, a long handler). When the monitor goes (at the program's end), it writes
// to that file one line per measure: "max_ms" (the longest stall), "max_cpu_ms" (the most processor
// time the UI thread used between two ticks, which a busy machine does not inflate), "over_16ms"
// (how many stalls were longer than a frame at 60 Hz) and "ticks". The first second, which builds
// and first paints the window, is not counted. Without the variable nothing runs.

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTimer;

namespace quillon {

inline constexpr const char* kStallReportVariable = "QUILLON_STALL_REPORT";

class StallMonitor : public QObject {
public:
    StallMonitor();
    ~StallMonitor() override;

private:
    void Tick();

    QString m_file;
    QTimer* m_timer = nullptr;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_lastCpuNs = 0;
    qint64 m_maxNs = 0;
    qint64 m_maxCpuNs = 0;
    long m_overFrame = 0;
    long m_ticks = 0;
};

}  // namespace quillon
