#pragma once

#include <QColor>
#include <QPushButton>

class QPaintEvent;

// A push button whose whole face is a flat swatch of one colour: the trigger
// of a colour choice or a plain colour display in the tool panels. It keeps
// no state beyond the colour its owner gives it; the owner keeps what the
// colour stands for. Lives on the user-interface thread, owned by its form.
class ColorButton : public QPushButton
{
    Q_OBJECT

public:
    explicit ColorButton(QWidget* parent = nullptr);
    ~ColorButton() override;

    // The swatch is always opaque, whatever alpha the colour carries.
    void SetColor(QColor color)
    {
        m_Color = color;
        m_Color.setAlpha(255);
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_Color;
};
