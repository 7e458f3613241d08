// The layout reader module: QUiLoader over a layout file's bytes (see ui/layout_reader.h).

#include "ui/layout_reader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QUiLoader>

namespace {

class Loader : public QUiLoader {
public:
    explicit Loader(quillon::CustomWidgetFactory factory) : m_factory(factory) {}
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        if (m_factory != nullptr)
            if (QWidget* widget = m_factory(className, parent, name))
                return widget;
        return QUiLoader::createWidget(className, parent, name);
    }

private:
    quillon::CustomWidgetFactory m_factory;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) QWidget*
QuillonReadLayout(const QByteArray& bytes, const QString& workingFolder, QWidget* parent,
                  quillon::CustomWidgetFactory factory, QString* error) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // A loader loads every Qt Designer plugin it finds while it is constructed (the Quick widget
    // plugin pulls in Qt Quick and QML: megabytes and tens of milliseconds). Our layouts use only
    // Qt's own widgets and ours, so the loader is made without plugin folders.
    const QStringList libraryPaths = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
    Loader loader(factory);
    QCoreApplication::setLibraryPaths(libraryPaths);
    loader.setLanguageChangeEnabled(false);
    loader.setTranslationEnabled(false);
    loader.setWorkingDirectory(QDir(workingFolder));
    QWidget* root = loader.load(&buffer, parent);
    if (root == nullptr && error != nullptr)
        *error = loader.errorString();
    return root;
}
