#pragma once
// Layouts compiled into the program when it is built.
//
// The window that opens at start-up is built from C++ made out of its layout file by Qt's layout
// compiler (uic), not by reading the XML and setting every property by name: that is about a third
// of the start-up. The layout files stay the source: the build embeds each file's text, and a
// compiled layout is used only while the file in the resource folder still reads exactly so. A
// layout edited after the build is read from the file, as every other layout is.

#include <QString>

#include <string_view>

class QWidget;

namespace quillon {

struct CompiledLayout {
    const char* file;         // as the window names it, relative to the resource folder: "main.xml"
    std::string_view source;  // the text it was compiled from
    QWidget* (*build)(QWidget* parent);
};

// The compiled layout of `file`, or null.
const CompiledLayout* FindCompiledLayout(const QString& file);

}  // namespace quillon
