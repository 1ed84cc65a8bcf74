#include "SimHoleScene.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace {

constexpr int DriftSteps = 16;
constexpr int GrainSide = 64;
constexpr int PlateLevelBase = 190;
constexpr int HoleLevel = 24;
// The plate is lit slightly warm, so a swapped channel order shows.
constexpr int WarmRed = 6;
constexpr int WarmBlue = -8;

// Where the holes are on a 640 x 480 picture; other sizes scale them.
struct Layout
{
    qreal X;
    qreal Y;
    qreal Radius;
};
constexpr Layout HoleLayout[] = {
    {323, 238, 26}, {141, 144, 15}, {499, 115, 22}, {154, 365, 40}, {493, 355, 32}, {333, 413, 18},
};

uchar Clamp(int level)
{
    return uchar(std::clamp(level, SimScene::Floor, SimScene::Ceiling));
}

}  // namespace

SimHoleScene::SimHoleScene(qreal driftAmplitude)
    : m_DriftAmplitude(driftAmplitude)
{
}

bool SimHoleScene::Prepare(QSize size, int bytesPerPixel, QString*)
{
    m_Size = size;
    m_BytesPerPixel = bytesPerPixel;
    const qreal scale = std::min(size.width() / 640.0, size.height() / 480.0);
    m_Holes.clear();
    for (const Layout& hole : HoleLayout)
        m_Holes.append({hole.X * size.width() / 640.0, hole.Y * size.height() / 480.0, hole.Radius * scale});

    // Light falls off gently towards the edges, as under a ring light.
    m_RowLight.resize(size.height());
    for (int y = 0; y < size.height(); ++y) {
        const qreal t = (y - size.height() / 2.0) / size.height();
        m_RowLight[y] = int(std::lround(-40 * t * t));
    }
    m_ColumnLight.resize(size.width());
    for (int x = 0; x < size.width(); ++x) {
        const qreal t = (x - size.width() / 2.0) / size.width();
        m_ColumnLight[x] = int(std::lround(-40 * t * t));
    }
    QRandomGenerator random(3);
    m_Grain.resize(GrainSide * GrainSide);
    for (qint8& grain : m_Grain)
        grain = qint8(random.bounded(-3, 4));

    m_Picture.assign(size_t(size.width()) * size.height() * bytesPerPixel, 255);
    m_Drift = QPoint();
    DrawArea(QRect(QPoint(), size), m_Drift, m_Holes.constData(), m_Holes.size());
    return true;
}

const uchar* SimHoleScene::Picture(quint32 frameNumber)
{
    // Two slow, unrelated periods, so the holes wander rather than circle.
    const qreal dx = m_DriftAmplitude * std::sin(frameNumber * 2 * M_PI / 600);
    const qreal dy = m_DriftAmplitude * std::sin(frameNumber * 2 * M_PI / 870 + 1);
    const QPoint drift(int(std::lround(dx * DriftSteps)), int(std::lround(dy * DriftSteps)));
    if (drift != m_Drift) {
        // Holes lie far apart, so each square holds its own hole only.
        for (const Hole& hole : m_Holes)
            DrawArea(HoleArea(hole, m_Drift).united(HoleArea(hole, drift)), drift, &hole, 1);
        m_Drift = drift;
    }
    return m_Picture.data();
}

int SimHoleScene::PlateLevel(int x, int y) const
{
    return PlateLevelBase + m_RowLight[y] + m_ColumnLight[x] + m_Grain[(y % GrainSide) * GrainSide + x % GrainSide];
}

QRect SimHoleScene::HoleArea(const Hole& hole, QPoint drift) const
{
    const qreal x = hole.X + qreal(drift.x()) / DriftSteps;
    const qreal y = hole.Y + qreal(drift.y()) / DriftSteps;
    const int reach = int(std::ceil(hole.Radius)) + 2;
    return QRect(QPoint(int(x) - reach, int(y) - reach), QPoint(int(x) + reach, int(y) + reach))
        .intersected(QRect(QPoint(), m_Size));
}

void SimHoleScene::DrawArea(const QRect& area, QPoint drift, const Hole* holes, int count)
{
    // In float, rounded by adding a half (every level is positive): this
    // runs for a few hundred thousand pixels whenever the holes move.
    const auto rounded = [](float level) { return int(level + 0.5f); };
    const float shiftX = float(drift.x()) / DriftSteps;
    const float shiftY = float(drift.y()) / DriftSteps;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        uchar* pixel = m_Picture.data() + (size_t(y) * m_Size.width() + area.left()) * m_BytesPerPixel;
        for (int x = area.left(); x <= area.right(); ++x, pixel += m_BytesPerPixel) {
            int level = PlateLevel(x, y);
            int red = level + WarmRed;
            int blue = level + WarmBlue;
            for (const Hole* hole = holes; hole != holes + count; ++hole) {
                const float radius = float(hole->Radius);
                const float cx = float(x) + 0.5f - float(hole->X) - shiftX;
                const float cy = float(y) + 0.5f - float(hole->Y) - shiftY;
                if (std::abs(cx) > radius + 1 || std::abs(cy) > radius + 1)
                    continue;
                const float distance = std::sqrt(cx * cx + cy * cy);
                // One pixel of anti-aliased edge; inside, darkness that
                // lightens a little towards the wall.
                const float cover = std::clamp(radius + 0.5f - distance, 0.0f, 1.0f);
                if (cover <= 0)
                    continue;
                const float depth = distance / radius;
                const float dark = HoleLevel + 16 * depth * depth * depth * depth;
                level = rounded(float(level) + (dark - float(level)) * cover);
                red = rounded(float(red) + (dark - float(red)) * cover);
                blue = rounded(float(blue) + (dark - float(blue)) * cover);
                break;
            }
            pixel[0] = Clamp(blue);
            pixel[1] = Clamp(level);
            pixel[2] = Clamp(red);
        }
    }
}
