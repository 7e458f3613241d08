// A tiny program that starts the way Quillon starts: claim the single instance or hand over to
// the running copy and exit 1. The running copy prints "ready" once it listens and, when its
// window receives MSG_ACTIVATE_INSTANCE, prints "activated <wParam> <lParam>" and exits 0.
//   single_instance_helper <folder> <name>

#include <QCoreApplication>

#include <cstdio>

#include "platform/message_window.h"
#include "platform/single_instance.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    quillon::SingleInstance instance(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[1]));
    if (!instance.ClaimOrActivate())
        return quillon::kSecondStartExitCode;

    quillon::MessageWindow window([](quillon::UINT message, quillon::WPARAM wParam, quillon::LPARAM lParam) {
        if (message == quillon::MSG_ACTIVATE_INSTANCE) {
            std::printf("activated %lu %ld\n", static_cast<unsigned long>(wParam), static_cast<long>(lParam));
            std::fflush(stdout);
            QCoreApplication::exit(0);
        }
        return quillon::LRESULT{0};
    });
    instance.SetActivationTarget(window.handle());
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
