#pragma once

#include "ui_VideoView.h"

#include "HoleMeasurement.h"
#include "PictureScaler.h"
#include "RayHit.h"

#include <QLabel>
#include <QPointF>
#include <QVector2D>
#include <QVector3D>

class QImage;
class QMouseEvent;
class QPixmap;
class QWheelEvent;

// The label in the main window's central frame that shows the processed
// camera picture, scaled to fit and mirrored by the camera settings' flips.
// It owns the crosshair (centre and two circle radii, persisted under
// "Crosshair/...") and, once per frame, finds the hole under the crosshair
// and paints crosshair, hole marker and alignment ticks over the picture.
//
// Crosshair and hole positions are normalised frame coordinates: (0, 0) is
// the frame's first pixel in memory order; mirroring only happens when
// mapping to or from the screen, so positions survive resizes and flips.
// Radii are fractions of the width.
//
// User-interface thread only. Created by the main window's form, which owns
// it; the hole detection panel must exist before the first frame arrives.
class VideoView : public QLabel, private Ui::VideoView
{
    Q_OBJECT

public:
    explicit VideoView(QWidget* parent = nullptr);
    ~VideoView() override;

    // Called once per displayed frame. frame is Format_RGB32 and only read;
    // it may wrap someone else's buffer. A frame without pixels leaves the
    // last picture on screen.
    void SetImage(const QImage& frame, bool holeDetectEnabled, bool freezeCenterColor,
                  double threshold, double roundness);
    // Any thread, one caller at a time: scales a frame that is about to be
    // shown, so that SetImage() of the same pixels only takes the picture.
    // Called where the frame is made, before the user-interface thread is
    // told of it; the pixels must not change until then.
    void PrepareFrame(const cv::Mat& frame);
    // Moves the crosshair onto the smoothed centre of the hole found last,
    // if the last frame found one. Not persisted until the next drag.
    void CalibrateCrosshair();

signals:
    // Emitted by every SetImage, found or not, after the detection.
    void SignalHoleMeasured(const HoleMeasurement& measurement);

private slots:
    void SlotFlipHToggled(bool flip);
    void SlotFlipVToggled(bool flip);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class tst_VideoView;

    // The one mirroring rule, for the picture, the overlay and dragging:
    // without the vertical flip the frame's row 0 is shown at the bottom
    // (rows mirrored); the horizontal flip mirrors the columns.
    bool MirrorsRows() const { return !m_FlipV; }
    bool MirrorsColumns() const { return m_FlipH; }
    // The picture's size (the view's) and mirroring, for the scaler.
    PictureTarget CurrentTarget() const;
    // m_CrosshairPos in a displayed picture of the given size.
    QPointF MapToPixmap(double width, double height) const;
    QPointF MapToPicture(const QPointF& normalised, double width, double height) const;

    // centre is in frame pixels; threshold is a squared colour distance.
    void DetectHole(const QImage& frame, bool freezeCenterColor, const QPointF& centre,
                    double threshold, double roundness);
    // Walks from start in steps of (dx, dy) until a pixel differs from
    // m_ReferenceColor by more than threshold, and returns the offset of the
    // last matching sample. (0, 0) when the ray leaves the frame, differs at
    // its first step or finds no boundary within maxSteps.
    QVector2D CastRay(const QImage& frame, const QPointF& start, double dx, double dy,
                      int maxSteps, double threshold) const;
    // One detection pass from c (frame pixels): casts the rays, trims them
    // if asked, moves c to the mean boundary point. False, with c and the
    // lengths unchanged, when a ray gives no value.
    bool RunPass(const QImage& frame, double threshold, bool trim, RayHits& hits, QPointF& c,
                 double& meanLength, double& edgeRadius) const;
    // Sets m_HoleMeasuredCenter and m_HoleEdgeRadius from where the
    // detection ended (c in frame pixels).
    void RefineForReadout(const QImage& frame, double threshold, QPointF c, double edgeRadius);

    // C is the crosshair centre in picture pixels.
    void DrawOverlay(QPixmap& picture, const QPointF& C) const;
    HoleMeasurement Measure(const QImage& frame) const;

    bool m_FlipH = false;
    bool m_FlipV = false;
    bool m_Dragging = false;
    QPointF m_LastMousePos;
    QPointF m_CrosshairPos{0.5, 0.5};
    double m_Radius1 = 0.005;
    double m_Radius2 = 0.01;

    QVector3D m_ReferenceColor;
    bool m_HoleFound = false;
    QPointF m_HoleCenter;
    QPointF m_HoleCenterSmoothed;
    double m_HoleRadius = 0.0;
    // For the readout only: the centre after a few more passes.
    QPointF m_HoleMeasuredCenter;
    // Mean ray length plus half a step, frame pixels: the boundary lies
    // between a ray's last matching sample and its first differing one.
    double m_HoleEdgeRadius = 0.0;

    PictureScaler m_Scaler;
};
