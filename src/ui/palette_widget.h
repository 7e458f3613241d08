#pragma once
// The widget behind CColorPaletteUI: a field of hue (left to right) and saturation (top to bottom)
// above a strip of brightness. Layouts place it as <widget class="ColorPalette" ...>.

#include <QImage>
#include <QWidget>

#include <cstdint>

namespace quillon {

class ColorPaletteWidget : public QWidget {
    Q_OBJECT
public:
    explicit ColorPaletteWidget(QWidget* parent = nullptr);

    std::uint32_t selectColor() const { return m_color; }
    void setSelectColor(std::uint32_t argb);
    // The colour the palette would pick at a point of the widget.
    std::uint32_t colorAt(QPoint point) const;

signals:
    void colorDragged(std::uint32_t argb);
    void buttonReleased(std::uint32_t argb);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect fieldRect() const;
    QRect strip() const;
    void pick(QPoint point);

    enum class Drag { None, Field, Strip };
    Drag m_drag = Drag::None;
    std::uint32_t m_color = 0xFF000000;
    float m_hue = 0, m_saturation = 0, m_value = 0;
    QImage m_field;
};

}  // namespace quillon
