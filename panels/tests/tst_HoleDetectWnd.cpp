#include "CameraSettings.h"
#include "HoleDetectWnd.h"
#include "PanelTestSupport.h"

#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using PanelTestSupport::ClickCheckBox;
using PanelTestSupport::FocusOrder;
using PanelTestSupport::OpenColorDialog;
using PanelTestSupport::OpenColorDialogCount;
using PanelTestSupport::SwatchColor;

class tst_HoleDetectWnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStart();
    void focusOrder();
    void controlsWriteAtOnce_data();
    void controlsWriteAtOnce();
    void checkBoxesWriteAtOnce();
    void storedPositionsAreClampedNotWrittenBack_data();
    void storedPositionsAreClampedNotWrittenBack();
    void derivedValuesAtSliderEnds_data();
    void derivedValuesAtSliderEnds();
    void restartRestoresEverything();
    void freezeStoresLastMeasuredColour();
    void freezeBeforeAnyMeasurementStoresInvalidColour();
    void transparentMarkerStaysVisibleInSwatch();
    void colourDialogAccepted_data();
    void colourDialogAccepted();
    void colourDialogCancelledRestores();
    void secondClickKeepsTheOpenDialog();
    void calibrateEmitsOncePerClick();
    void centreSwatchDoesNothing();

private:
    void CreatePanel();
    QSlider* Slider(const char* name) const;
    ColorButton* MarkerSwatch() const;
    // The marker colour dialog does not block: it is open when the click returns.
    QColorDialog* ClickMarkerSwatch() const;

    std::unique_ptr<CameraSettings> m_Settings;
    std::unique_ptr<HoleDetectWnd> m_Panel;
};

void tst_HoleDetectWnd::initTestCase()
{
    QCoreApplication::setOrganizationName("Orvelta");
    QCoreApplication::setApplicationName("Lentavio");
    QSettings().clear();
    m_Settings = std::make_unique<CameraSettings>();
}

void tst_HoleDetectWnd::init()
{
    QSettings().clear();
}

void tst_HoleDetectWnd::cleanup()
{
    m_Panel.reset();
    QTRY_COMPARE(OpenColorDialogCount(), 0);
}

void tst_HoleDetectWnd::CreatePanel()
{
    m_Panel = std::make_unique<HoleDetectWnd>();
    m_Panel->show();
}

QSlider* tst_HoleDetectWnd::Slider(const char* name) const
{
    return m_Panel->findChild<QSlider*>(name);
}

ColorButton* tst_HoleDetectWnd::MarkerSwatch() const
{
    return m_Panel->findChild<ColorButton*>("m_MarkerColorView");
}

QColorDialog* tst_HoleDetectWnd::ClickMarkerSwatch() const
{
    QTest::mouseClick(MarkerSwatch(), Qt::LeftButton);
    return OpenColorDialog();
}

void tst_HoleDetectWnd::firstStart()
{
    CreatePanel();
    QCOMPARE(HoleDetectWnd::Instance(), m_Panel.get());
    QCOMPARE(m_Panel->objectName(), QString("HoleDetectWnd"));
    QCOMPARE(m_Panel->windowTitle(), QString("Hole detect"));

    QVERIFY(m_Panel->findChild<QCheckBox*>("m_EnableCB")->isChecked());
    QVERIFY(!m_Panel->findChild<QCheckBox*>("m_FreezeHoleColor")->isChecked());
    QCOMPARE(Slider("m_ThresholdSlider")->value(), 250);
    QCOMPARE(Slider("m_RoundnessSlider")->value(), 750);
    QCOMPARE(Slider("m_MarkerAlphaSlider")->value(), 80);
    QCOMPARE(Slider("m_MarkerWidthSlider")->value(), 6);
    QVERIFY(m_Panel->IsEnabled());
    QVERIFY(!m_Panel->IsCenterColorFrozen());
    QCOMPARE(m_Panel->GetThreshold(), 3125.0);
    QCOMPARE(m_Panel->GetRoundness(), 0.75);

    QCOMPARE(m_Panel->m_MarkerColor, QColor(0, 0, 255, 80));
    QCOMPARE(SwatchColor(MarkerSwatch()), QColor(0, 0, 255));
    QVERIFY(!m_Panel->m_CenterColor.isValid());

    QVERIFY2(QSettings().allKeys().isEmpty(), "loading wrote to the store");
}

void tst_HoleDetectWnd::focusOrder()
{
    CreatePanel();
    const QStringList expected{"m_EnableCB",         "m_FreezeHoleColor",  "m_MarkerColorView",
                               "m_CenterColorView",  "m_ThresholdSlider",  "m_RoundnessSlider",
                               "m_MarkerAlphaSlider", "m_MarkerWidthSlider", "m_CalibrateButton"};
    QCOMPARE(FocusOrder(m_Panel.get(), expected), expected);
}

void tst_HoleDetectWnd::controlsWriteAtOnce_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("threshold stores the position") << "m_ThresholdSlider" << 400 << "HoleDetect/Threshold" << QVariant(400);
    QTest::newRow("roundness stores the position") << "m_RoundnessSlider" << 10 << "HoleDetect/Roundness" << QVariant(10);
    QTest::newRow("width") << "m_MarkerWidthSlider" << 40 << "HoleDetect/MarkerWidth" << QVariant(40);
    QTest::newRow("alpha goes into the marker colour")
        << "m_MarkerAlphaSlider" << 200 << "HoleDetect/MarkerColor" << QVariant(QColor(0, 0, 255, 200));
}

void tst_HoleDetectWnd::controlsWriteAtOnce()
{
    QFETCH(QString, slider);
    QFETCH(int, position);
    QFETCH(QString, key);
    QFETCH(QVariant, stored);

    CreatePanel();
    Slider(qPrintable(slider))->setValue(position);
    QCOMPARE(QSettings().value(key), stored);
    QCOMPARE(QSettings().allKeys(), QStringList{key});
}

void tst_HoleDetectWnd::checkBoxesWriteAtOnce()
{
    CreatePanel();
    auto* enable = m_Panel->findChild<QCheckBox*>("m_EnableCB");
    ClickCheckBox(enable);
    QCOMPARE(QSettings().value("HoleDetect/Enabled"), QVariant(false));
    QVERIFY(!m_Panel->IsEnabled());
    ClickCheckBox(enable);
    QCOMPARE(QSettings().value("HoleDetect/Enabled"), QVariant(true));

    ClickCheckBox(m_Panel->findChild<QCheckBox*>("m_FreezeHoleColor"));
    QCOMPARE(QSettings().value("HoleDetect/FreezeCenterColor"), QVariant(true));
    QVERIFY(m_Panel->IsCenterColorFrozen());
}

void tst_HoleDetectWnd::storedPositionsAreClampedNotWrittenBack_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("slider");
    QTest::addColumn<int>("shown");

    QTest::newRow("threshold above 1000") << "Threshold" << QVariant(5000) << "m_ThresholdSlider" << 1000;
    QTest::newRow("threshold negative") << "Threshold" << QVariant(-5) << "m_ThresholdSlider" << 0;
    QTest::newRow("roundness above 1000") << "Roundness" << QVariant(1001) << "m_RoundnessSlider" << 1000;
    QTest::newRow("width 0") << "MarkerWidth" << QVariant(0) << "m_MarkerWidthSlider" << 1;
    QTest::newRow("width 99") << "MarkerWidth" << QVariant(99) << "m_MarkerWidthSlider" << 40;
    QTest::newRow("threshold not a number reads as 0") << "Threshold" << QVariant("lots") << "m_ThresholdSlider" << 0;
}

void tst_HoleDetectWnd::storedPositionsAreClampedNotWrittenBack()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QString, slider);
    QFETCH(int, shown);

    QSettings().setValue("HoleDetect/" + key, stored);
    CreatePanel();
    QCOMPARE(Slider(qPrintable(slider))->value(), shown);
    QCOMPARE(QSettings().value("HoleDetect/" + key), stored);
    QCOMPARE(QSettings().allKeys().size(), 1);
}

void tst_HoleDetectWnd::derivedValuesAtSliderEnds_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<double>("roundness");

    QTest::newRow("position 0") << int(Qt::Key_Home) << 0.0 << 0.0;
    QTest::newRow("position 1000") << int(Qt::Key_End) << 50000.0 << 1.0;
}

void tst_HoleDetectWnd::derivedValuesAtSliderEnds()
{
    QFETCH(int, key);
    QFETCH(double, threshold);
    QFETCH(double, roundness);

    CreatePanel();
    QTest::keyClick(Slider("m_ThresholdSlider"), Qt::Key(key));
    QTest::keyClick(Slider("m_RoundnessSlider"), Qt::Key(key));
    QCOMPARE(m_Panel->GetThreshold(), threshold);
    QCOMPARE(m_Panel->GetRoundness(), roundness);
}

void tst_HoleDetectWnd::restartRestoresEverything()
{
    CreatePanel();
    ClickCheckBox(m_Panel->findChild<QCheckBox*>("m_EnableCB"));
    Slider("m_ThresholdSlider")->setValue(500);
    Slider("m_RoundnessSlider")->setValue(900);
    Slider("m_MarkerAlphaSlider")->setValue(33);
    Slider("m_MarkerWidthSlider")->setValue(12);
    m_Panel->SetCenterColor(QColor(10, 20, 30));
    ClickCheckBox(m_Panel->findChild<QCheckBox*>("m_FreezeHoleColor"));
    const QStringList keys = QSettings().allKeys();

    CreatePanel();
    QVERIFY(!m_Panel->IsEnabled());
    QVERIFY(m_Panel->IsCenterColorFrozen());
    QCOMPARE(m_Panel->GetThreshold(), 12500.0);
    QCOMPARE(m_Panel->GetRoundness(), 0.9);
    QCOMPARE(Slider("m_MarkerAlphaSlider")->value(), 33);
    QCOMPARE(Slider("m_MarkerWidthSlider")->value(), 12);
    QCOMPARE(m_Panel->m_MarkerColor, QColor(0, 0, 255, 33));
    QCOMPARE(m_Panel->m_CenterColor, QColor(10, 20, 30));
    QCOMPARE(SwatchColor(m_Panel->findChild<ColorButton*>("m_CenterColorView")), QColor(10, 20, 30));
    QCOMPARE(QSettings().allKeys(), keys);
}

void tst_HoleDetectWnd::freezeStoresLastMeasuredColour()
{
    CreatePanel();
    auto* freeze = m_Panel->findChild<QCheckBox*>("m_FreezeHoleColor");
    m_Panel->SetCenterColor(Qt::red);
    QVERIFY2(QSettings().allKeys().isEmpty(), "a measured colour was persisted");

    ClickCheckBox(freeze);
    QCOMPARE(QSettings().value("HoleDetect/CenterColor").value<QColor>(), QColor(Qt::red));

    ClickCheckBox(freeze);
    m_Panel->SetCenterColor(Qt::green);
    QCOMPARE(QSettings().value("HoleDetect/FreezeCenterColor"), QVariant(false));
    QCOMPARE(QSettings().value("HoleDetect/CenterColor").value<QColor>(), QColor(Qt::red));

    ClickCheckBox(freeze);
    QCOMPARE(QSettings().value("HoleDetect/CenterColor").value<QColor>(), QColor(Qt::green));
}

void tst_HoleDetectWnd::freezeBeforeAnyMeasurementStoresInvalidColour()
{
    CreatePanel();
    ClickCheckBox(m_Panel->findChild<QCheckBox*>("m_FreezeHoleColor"));
    QVERIFY(QSettings().contains("HoleDetect/CenterColor"));
    QVERIFY(!QSettings().value("HoleDetect/CenterColor").value<QColor>().isValid());

    CreatePanel();
    QVERIFY(!m_Panel->m_CenterColor.isValid());
}

void tst_HoleDetectWnd::transparentMarkerStaysVisibleInSwatch()
{
    CreatePanel();
    QTest::keyClick(Slider("m_MarkerAlphaSlider"), Qt::Key_Home);
    QCOMPARE(m_Panel->m_MarkerColor, QColor(0, 0, 255, 0));
    QCOMPARE(QSettings().value("HoleDetect/MarkerColor").value<QColor>(), QColor(0, 0, 255, 0));
    QCOMPARE(SwatchColor(MarkerSwatch()), QColor(0, 0, 255));
}

void tst_HoleDetectWnd::colourDialogAccepted_data()
{
    QTest::addColumn<bool>("preview");
    QTest::newRow("after a preview") << true;
    QTest::newRow("without a preview") << false;
}

void tst_HoleDetectWnd::colourDialogAccepted()
{
    QFETCH(bool, preview);

    CreatePanel();
    ColorButton* swatch = MarkerSwatch();
    Slider("m_MarkerAlphaSlider")->setValue(120);
    QColorDialog* dialog = ClickMarkerSwatch();
    QVERIFY(dialog);
    if (preview) {
        dialog->setCurrentColor(QColor(0, 255, 0));
        QCOMPARE(m_Panel->m_MarkerColor, QColor(0, 255, 0, 120));
        QCOMPARE(SwatchColor(swatch), QColor(0, 255, 0));
        QCOMPARE(QSettings().value("HoleDetect/MarkerColor").value<QColor>(), QColor(0, 0, 255, 120));
    }
    dialog->setCurrentColor(QColor(255, 128, 0));
    dialog->accept();

    QCOMPARE(m_Panel->m_MarkerColor, QColor(255, 128, 0, 120));
    QCOMPARE(SwatchColor(swatch), QColor(255, 128, 0));
    QCOMPARE(QSettings().value("HoleDetect/MarkerColor").value<QColor>(), QColor(255, 128, 0, 120));
}

void tst_HoleDetectWnd::colourDialogCancelledRestores()
{
    CreatePanel();
    ColorButton* swatch = MarkerSwatch();
    QColorDialog* dialog = ClickMarkerSwatch();
    QVERIFY(dialog);
    dialog->setCurrentColor(QColor(255, 0, 0));
    QCOMPARE(SwatchColor(swatch), QColor(255, 0, 0));
    // The alpha shown when the dialog closes is the one restored.
    Slider("m_MarkerAlphaSlider")->setValue(150);
    QSettings().clear();
    dialog->reject();

    QCOMPARE(m_Panel->m_MarkerColor, QColor(0, 0, 255, 150));
    QCOMPARE(SwatchColor(swatch), QColor(0, 0, 255));
    QVERIFY2(QSettings().allKeys().isEmpty(), "cancelling wrote to the store");
}

void tst_HoleDetectWnd::secondClickKeepsTheOpenDialog()
{
    CreatePanel();
    QColorDialog* dialog = ClickMarkerSwatch();
    QVERIFY(dialog);
    dialog->setCurrentColor(QColor(255, 0, 0));

    QCOMPARE(ClickMarkerSwatch(), dialog);
    QCOMPARE(OpenColorDialogCount(), 1);
    dialog->reject();
    QCOMPARE(m_Panel->m_MarkerColor, QColor(0, 0, 255, 80));
}

void tst_HoleDetectWnd::calibrateEmitsOncePerClick()
{
    CreatePanel();
    QSignalSpy calibrate(m_Panel.get(), &HoleDetectWnd::SignalCalibrateCrosshair);
    auto* button = m_Panel->findChild<QPushButton*>("m_CalibrateButton");
    QCOMPARE(button->text(), QString("Calibrate crosshair"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(calibrate.count(), 1);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(calibrate.count(), 2);
}

void tst_HoleDetectWnd::centreSwatchDoesNothing()
{
    CreatePanel();
    QTest::mouseClick(m_Panel->findChild<ColorButton*>("m_CenterColorView"), Qt::LeftButton);
    QCOMPARE(OpenColorDialogCount(), 0);
    QVERIFY(QSettings().allKeys().isEmpty());
}

QTEST_MAIN(tst_HoleDetectWnd)
#include "tst_HoleDetectWnd.moc"
