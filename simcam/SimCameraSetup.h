#pragma once

#include <QByteArray>
#include <QCamera>
#include <QSize>
#include <QString>
#include <QVector>
#include <QVideoFrame>

// Everything one synthetic camera is: identity, picture, pacing and the
// faults it fakes. Plain values, copied freely between threads.
struct SimCameraSetup
{
    enum class DeliveryMode { Queued, Direct };

    struct RateRange
    {
        qreal Min = 0;
        qreal Max = 0;
    };

    QByteArray DeviceName;
    QString Description;
    QCamera::Position Position = QCamera::UnspecifiedPosition;
    int Orientation = 0;

    QSize Size{640, 480};
    // In order of preference; the first the surface takes wins.
    QVector<QVideoFrame::PixelFormat> Formats{QVideoFrame::Format_RGB32, QVideoFrame::Format_BGR24};
    // Extra bytes at the end of every row.
    int Padding = 0;
    QVector<RateRange> Rates{{5, 30}, {1, 15}};

    // Empty: the plate with holes; else a still picture from this file.
    QString ImagePath;
    // Sensor noise amplitude in levels, and the hole drift amplitude in pixels.
    int Noise = 3;
    qreal Drift = 0.5;

    DeliveryMode Delivery = DeliveryMode::Queued;

    bool StartFails = false;
    int LostAfter = 0;        // frames; 0: never
    // Taken out of the list after N frames (0: never), once per process,
    // and listed again ReplugAfterMs later (0: never).
    int UnplugAfter = 0;
    int ReplugAfterMs = 0;
    // A loose plug: from the first listing on, gone and back FlapCount
    // times in all, a change every FlapMs; a stream in progress ends when
    // it goes. Then it stays.
    int FlapCount = 0;
    int FlapMs = 20;
    // Held by another program: listed, but refuses to start.
    bool Busy = false;
    int UnmappableEvery = 0;  // every Nth frame; 0: none
    int BadFormatEvery = 0;
    int BadSizeEvery = 0;
    int SlowStartMs = 0;
};
