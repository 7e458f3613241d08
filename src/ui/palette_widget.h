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

    std::uint32_t SelectColor() const { return m_color; }
    void SetSelectColor(std::uint32_t argb);
    // The colour the palette would pick at a point of the widget.
    std::uint32_t ColorAt(QPoint point) const;

signals:
    void ColorDragged(std::uint32_t argb);
    void ButtonReleased(std::uint32_t argb);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect FieldRect() const;
    QRect StripRect() const;
    void Pick(QPoint point);

    enum class Drag { None, Field, Strip };
    Drag m_drag = Drag::None;
    std::uint32_t m_color = 0xFF000000;
    float m_hue = 0, m_saturation = 0, m_value = 0;
    QImage m_field;
};

}  // namespace quillon
