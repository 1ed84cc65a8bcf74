#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// One control as the device describes it: its range, step and default, and
// for a menu control the entries it offers.
struct V4l2Control
{
    quint32 Id = 0;
    QString Name;
    bool IsMenu = false;
    bool IsBoolean = false;
    qint32 Minimum = 0;
    qint32 Maximum = 0;
    qint32 Step = 1;
    qint32 Default = 0;
    QList<QPair<qint32, QString>> MenuEntries;

    // The nearest value the control takes: within the range, on the step
    // grid from the minimum, and for a menu one of its entries.
    qint32 Nearest(qint64 value) const;
    bool Accepts(qint64 value) const;
};

// The controls of one video device node, reached through the V4L2 control
// ioctls. The node is opened non-blocking, so a busy or hung driver makes a
// call fail instead of stalling the caller. Used on the user-interface
// thread by the camera controls panel, which owns it; one per camera in use.
class V4l2Controls
{
public:
    explicit V4l2Controls(const QString& deviceNode);
    ~V4l2Controls();
    V4l2Controls(const V4l2Controls&) = delete;
    V4l2Controls& operator=(const V4l2Controls&) = delete;

    bool IsOpen() const;
    // Empty when the device does not have the control or has it disabled.
    std::optional<V4l2Control> Query(quint32 id) const;
    std::optional<qint32> Get(quint32 id) const;
    // On failure, error says why in words.
    bool Set(quint32 id, qint32 value, QString* error);

private:
    int Ioctl(unsigned long request, void* argument) const;

    int m_Fd = -1;
};
