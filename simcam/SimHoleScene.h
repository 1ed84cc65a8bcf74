#pragma once

#include "SimScene.h"

#include <QPoint>
#include <QRect>
#include <QVector>

#include <vector>

// The scene the program exists for: a lit, slightly textured light grey plate
// with dark round holes of a few sizes, one near the middle, all drifting
// together by fractions of a pixel. The plate is drawn once per size; a drift
// step redraws only the squares around the holes.
class SimHoleScene : public SimScene
{
public:
    explicit SimHoleScene(qreal driftAmplitude);

    bool Prepare(QSize size, int bytesPerPixel, QString* error) override;
    const uchar* Picture(quint32 frameNumber) override;

private:
    struct Hole
    {
        qreal X;
        qreal Y;
        qreal Radius;
    };

    int PlateLevel(int x, int y) const;
    void DrawArea(const QRect& area, QPoint drift, const Hole* holes, int count);
    QRect HoleArea(const Hole& hole, QPoint drift) const;

    qreal m_DriftAmplitude;
    QSize m_Size;
    int m_BytesPerPixel = 4;
    QVector<Hole> m_Holes;
    std::vector<int> m_RowLight;
    std::vector<int> m_ColumnLight;
    std::vector<qint8> m_Grain;
    std::vector<uchar> m_Picture;
    QPoint m_Drift;  // in sixteenths of a pixel
};
