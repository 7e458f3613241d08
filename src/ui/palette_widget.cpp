#include "ui/palette_widget.h"

#include <QColor>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace quillon {

namespace {
constexpr int kStripHeight = 14;
constexpr int kGap = 4;

std::uint32_t toArgb(const QColor& color) {
    return 0xFF000000u | (color.rgb() & 0xFFFFFFu);
}
}  // namespace

ColorPaletteWidget::ColorPaletteWidget(QWidget* parent) : QWidget(parent) {
    setMinimumSize(60, 40);
    setCursor(Qt::CrossCursor);
}

QRect ColorPaletteWidget::FieldRect() const {
    return QRect(0, 0, width(), std::max(1, height() - kStripHeight - kGap));
}

QRect ColorPaletteWidget::StripRect() const {
    return QRect(0, height() - kStripHeight, width(), kStripHeight);
}

void ColorPaletteWidget::SetSelectColor(std::uint32_t argb) {
    m_color = 0xFF000000u | (argb & 0xFFFFFFu);
    // The exact colour is kept; the markers show where it lies in the field.
    const QColor color = QColor::fromRgb(m_color);
    m_hue = std::max(0.0f, color.hsvHueF());
    m_saturation = color.hsvSaturationF();
    m_value = color.valueF();
    update();
}

std::uint32_t ColorPaletteWidget::ColorAt(QPoint point) const {
    const QRect field = FieldRect();
    if (point.y() >= StripRect().top()) {
        const float value = std::clamp(float(point.x()) / float(std::max(1, width() - 1)), 0.0f, 1.0f);
        return toArgb(QColor::fromHsvF(m_hue, m_saturation, value));
    }
    const float hue = std::clamp(float(point.x()) / float(std::max(1, field.width() - 1)), 0.0f, 1.0f);
    const float saturation =
        1.0f - std::clamp(float(point.y()) / float(std::max(1, field.height() - 1)), 0.0f, 1.0f);
    return toArgb(QColor::fromHsvF(std::min(hue, 0.9999f), saturation, m_value > 0 ? m_value : 1.0f));
}

void ColorPaletteWidget::Pick(QPoint point) {
    const std::uint32_t picked = ColorAt(point);
    if (m_drag == Drag::Field) {
        const QRect field = FieldRect();
        m_hue = std::min(0.9999f,
                         std::clamp(float(point.x()) / float(std::max(1, field.width() - 1)), 0.0f, 1.0f));
        m_saturation =
            1.0f - std::clamp(float(point.y()) / float(std::max(1, field.height() - 1)), 0.0f, 1.0f);
        if (m_value <= 0)
            m_value = 1.0f;
    } else {
        m_value = std::clamp(float(point.x()) / float(std::max(1, width() - 1)), 0.0f, 1.0f);
    }
    m_color = picked;
    update();
    emit ColorDragged(m_color);
}

void ColorPaletteWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_drag = event->position().toPoint().y() >= StripRect().top() ? Drag::Strip : Drag::Field;
    Pick(event->position().toPoint());
}

void ColorPaletteWidget::mouseMoveEvent(QMouseEvent* event) {
    if (m_drag == Drag::None)
        return;
    QPoint point = event->position().toPoint();
    // Keep a drag in the part where it started.
    const QRect area = m_drag == Drag::Field ? FieldRect() : StripRect();
    point.setX(std::clamp(point.x(), area.left(), area.right()));
    point.setY(std::clamp(point.y(), area.top(), area.bottom()));
    if (ColorAt(point) != m_color || m_drag == Drag::Strip)
        Pick(point);
}

void ColorPaletteWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_drag == Drag::None)
        return;
    m_drag = Drag::None;
    emit ButtonReleased(m_color);
}

void ColorPaletteWidget::resizeEvent(QResizeEvent*) {
    m_field = QImage();
}

void ColorPaletteWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect field = FieldRect();
    if (m_field.size() != field.size()) {
        m_field = QImage(field.size(), QImage::Format_RGB32);
        for (int y = 0; y < field.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(m_field.scanLine(y));
            const float saturation = 1.0f - float(y) / float(std::max(1, field.height() - 1));
            for (int x = 0; x < field.width(); ++x) {
                const float hue = std::min(0.9999f, float(x) / float(std::max(1, field.width() - 1)));
                line[x] = QColor::fromHsvF(hue, saturation, 1.0f).rgb();
            }
        }
    }
    painter.drawImage(field.topLeft(), m_field);

    QLinearGradient gradient(StripRect().topLeft(), StripRect().topRight());
    gradient.setColorAt(0, Qt::black);
    gradient.setColorAt(1, QColor::fromHsvF(m_hue, m_saturation, 1.0f));
    painter.fillRect(StripRect(), gradient);

    // Markers: a ring at the hue/saturation point and a bar at the brightness.
    const QPoint ring(int(m_hue * float(field.width() - 1)),
                      int((1.0f - m_saturation) * float(field.height() - 1)));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawEllipse(ring, 5, 5);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawEllipse(ring, 6, 6);
    const int bar = int(m_value * float(width() - 1));
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(bar, StripRect().top(), bar, StripRect().bottom());
}

}  // namespace quillon
