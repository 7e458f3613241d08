// The reference for the start-up benchmark: an empty Qt Widgets window with a label, a combo box,
// a slider and a button, built like Quillon and marking its first exposure the same way.

#include "ui/startup_mark.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("An empty window")));
    auto* combo = new QComboBox;
    combo->addItems({QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")});
    layout->addWidget(combo);
    layout->addWidget(new QSlider(Qt::Horizontal));
    layout->addWidget(new QPushButton(QStringLiteral("Apply")));
    window.resize(800, 572);
    quillon::StartupMark mark([&window] { return &window; });
    window.show();
    return QApplication::exec();
}
