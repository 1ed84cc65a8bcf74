#include "CameraSettings.h"
#include "Lentavio.h"

#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QtTest>

#include <memory>

class tst_Lentavio : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void FirstStartShowsTheForm();
    void FileMenuEntriesChangeNothing();
    void LayoutRoundTripsThroughClose();
    void UnreadableLayoutKeepsFormSize();

private:
    std::unique_ptr<CameraSettings> m_Settings;
};

void tst_Lentavio::init()
{
    QSettings().clear();
    m_Settings = std::make_unique<CameraSettings>();
}

void tst_Lentavio::cleanup()
{
    m_Settings.reset();
}

void tst_Lentavio::FirstStartShowsTheForm()
{
    Lentavio window;
    QCOMPARE(window.size(), QSize(926, 527));
    QCOMPARE(window.windowTitle(), QString("Lentavio"));

    QStringList titles;
    for (QAction* action : window.findChild<QMenuBar*>("menuBar")->actions())
        titles << action->menu()->title();
    QCOMPARE(titles, (QStringList{"File", "Camera", "Windows"}));

    QVERIFY(window.findChild<QStatusBar*>("m_StatusBar"));
    QVERIFY(window.findChild<QStatusBar*>("m_StatusBar")->currentMessage().isEmpty());
    QVERIFY(window.findChild<QToolBar*>("mainToolBar"));
    QVERIFY(QSettings().allKeys().isEmpty());
}

void tst_Lentavio::FileMenuEntriesChangeNothing()
{
    Lentavio window;
    const QMenu* file = window.findChild<QMenu*>("menuFile");
    QVERIFY(file);
    QStringList texts;
    for (QAction* action : file->actions())
        texts << action->text();
    QCOMPARE(texts, (QStringList{"Open Image...", "Preferences..."}));

    for (QAction* action : file->actions())
        action->trigger();
    QVERIFY(QSettings().allKeys().isEmpty());
    QVERIFY(window.isVisible() == false);
}

void tst_Lentavio::LayoutRoundTripsThroughClose()
{
    {
        Lentavio window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(700, 450);
        QTRY_COMPARE(window.size(), QSize(700, 450));
        window.close();
    }
    QSettings store;
    QVERIFY(!store.value("MainWindow/geometry").toByteArray().isEmpty());
    QVERIFY(!store.value("MainWindow/windowState").toByteArray().isEmpty());

    Lentavio restarted;
    QCOMPARE(restarted.size(), QSize(700, 450));
}

void tst_Lentavio::UnreadableLayoutKeepsFormSize()
{
    QSettings().setValue("MainWindow/geometry", QByteArray("garbage"));
    QSettings().setValue("MainWindow/windowState", 42);
    Lentavio window;
    QCOMPARE(window.size(), QSize(926, 527));
}

QTEST_MAIN(tst_Lentavio)
#include "tst_Lentavio.moc"
