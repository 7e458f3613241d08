#pragma once
// A label of a fixed size whose text wraps inside it. A label that wraps its text tells its layout
// that its height depends on its width, and from there every layout above it, up to the window, works
// out heights width by width (a stack of pages asks each of its pages). With a fixed size there is
// nothing to work out. Layouts place it as <widget class="quillon::FixedWrapLabel" ...>.

#include <QLabel>

namespace quillon {

class FixedWrapLabel : public QLabel {
public:
    using QLabel::QLabel;
    bool hasHeightForWidth() const override { return false; }
};

}  // namespace quillon
