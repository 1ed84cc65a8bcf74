#pragma once

#include "ui_Lentavio.h"

#include <QCameraInfo>
#include <QMainWindow>

class QAction;
class QCloseEvent;

// The main window: menus, the framed picture area, the dock panels and the
// status line; restores its size and dock layout from the settings store and
// saves them on close. Lives on the user-interface thread.
class Lentavio : public QMainWindow, private Ui::LentavioClass
{
    Q_OBJECT

public:
    explicit Lentavio(QWidget* parent = nullptr);
    ~Lentavio() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void SlotCameraMenuOpening();
    void SlotCameraMenuTriggered(QAction* action);

private:
    void FillCameraMenu();
    void RestoreLayout();
};
