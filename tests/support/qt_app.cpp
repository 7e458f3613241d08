#include "support/qt_app.h"

#include <QApplication>
#include <QDeadlineTimer>

#include <cstdlib>

namespace quillon::test {

QApplication& TestApplication() {
    static QApplication* application = [] {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr)
            setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "quillon-test";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *application;
}

bool PumpUntil(const std::function<bool()>& done, int realTimeoutMs) {
    TestApplication();
    QDeadlineTimer deadline(realTimeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

void PumpPending() {
    TestApplication();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace quillon::test
