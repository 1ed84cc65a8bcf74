#pragma once

#include "SimScene.h"

#include <vector>

// A still picture from a PNG or JPEG file, scaled to fill the frame and
// cropped to it, so a user can try the hole detector on a photo of a part.
class SimImageScene : public SimScene
{
public:
    explicit SimImageScene(const QString& path);

    bool Prepare(QSize size, int bytesPerPixel, QString* error) override;
    const uchar* Picture(quint32 frameNumber) override;

private:
    QString m_Path;
    std::vector<uchar> m_Picture;
};
