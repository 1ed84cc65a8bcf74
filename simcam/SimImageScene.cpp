#include "SimImageScene.h"

#include <QImage>

#include <algorithm>

SimImageScene::SimImageScene(const QString& path)
    : m_Path(path)
{
}

bool SimImageScene::Prepare(QSize size, int bytesPerPixel, QString* error)
{
    const QImage file(m_Path);
    if (file.isNull()) {
        *error = QStringLiteral("cannot read the picture %1").arg(m_Path);
        return false;
    }
    const QImage scaled = file.scaled(size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QImage image = scaled
                             .copy((scaled.width() - size.width()) / 2, (scaled.height() - size.height()) / 2,
                                   size.width(), size.height())
                             .convertToFormat(QImage::Format_RGB32);
    m_Picture.assign(size_t(size.width()) * size.height() * bytesPerPixel, 255);
    uchar* out = m_Picture.data();
    for (int y = 0; y < size.height(); ++y) {
        // Format_RGB32 is B,G,R,X in memory, as our frames are.
        const uchar* in = image.constScanLine(y);
        for (int x = 0; x < size.width(); ++x, in += 4, out += bytesPerPixel) {
            for (int channel = 0; channel < 3; ++channel)
                out[channel] = uchar(std::clamp(int(in[channel]), Floor, Ceiling));
        }
    }
    return true;
}

const uchar* SimImageScene::Picture(quint32)
{
    return m_Picture.data();
}
