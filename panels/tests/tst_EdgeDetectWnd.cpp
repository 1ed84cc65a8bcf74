#include "CameraSettings.h"
#include "EdgeDetectWnd.h"
#include "PanelTestSupport.h"

#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using PanelTestSupport::ClickCheckBox;
using PanelTestSupport::FocusOrder;
using PanelTestSupport::OpenColorDialog;
using PanelTestSupport::SwatchColor;

class tst_EdgeDetectWnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStart();
    void focusOrder();
    void storedThresholdsShownNotWrittenBack_data();
    void storedThresholdsShownNotWrittenBack();
    void slidersKeepLowerNotAboveUpper_data();
    void slidersKeepLowerNotAboveUpper();
    void enableBoxWritesAtOnce();
    void colourDialogCancelledRestores();
    void colourDialogAcceptedPersists_data();
    void colourDialogAcceptedPersists();

private:
    void CreatePanel();
    // Clicks the colour swatch and, once the modal dialog runs, hands it to
    // action, which has to close it.
    void RunColorDialog(const std::function<void(QColorDialog*)>& action);
    QSlider* Slider(const char* name) const;
    ColorButton* Swatch() const;

    std::unique_ptr<CameraSettings> m_Settings;
    std::unique_ptr<EdgeDetectWnd> m_Panel;
};

void tst_EdgeDetectWnd::initTestCase()
{
    QCoreApplication::setOrganizationName("Orvelta");
    QCoreApplication::setApplicationName("Lentavio");
}

void tst_EdgeDetectWnd::init()
{
    QSettings().clear();
}

void tst_EdgeDetectWnd::cleanup()
{
    m_Panel.reset();
    m_Settings.reset();
}

void tst_EdgeDetectWnd::CreatePanel()
{
    PanelTestSupport::Restart(m_Settings, m_Panel);
}

void tst_EdgeDetectWnd::RunColorDialog(const std::function<void(QColorDialog*)>& action)
{
    bool found = false;
    QTimer::singleShot(0, this, [&] {
        QColorDialog* dialog = OpenColorDialog();
        found = dialog != nullptr;
        if (dialog)
            action(dialog);
    });
    QTest::mouseClick(Swatch(), Qt::LeftButton);
    QVERIFY2(found, "no colour dialog was open");
}

QSlider* tst_EdgeDetectWnd::Slider(const char* name) const
{
    return m_Panel->findChild<QSlider*>(name);
}

ColorButton* tst_EdgeDetectWnd::Swatch() const
{
    return m_Panel->findChild<ColorButton*>("m_OverlayColorView");
}

void tst_EdgeDetectWnd::firstStart()
{
    CreatePanel();
    QCOMPARE(m_Panel->objectName(), QString("EdgeDetectWnd"));
    QCOMPARE(m_Panel->windowTitle(), QString("Edge detect"));
    QVERIFY(!m_Panel->findChild<QCheckBox*>("m_EnableCB")->isChecked());
    QCOMPARE(Slider("m_SliderEdgeDetectMinThres")->value(), 100);
    QCOMPARE(Slider("m_SliderEdgeDetectMaxThres")->value(), 200);
    QCOMPARE(SwatchColor(Swatch()), QColor(Qt::white));
    QVERIFY2(QSettings().allKeys().isEmpty(), "loading wrote to the store");
}

void tst_EdgeDetectWnd::focusOrder()
{
    CreatePanel();
    const QStringList expected{"m_SliderEdgeDetectMinThres", "m_SliderEdgeDetectMaxThres", "m_EnableCB",
                               "m_OverlayColorView"};
    QCOMPARE(FocusOrder(m_Panel.get(), expected), expected);
}

void tst_EdgeDetectWnd::storedThresholdsShownNotWrittenBack_data()
{
    QTest::addColumn<double>("storedMin");
    QTest::addColumn<double>("storedMax");
    QTest::addColumn<int>("shownMin");
    QTest::addColumn<int>("shownMax");

    QTest::newRow("in range") << 30.0 << 40.0 << 30 << 40;
    QTest::newRow("fractions round to the nearest position") << 99.6 << 150.4 << 100 << 150;
    QTest::newRow("above 255 clamped") << 10.0 << 300.0 << 10 << 255;
    QTest::newRow("negative clamped") << -5.0 << 20.0 << 0 << 20;
    QTest::newRow("beyond the int range clamped") << -1e300 << 1e300 << 0 << 255;
}

void tst_EdgeDetectWnd::storedThresholdsShownNotWrittenBack()
{
    QFETCH(double, storedMin);
    QFETCH(double, storedMax);
    QFETCH(int, shownMin);
    QFETCH(int, shownMax);

    QSettings().setValue("Filters/EdgeDetect/min_threshold", storedMin);
    QSettings().setValue("Filters/EdgeDetect/max_threshold", storedMax);
    CreatePanel();
    QCOMPARE(Slider("m_SliderEdgeDetectMinThres")->value(), shownMin);
    QCOMPARE(Slider("m_SliderEdgeDetectMaxThres")->value(), shownMax);
    QCOMPARE(QSettings().value("Filters/EdgeDetect/min_threshold").toDouble(), storedMin);
    QCOMPARE(QSettings().value("Filters/EdgeDetect/max_threshold").toDouble(), storedMax);
    QCOMPARE(m_Settings->GetEdgeDetectMinThreshold(), storedMin);
}

void tst_EdgeDetectWnd::slidersKeepLowerNotAboveUpper_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<QVariant>("storedLower");
    QTest::addColumn<QVariant>("storedUpper");

    QTest::newRow("lower above upper carries it along")
        << "m_SliderEdgeDetectMinThres" << 230 << 230 << 230 << QVariant(230.0) << QVariant(230.0);
    QTest::newRow("upper below lower carries it along")
        << "m_SliderEdgeDetectMaxThres" << 50 << 50 << 50 << QVariant(50.0) << QVariant(50.0);
    QTest::newRow("lower equal to upper is allowed")
        << "m_SliderEdgeDetectMinThres" << 200 << 200 << 200 << QVariant(200.0) << QVariant();
    QTest::newRow("upper at 0 takes lower to 0")
        << "m_SliderEdgeDetectMaxThres" << 0 << 0 << 0 << QVariant(0.0) << QVariant(0.0);
}

void tst_EdgeDetectWnd::slidersKeepLowerNotAboveUpper()
{
    QFETCH(QString, slider);
    QFETCH(int, position);
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(QVariant, storedLower);
    QFETCH(QVariant, storedUpper);

    CreatePanel();
    Slider(qPrintable(slider))->setValue(position);
    QCOMPARE(Slider("m_SliderEdgeDetectMinThres")->value(), lower);
    QCOMPARE(Slider("m_SliderEdgeDetectMaxThres")->value(), upper);
    QSettings settings;
    QCOMPARE(settings.value("Filters/EdgeDetect/min_threshold"), storedLower);
    QCOMPARE(settings.value("Filters/EdgeDetect/max_threshold"), storedUpper);
    QCOMPARE(m_Settings->GetEdgeDetectMinThreshold(), double(lower));
    QCOMPARE(m_Settings->GetEdgeDetectMaxThreshold(), double(upper));
}

void tst_EdgeDetectWnd::enableBoxWritesAtOnce()
{
    CreatePanel();
    ClickCheckBox(m_Panel->findChild<QCheckBox*>("m_EnableCB"));
    QVERIFY(m_Settings->IsEdgeDetectEnabled());
    QCOMPARE(QSettings().value("Filters/EdgeDetect/enabled"), QVariant(true));

    CreatePanel();
    QVERIFY(m_Panel->findChild<QCheckBox*>("m_EnableCB")->isChecked());
}

void tst_EdgeDetectWnd::colourDialogCancelledRestores()
{
    CreatePanel();
    QColor previewInSettings;
    QColor previewInSwatch;
    RunColorDialog([&](QColorDialog* dialog) {
        dialog->setCurrentColor(QColor(255, 0, 0));
        previewInSettings = m_Settings->GetEdgeDetectColor();
        previewInSwatch = SwatchColor(Swatch());
        dialog->reject();
    });
    QCOMPARE(previewInSettings, QColor(255, 0, 0));
    QCOMPARE(previewInSwatch, QColor(255, 0, 0));
    QCOMPARE(m_Settings->GetEdgeDetectColor(), QColor(Qt::white));
    QCOMPARE(SwatchColor(Swatch()), QColor(Qt::white));
    QVERIFY2(QSettings().allKeys().isEmpty(), "cancelling wrote to the store");
}

void tst_EdgeDetectWnd::colourDialogAcceptedPersists_data()
{
    QTest::addColumn<bool>("preview");
    QTest::newRow("after a preview") << true;
    QTest::newRow("without a preview") << false;
}

void tst_EdgeDetectWnd::colourDialogAcceptedPersists()
{
    QFETCH(bool, preview);

    CreatePanel();
    const QColor chosen(0, 128, 255);
    RunColorDialog([&](QColorDialog* dialog) {
        // With the signals blocked the choice reaches the panel only on accepting.
        const bool wasBlocked = dialog->blockSignals(!preview);
        dialog->setCurrentColor(chosen);
        dialog->blockSignals(wasBlocked);
        dialog->accept();
    });
    QCOMPARE(m_Settings->GetEdgeDetectColor(), chosen);
    QCOMPARE(SwatchColor(Swatch()), chosen);
    QCOMPARE(QSettings().value("Filters/EdgeDetect/color").value<QColor>(), chosen);

    CreatePanel();
    QCOMPARE(m_Settings->GetEdgeDetectColor(), chosen);
    QCOMPARE(SwatchColor(Swatch()), chosen);
}

QTEST_MAIN(tst_EdgeDetectWnd)
#include "tst_EdgeDetectWnd.moc"
