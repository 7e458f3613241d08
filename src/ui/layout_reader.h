#pragma once
// What the UI library and its layout reader module share. Layouts compiled into the program
// (compiled_layouts.h) are built without it; any other layout file (an edited one, a window's
// that is not compiled in) is read by QUiLoader, which lives in the module
// "libquillon_layout_reader.so" beside the driver plugins. The module, and the Qt libraries the
// loader pulls in (QtUiTools and Qt's OpenGL ones), are loaded only when such a file is first read,
// not at every start.

class QByteArray;
class QString;
class QWidget;

namespace quillon {

// Makes a widget of one of our classes the loader does not know ("ColorPalette"); null for the
// loader's own classes.
using CustomWidgetFactory = QWidget* (*)(const QString& className, QWidget* parent, const QString& name);

// Builds the layout in `bytes` under `parent`, images relative to `workingFolder`; null with the
// reason in `error` when it cannot.
using ReadLayoutFunction = QWidget* (*)(const QByteArray& bytes, const QString& workingFolder,
                                        QWidget* parent, CustomWidgetFactory factory, QString* error);

inline constexpr const char* kLayoutReaderModule = "libquillon_layout_reader.so";
inline constexpr const char* kReadLayoutExport = "QuillonReadLayout";

}  // namespace quillon
