#pragma once

#include <QAbstractVideoSurface>
#include <QElapsedTimer>
#include <QThread>
#include <QVector>

#include <mutex>
#include <optional>

// A viewfinder surface for the camera tests: takes the pixel formats it is
// given, and records every frame presented to it, from whichever thread.
// The records sit behind a std::mutex rather than a QMutex: ThreadSanitizer
// sees the lock of the former, while Qt's own is invisible to it.
class SimProbeSurface : public QAbstractVideoSurface
{
    Q_OBJECT

public:
    struct Record
    {
        QVideoFrame::PixelFormat Format = QVideoFrame::Format_Invalid;
        QSize Size;
        bool Mapped = false;
        int BytesPerLine = 0;
        std::optional<quint32> Stamp;
        Qt::HANDLE Thread = nullptr;
        qint64 ArrivalMs = 0;
    };

    explicit SimProbeSurface(const QList<QVideoFrame::PixelFormat>& formats, QObject* parent = nullptr);

    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType type) const override;
    bool present(const QVideoFrame& frame) override;

    int Count() const;
    QVector<Record> Records() const;
    // B,G,R of a pixel of the last mapped frame.
    QVector<int> PixelAt(int x, int y) const;

private:
    QList<QVideoFrame::PixelFormat> m_Formats;
    QElapsedTimer m_Clock;
    mutable std::mutex m_Mutex;
    QVector<Record> m_Records;
    // The last frame that mapped, rows packed (no padding), B,G,R[,X].
    QByteArray m_LastPixels;
    QSize m_LastSize;
    int m_LastBytesPerPixel = 4;
};
