#include "VideoView.h"

#include "CameraSettings.h"
#include "HoleDetectWnd.h"
#include "RayHit.h"
#include "SettingsStore.h"
#include "TrimExtremeRays.h"
#include "TruncToInt.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QSettings>
#include <QSlider>
#include <QStyle>
#include <QWheelEvent>


#include <array>
#include <cmath>

namespace
{
const char* const kRadius1Key = "Crosshair/radius1";
const char* const kRadius2Key = "Crosshair/radius2";
const char* const kPositionKey = "Crosshair/position";

constexpr double kDefaultRadius1 = 0.005;
constexpr double kDefaultRadius2 = 0.01;
constexpr double kDefaultPosition = 0.5;
constexpr double kMinRadius = 0.005;
constexpr double kMaxRadius = 0.5;
// One standard wheel notch (120) changes a radius by 0.0012 of the width.
constexpr double kWheelDeltaPerRadius = 100000.0;

constexpr int kRayMaxSteps = 100;
constexpr int kPasses = 6;
constexpr int kFirstTrimmedPass = 4;
constexpr int kReadoutPasses = 4;
// Share of a new measurement blended into the smoothed centre.
constexpr double kSmoothing = 0.6;

// Step vectors in frame pixels, deliberately not normalised. Rays 2k and
// 2k + 1 point in opposite directions; the mirror-fill relies on that.
const std::array<QPointF, kRayCount> kRaySteps = {{
    {-1.0, 0.0}, {1.0, 0.0}, {0.0, -1.0}, {0.0, 1.0},
    {1.0, 1.0}, {-1.0, -1.0}, {1.0, -1.0}, {-1.0, 1.0},
    {-1.0, -0.5}, {1.0, 0.5}, {-1.0, 0.5}, {1.0, -0.5},
    {-0.5, -1.0}, {0.5, 1.0}, {0.5, -1.0}, {-0.5, 1.0},
}};

// Overlay geometry in screen pixels, independent of the zoom.
constexpr double kArmGap = 3.0;
constexpr double kTickInner = 3.0;
constexpr double kTickOuter = 15.0;
constexpr double kTickWindow = 15.0;
constexpr double kTickMagnification = 3.0;
// The raster engine works in fixed point: a circle millions of pixels across
// comes out as stray rows or warnings instead of a clean clip. No real radius
// gets near this; only a corrupt store does.
constexpr double kMaxCircleRadius = 1e6;

// A hand-edited or corrupt store can hold NaN or inf, which would poison
// every later drag and drawing; such a value counts as missing.
double FiniteOr(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}

// (blue, green, red); alpha is ignored.
QVector3D ColorOf(QRgb pixel)
{
    return QVector3D(qBlue(pixel), qGreen(pixel), qRed(pixel));
}

QColor TickColor(double error)
{
    if (error > 3.0)
        return Qt::red;
    if (error > 1.0)
        return Qt::yellow;
    return Qt::green;
}

void DrawLine(QPainter& painter, double x1, double y1, double x2, double y2)
{
    painter.drawLine(TruncToInt(x1), TruncToInt(y1), TruncToInt(x2), TruncToInt(y2));
}

// Skips circles that cannot show on a width x height picture (which also
// rules out NaN and inf) and absurdly large ones.
void DrawCircle(QPainter& painter, double width, double height, const QPointF& centre,
                double radius)
{
    const double reach = std::abs(radius) + painter.pen().widthF();
    const bool drawable = std::abs(radius) <= kMaxCircleRadius
                          && centre.x() + reach >= 0.0 && centre.x() - reach <= width
                          && centre.y() + reach >= 0.0 && centre.y() - reach <= height;
    if (drawable)
        painter.drawEllipse(centre, radius, radius);
}
}

VideoView::VideoView(QWidget* parent)
    : QLabel(parent)
{
    setupUi(this);

    QSettings settings;
    m_Radius1 = FiniteOr(settings.value(kRadius1Key, kDefaultRadius1).toReal(), kDefaultRadius1);
    m_Radius2 = FiniteOr(settings.value(kRadius2Key, kDefaultRadius2).toReal(), kDefaultRadius2);
    // Per component: a damaged x does not throw away a good y.
    const QPointF position = settings.value(kPositionKey, m_CrosshairPos).toPointF();
    m_CrosshairPos = QPointF(FiniteOr(position.x(), kDefaultPosition),
                             FiniteOr(position.y(), kDefaultPosition));

    CameraSettings* cameraSettings = CameraSettings::Instance();
    m_FlipH = cameraSettings->IsInvertH();
    m_FlipV = cameraSettings->IsInvertV();
    connect(cameraSettings, &CameraSettings::SignalFlipHToggled, this, &VideoView::SlotFlipHToggled);
    connect(cameraSettings, &CameraSettings::SignalFlipVToggled, this, &VideoView::SlotFlipVToggled);
}

VideoView::~VideoView() = default;

void VideoView::SetImage(const QImage& frame, bool holeDetectEnabled, bool freezeCenterColor,
                         double threshold, double roundness)
{
    if (holeDetectEnabled)
    {
        const QPointF centre(frame.width() * m_CrosshairPos.x(), frame.height() * m_CrosshairPos.y());
        DetectHole(frame, freezeCenterColor, centre, threshold, roundness);
    }
    else
    {
        m_HoleFound = false;
    }
    emit SignalHoleMeasured(Measure(frame));

    // Without pixels there is no scale factor; the last picture stays.
    if (frame.isNull())
        return;

    // Frames prepared from now on are made for this view as it is now; one
    // prepared before a resize or a flip is scaled again here.
    const PictureTarget target = CurrentTarget();
    m_Scaler.SetTarget(target);
    QPixmap picture = QPixmap::fromImage(m_Scaler.Picture(frame, target));
    DrawOverlay(picture, MapToPixmap(picture.width(), picture.height()));
    // A view that fills its own background is painted opaque: see paintEvent.
    setAttribute(Qt::WA_OpaquePaintEvent, autoFillBackground());
    setPixmap(picture);
}

void VideoView::CalibrateCrosshair()
{
    if (m_HoleFound)
        m_CrosshairPos = m_HoleCenterSmoothed;
}

void VideoView::PrepareFrame(const cv::Mat& frame)
{
    m_Scaler.Prepare(frame);
}

PictureTarget VideoView::CurrentTarget() const
{
    return {size(), MirrorsRows(), MirrorsColumns()};
}

void VideoView::SlotFlipHToggled(bool flip)
{
    m_FlipH = flip;
}

void VideoView::SlotFlipVToggled(bool flip)
{
    m_FlipV = flip;
}

void VideoView::mousePressEvent(QMouseEvent* event)
{
    m_Dragging = true;
    m_LastMousePos = event->localPos();
}

void VideoView::mouseReleaseEvent(QMouseEvent*)
{
    m_Dragging = false;
}

void VideoView::mouseMoveEvent(QMouseEvent* event)
{
    // A collapsed view would turn the step into NaN or inf and store it.
    if (!m_Dragging || width() <= 0 || height() <= 0)
        return;

    QPointF step = event->localPos() - m_LastMousePos;
    m_LastMousePos = event->localPos();
    // Divided by the view's size rather than the picture's: the crosshair
    // follows the pointer along the axis the picture fills and lags along
    // the other.
    step.rx() /= width();
    step.ry() /= height();
    if (MirrorsColumns())
        step.rx() = -step.x();
    if (MirrorsRows())
        step.ry() = -step.y();
    m_CrosshairPos += step;
    SettingsStore::Write(kPositionKey, m_CrosshairPos);
}

void VideoView::wheelEvent(QWheelEvent* event)
{
    double& radius = event->modifiers().testFlag(Qt::ShiftModifier) ? m_Radius2 : m_Radius1;
    radius = qBound(kMinRadius, radius + event->angleDelta().y() / kWheelDeltaPerRadius, kMaxRadius);

    SettingsStore::Write({{kRadius1Key, m_Radius1}, {kRadius2Key, m_Radius2}});
}

void VideoView::paintEvent(QPaintEvent* event)
{
    // Qt would fill the whole view with the background on every frame and
    // then draw the picture over nearly all of it. Opaque, only what the
    // picture leaves uncovered is filled; QLabel draws the picture.
    if (testAttribute(Qt::WA_OpaquePaintEvent)) {
        QRegion uncovered = event->region();
        const QPixmap picture = pixmap(Qt::ReturnByValue);
        if (!picture.isNull()) {
            const QRect contents = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
            const Qt::Alignment alignment = QStyle::visualAlignment(layoutDirection(), this->alignment());
            uncovered -= QStyle::alignedRect(layoutDirection(), alignment,
                                             picture.size() / picture.devicePixelRatio(), contents);
        }
        QPainter painter(this);
        for (const QRect& rect : uncovered)
            painter.fillRect(rect, palette().brush(backgroundRole()));
    }
    QLabel::paintEvent(event);
}

QPointF VideoView::MapToPixmap(double width, double height) const
{
    return MapToPicture(m_CrosshairPos, width, height);
}

QPointF VideoView::MapToPicture(const QPointF& normalised, double width, double height) const
{
    const double x = MirrorsColumns() ? 1.0 - normalised.x() : normalised.x();
    const double y = MirrorsRows() ? 1.0 - normalised.y() : normalised.y();
    return QPointF(x * width, y * height);
}

void VideoView::DetectHole(const QImage& frame, bool freezeCenterColor, const QPointF& centre,
                           double threshold, double roundness)
{
    const bool wasFound = m_HoleFound;
    m_HoleFound = false;

    HoleDetectWnd* panel = HoleDetectWnd::Instance();
    if (freezeCenterColor)
    {
        m_ReferenceColor = ColorOf(panel->m_CenterColor.rgb());
    }
    else
    {
        // Only the column is rounded; the row is truncated.
        const int column = TruncToInt(centre.x() + 0.5);
        const int row = TruncToInt(centre.y());
        if (!frame.valid(column, row))
            return;
        const QRgb pixel = frame.pixel(column, row);
        m_ReferenceColor = ColorOf(pixel);
        panel->SetCenterColor(QColor(pixel));
    }

    // The rays read 32-bit words straight from the scan lines.
    if (frame.isNull() || frame.depth() != 32)
        return;

    RayHits hits;
    QPointF c = centre;
    double meanLength = 0.0;
    double edgeRadius = 0.0;
    for (int pass = 0; pass < kPasses; ++pass)
        if (!RunPass(frame, threshold, pass >= kFirstTrimmedPass, hits, c, meanLength, edgeRadius))
            return;

    if (roundness > 0.0)
    {
        for (const RayHit& hit : hits)
        {
            if (IsUnset(hit.Offset))
                continue;
            const float length = hit.Offset.length();
            if (roundness * meanLength > length || length > meanLength / roundness)
                return;
        }
    }

    m_HoleCenter = QPointF(c.x() / frame.width(), c.y() / frame.height());
    m_HoleRadius = meanLength / frame.width();
    m_HoleFound = true;
    RefineForReadout(frame, threshold, c, edgeRadius);
    // A failed frame in between restarts the smoothing from the measurement.
    m_HoleCenterSmoothed = wasFound
                               ? m_HoleCenterSmoothed + kSmoothing * (m_HoleCenter - m_HoleCenterSmoothed)
                               : m_HoleCenter;
}

bool VideoView::RunPass(const QImage& frame, double threshold, bool trim, RayHits& hits, QPointF& c,
                        double& meanLength, double& edgeRadius) const
{
    for (int r = 0; r < kRayCount; ++r)
    {
        const QVector2D offset = CastRay(frame, c, kRaySteps[r].x(), kRaySteps[r].y(), kRayMaxSteps, threshold);
        if (IsUnset(offset))
            return false;
        hits[r] = RayHit{r, offset};
    }
    if (trim)
        TrimExtremeRays(hits);

    int count = 0;
    double sumX = 0.0;
    double sumY = 0.0;
    double sumLength = 0.0;
    double sumHalfSteps = 0.0;
    for (const RayHit& hit : hits)
    {
        if (IsUnset(hit.Offset))
            continue;
        ++count;
        sumX += hit.Offset.x();
        sumY += hit.Offset.y();
        sumLength += hit.Offset.length();
        // A mirrored fill keeps its own index; its partner's step is as long.
        const QPointF step = kRaySteps[hit.Index];
        sumHalfSteps += 0.5 * std::hypot(step.x(), step.y());
    }
    // count is 16 before trimming and at least 8 after it.
    c += QPointF(sumX / count, sumY / count);
    meanLength = sumLength / count;
    edgeRadius = (sumLength + sumHalfSteps) / count;
    return true;
}

// The six passes stop short of the centre when the crosshair starts far off
// it (about 1 px left of 10 on a 20 px disc). The readout gets a few more
// untrimmed passes from where they ended; the drawing keeps their result.
void VideoView::RefineForReadout(const QImage& frame, double threshold, QPointF c, double edgeRadius)
{
    m_HoleMeasuredCenter = m_HoleCenter;
    m_HoleEdgeRadius = edgeRadius;
    RayHits hits;
    double meanLength = 0.0;
    for (int pass = 0; pass < kReadoutPasses; ++pass)
        if (!RunPass(frame, threshold, false, hits, c, meanLength, edgeRadius))
            return;
    m_HoleMeasuredCenter = QPointF(c.x() / frame.width(), c.y() / frame.height());
    m_HoleEdgeRadius = edgeRadius;
}

QVector2D VideoView::CastRay(const QImage& frame, const QPointF& start, double dx, double dy,
                             int maxSteps, double threshold) const
{
    double x = start.x();
    double y = start.y();
    for (int k = 1; k <= maxSteps; ++k)
    {
        x += dx;
        y += dy;
        const int column = TruncToInt(x + 0.5);
        const int row = TruncToInt(y + 0.5);
        if (column < 0 || row < 0 || column >= frame.width() || row >= frame.height())
            return QVector2D();

        const QRgb pixel = reinterpret_cast<const QRgb*>(frame.constScanLine(row))[column];
        const double distance = (ColorOf(pixel) - m_ReferenceColor).lengthSquared();
        if (distance > threshold)
            return QVector2D(float((k - 1) * dx), float((k - 1) * dy));
    }
    return QVector2D();
}

HoleMeasurement VideoView::Measure(const QImage& frame) const
{
    HoleMeasurement measurement;
    measurement.FrameSize = frame.size();
    const double width = frame.width();
    measurement.InnerCircleDiameter = 2.0 * m_Radius1 * width;
    measurement.OuterCircleDiameter = 2.0 * m_Radius2 * width;
    measurement.Found = m_HoleFound;
    if (m_HoleFound)
    {
        // Through the display mapping, so the signs follow the picture shown.
        measurement.Offset = MapToPicture(m_HoleMeasuredCenter, width, frame.height())
                             - MapToPicture(m_CrosshairPos, width, frame.height());
        measurement.Diameter = 2.0 * m_HoleEdgeRadius;
    }
    return measurement;
}

void VideoView::DrawOverlay(QPixmap& picture, const QPointF& C) const
{
    // A null pixmap (a collapsed view) cannot be painted on.
    if (picture.isNull())
        return;
    QPainter painter;
    if (!painter.begin(&picture))
        return;

    const double W = picture.width();
    const double H = picture.height();
    QPen pen;

    if (m_HoleFound)
    {
        const HoleDetectWnd* panel = HoleDetectWnd::Instance();
        pen.setStyle(Qt::SolidLine);
        pen.setColor(panel->m_MarkerColor);
        pen.setWidth(panel->m_MarkerWidthSlider->value());
        painter.setPen(pen);
        const QPointF M = MapToPicture(m_HoleCenter, W, H);
        const QPointF S = MapToPicture(m_HoleCenterSmoothed, W, H);
        DrawCircle(painter, W, H, M, W * m_HoleRadius);

        pen.setStyle(Qt::DashDotLine);
        pen.setWidth(1);
        const double errorX = std::abs(S.x() - C.x());
        const double errorY = std::abs(S.y() - C.y());
        if (errorX < kTickWindow && errorY < kTickWindow)
        {
            // The offset to the smoothed centre, magnified so that errors
            // below a tick's width still move it visibly.
            const QPointF P = C + kTickMagnification * (S - C);
            pen.setColor(TickColor(errorX));
            painter.setPen(pen);
            DrawLine(painter, P.x(), C.y() - kTickInner, P.x(), C.y() - kTickOuter);
            DrawLine(painter, P.x(), C.y() + kTickInner, P.x(), C.y() + kTickOuter);
            pen.setColor(TickColor(errorY));
            painter.setPen(pen);
            DrawLine(painter, C.x() - kTickInner, P.y(), C.x() - kTickOuter, P.y());
            DrawLine(painter, C.x() + kTickInner, P.y(), C.x() + kTickOuter, P.y());
        }
    }

    pen.setStyle(Qt::DashDotLine);
    pen.setColor(Qt::green);
    pen.setWidth(1);
    painter.setPen(pen);
    DrawLine(painter, C.x() - kArmGap, C.y(), 0.0, C.y());
    DrawLine(painter, C.x() + kArmGap, C.y(), W, C.y());
    DrawLine(painter, C.x(), C.y() - kArmGap, C.x(), 0.0);
    DrawLine(painter, C.x(), C.y() + kArmGap, C.x(), H);

    pen.setStyle(Qt::SolidLine);
    painter.setPen(pen);
    // With a hole found the inner circle shows the hole's size, but around
    // the crosshair, not the hole.
    DrawCircle(painter, W, H, C, W * (m_HoleFound ? m_HoleRadius : m_Radius1));
    DrawCircle(painter, W, H, C, W * m_Radius2);
}
