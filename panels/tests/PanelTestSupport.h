#pragma once

#include "CameraSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QImage>
#include <QWidget>
#include <QtTest>

#include <memory>

// Shared by the panel tests: a fresh start, what a swatch shows, and the
// colour dialog a panel has opened.
namespace PanelTestSupport
{
// Starts afresh from the store as the program does: the settings object
// first, then the panel, shown.
template <typename Panel>
void Restart(std::unique_ptr<CameraSettings>& settings, std::unique_ptr<Panel>& panel)
{
    panel.reset();
    settings.reset();
    settings = std::make_unique<CameraSettings>();
    panel = std::make_unique<Panel>();
    panel->show();
}

// The colour in the middle of a colour button, as painted.
inline QColor SwatchColor(QWidget* button)
{
    return button->grab().toImage().pixelColor(button->width() / 2, button->height() / 2);
}

// Clicks the box's indicator: the middle of a wide box can miss its text.
inline void ClickCheckBox(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(box->height() / 2, box->height() / 2));
}

// The widgets among names in the order keyboard focus visits them.
inline QStringList FocusOrder(QWidget* window, const QStringList& names)
{
    QStringList order;
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
        if (names.contains(w->objectName()))
            order << w->objectName();
    }
    return order;
}

inline QColorDialog* OpenColorDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QColorDialog*>(widget);
        if (dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

inline int OpenColorDialogCount()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<QColorDialog*>(widget) && widget->isVisible() ? 1 : 0;
    return count;
}
} // namespace PanelTestSupport
