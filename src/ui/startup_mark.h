#pragma once
// The moment a program's window is first on the screen, for the start-up benchmark.
//
// When the environment variable QUILLON_STARTUP_MARK names a file, the first time the watched
// window is exposed and has painted, the current CLOCK_MONOTONIC time in milliseconds is written
// to that file. The benchmark reads the same clock before it starts the process, so the difference
// is the time from process start until the populated window is mapped. Without the variable
// nothing is watched. The empty reference window of the benchmark uses the same file.

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

namespace quillon {

inline constexpr const char* kStartupMarkVariable = "QUILLON_STARTUP_MARK";
// With this variable set as well, the process ends at once after writing the mark.
inline constexpr const char* kStartupExitVariable = "QUILLON_STARTUP_EXIT";

class StartupMark : public QObject {
public:
    // Watches the top-level widget that `window` returns (it may not exist yet) when the
    // variable is set.
    explicit StartupMark(std::function<QWidget*()> window);
    ~StartupMark() override;

    // The CLOCK_MONOTONIC time in milliseconds.
    static double MonotonicMs();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Write();

    std::function<QWidget*()> m_window;
    QString m_file;
    bool m_done = false;
};

}  // namespace quillon
