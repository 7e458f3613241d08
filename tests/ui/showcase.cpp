// Shows one layout in a window of the UI library, for looking at it (under Xvfb, with a screenshot):
//   ui_showcase <resource folder> <layout file> [milliseconds before it quits, default 3000]
// This is a tool for people, not a test: it runs on real time.

#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/window.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

class ShowcaseWindow : public quillon::WindowImplBase {
public:
    explicit ShowcaseWindow(QString layout) : m_layout(std::move(layout)) {}
    QString GetWindowClassName() const override { return QStringLiteral("Showcase"); }
    QString GetSkinFile() override { return m_layout; }

private:
    QString m_layout;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: ui_showcase <resource folder> <layout file> [milliseconds]\n");
        return 2;
    }
    quillon::CPaintManagerUI::SetResourcePath(QString::fromLocal8Bit(argv[1]));
    quillon::CResourceManager::GetInstance()->LoadLanguage(QStringLiteral("lan.xml"));
    ShowcaseWindow window(QString::fromLocal8Bit(argv[2]));
    if (!window.Create(nullptr, QStringLiteral("Showcase"), quillon::WS_POPUP | quillon::WS_VISIBLE, 0))
        return 1;
    window.CenterWindow();
    QTimer::singleShot(argc > 3 ? std::atoi(argv[3]) : 3000, [] { quillon::PostQuitMessage(0); });
    return quillon::CPaintManagerUI::MessageLoop();
}
