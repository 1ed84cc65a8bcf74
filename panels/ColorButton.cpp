#include "ColorButton.h"

#include <QPaintEvent>
#include <QPainter>

ColorButton::ColorButton(QWidget* parent)
    : QPushButton(parent)
{
    // The swatch covers every pixel it is asked to paint, so the toolkit
    // need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ColorButton::~ColorButton() = default;

void ColorButton::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setClipRect(event->rect());
    painter.setBrush(QBrush(m_Color, Qt::SolidPattern));
    // The outline follows the button's edge, not the exposed rectangle, so
    // a partial repaint matches a full one instead of leaving a line across
    // the swatch where the exposed part begins.
    painter.drawRect(rect());
    painter.end();
}
