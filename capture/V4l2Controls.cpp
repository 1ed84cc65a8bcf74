#include "V4l2Controls.h"

#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// More than any real menu has; a device answering nonsense ranges cannot
// keep the caller asking for entries.
constexpr qint32 MaxMenuEntries = 64;

QString FixedText(const __u8* text, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text), int(strnlen(reinterpret_cast<const char*>(text), size)));
}

}  // namespace

qint32 V4l2Control::Nearest(qint64 value) const
{
    if (IsMenu && !MenuEntries.isEmpty()) {
        qint32 nearest = MenuEntries.first().first;
        for (const auto& entry : MenuEntries) {
            if (qAbs(qint64(entry.first) - value) < qAbs(qint64(nearest) - value))
                nearest = entry.first;
        }
        return nearest;
    }
    const qint64 clamped = qBound(qint64(Minimum), value, qint64(Maximum));
    const qint64 step = Step > 0 ? Step : 1;
    const qint64 steps = (clamped - Minimum + step / 2) / step;
    // Rounding up may step past a maximum that is off the grid.
    qint64 snapped = Minimum + steps * step;
    if (snapped > Maximum)
        snapped -= step;
    return qint32(snapped);
}

bool V4l2Control::Accepts(qint64 value) const
{
    return Nearest(value) == value;
}

V4l2Controls::V4l2Controls(const QString& deviceNode)
{
    if (deviceNode.startsWith(QLatin1Char('/')))
        m_Fd = ::open(deviceNode.toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

V4l2Controls::~V4l2Controls()
{
    if (m_Fd >= 0)
        ::close(m_Fd);
}

bool V4l2Controls::IsOpen() const
{
    return m_Fd >= 0;
}

int V4l2Controls::Ioctl(unsigned long request, void* argument) const
{
    if (m_Fd < 0) {
        errno = EBADF;
        return -1;
    }
    int result;
    do
        result = ::ioctl(m_Fd, request, argument);
    while (result < 0 && errno == EINTR);
    return result;
}

std::optional<V4l2Control> V4l2Controls::Query(quint32 id) const
{
    v4l2_queryctrl query{};
    query.id = id;
    if (Ioctl(VIDIOC_QUERYCTRL, &query) < 0 || (query.flags & V4L2_CTRL_FLAG_DISABLED) != 0
        || query.minimum > query.maximum)
        return std::nullopt;
    V4l2Control control;
    control.Id = id;
    control.Name = FixedText(query.name, sizeof(query.name));
    control.IsMenu = query.type == V4L2_CTRL_TYPE_MENU || query.type == V4L2_CTRL_TYPE_INTEGER_MENU;
    control.IsBoolean = query.type == V4L2_CTRL_TYPE_BOOLEAN;
    control.Minimum = query.minimum;
    control.Maximum = query.maximum;
    control.Step = query.step > 0 ? query.step : 1;
    control.Default = query.default_value;
    if (control.IsMenu) {
        const qint64 last = qMin(qint64(query.maximum), qint64(query.minimum) + MaxMenuEntries - 1);
        for (qint64 index = query.minimum; index <= last; ++index) {
            v4l2_querymenu entry{};
            entry.id = id;
            entry.index = quint32(index);
            // A menu may leave gaps: those entries fail and are not offered.
            if (Ioctl(VIDIOC_QUERYMENU, &entry) < 0)
                continue;
            const QString text = query.type == V4L2_CTRL_TYPE_MENU ? FixedText(entry.name, sizeof(entry.name))
                                                                    : QString::number(qint64(entry.value));
            control.MenuEntries.append({qint32(index), text});
        }
        if (control.MenuEntries.isEmpty())
            return std::nullopt;
    }
    return control;
}

std::optional<qint32> V4l2Controls::Get(quint32 id) const
{
    v4l2_control control{};
    control.id = id;
    if (Ioctl(VIDIOC_G_CTRL, &control) < 0)
        return std::nullopt;
    return control.value;
}

bool V4l2Controls::Set(quint32 id, qint32 value, QString* error)
{
    v4l2_control control{};
    control.id = id;
    control.value = value;
    if (Ioctl(VIDIOC_S_CTRL, &control) == 0)
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}
