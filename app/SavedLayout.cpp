#include "SavedLayout.h"

#include <QDataStream>
#include <QMainWindow>
#include <QRect>
#include <QSize>
#include <QScreen>
#include <QString>

#include <bitset>

namespace
{
constexpr quint32 kGeometryMagic = 0x1D9D0CB;

// Edges far enough apart overflow the width and height Qt works out.
bool IsWidgetSized(const QRect& rect)
{
    const auto inRange = [](int edge) { return edge >= -QWIDGETSIZE_MAX && edge <= QWIDGETSIZE_MAX; };
    return inRange(rect.left()) && inRange(rect.top()) && inRange(rect.right()) && inRange(rect.bottom());
}

// The markers of Qt 5's dock and tool bar layout.
constexpr int kVersionMarker = 0xff;
constexpr uchar kToolBarMarker = 0xfe;
constexpr uchar kToolBarMarkerEx = 0xfc;
constexpr uchar kDockMarker = 0xfd;
constexpr uchar kFloatingTabsMarker = 0xf9;
constexpr uchar kTabMarker = 0xfa;
constexpr uchar kSequenceMarker = 0xfc;
constexpr uchar kWidgetMarker = 0xfb;
constexpr int kAreaCount = 4;
// Qt nests a split only where the user dropped a panel beside another;
// real layouts stay a few levels deep.
constexpr int kDeepestNesting = 32;

class WindowStateReader
{
public:
    explicit WindowStateReader(const QByteArray& state) : m_Stream(state) {}

    bool Read(int version)
    {
        int marker = 0;
        int stored = 0;
        m_Stream >> marker >> stored;
        if (!Ok() || marker != kVersionMarker || stored != version)
            return false;
        while (!m_Stream.atEnd()) {
            uchar section = 0;
            m_Stream >> section;
            if (!ReadSection(section))
                return false;
        }
        return Ok();
    }

private:
    bool Ok() const { return m_Stream.status() == QDataStream::Ok; }

    bool ReadSection(uchar section)
    {
        switch (section) {
        case kDockMarker:
            return ReadDockAreas();
        case kFloatingTabsMarker: {
            QRect geometry;
            m_Stream >> geometry;
            return Ok() && ReadDockArea(0);
        }
        case kToolBarMarker:
        case kToolBarMarkerEx:
            return ReadToolBars(section == kToolBarMarkerEx ? 4 : 3);
        default:
            return false;
        }
    }

    bool ReadDockAreas()
    {
        int count = 0;
        m_Stream >> count;
        if (!Ok() || count < 0 || count > kAreaCount)
            return false;
        std::bitset<kAreaCount> seen;
        for (int i = 0; i < count; ++i) {
            int area = -1;
            QSize size;
            m_Stream >> area >> size;
            if (!Ok() || !IsArea(area) || seen.test(size_t(area)))
                return false;
            seen.set(size_t(area));
            if (!ReadDockArea(0))
                return false;
        }
        QSize central;
        m_Stream >> central;
        for (int corner = 0; corner < 4; ++corner) {
            int side = 0;
            m_Stream >> side;
            if (side != Qt::LeftDockWidgetArea && side != Qt::RightDockWidgetArea && side != Qt::TopDockWidgetArea
                && side != Qt::BottomDockWidgetArea)
                return false;
        }
        return Ok();
    }

    bool ReadDockArea(int depth)
    {
        if (depth > kDeepestNesting)
            return false;
        uchar kind = 0;
        m_Stream >> kind;
        if (kind == kTabMarker) {
            int currentTab = 0;
            m_Stream >> currentTab;
        } else if (kind != kSequenceMarker) {
            return false;
        }
        uchar orientation = 0;
        int count = 0;
        m_Stream >> orientation >> count;
        if (!Ok() || (orientation != Qt::Horizontal && orientation != Qt::Vertical) || count < 0)
            return false;
        for (int i = 0; i < count; ++i) {
            uchar item = 0;
            m_Stream >> item;
            if (item == kWidgetMarker) {
                QString name;
                uchar flags = 0;
                m_Stream >> name >> flags;
            } else if (item != kSequenceMarker) {
                return false;
            }
            // A panel's position, size and minimum size, or its floating
            // geometry; a split's own place before what it holds.
            SkipNumbers(4);
            if (!Ok() || (item == kSequenceMarker && !ReadDockArea(depth + 1)))
                return false;
        }
        return Ok();
    }

    // A tool bar's name and shown flag, then its position, size and packed
    // geometry: three numbers in the old format, four in the newer one.
    bool ReadToolBars(int numbersPerBar)
    {
        int lines = 0;
        m_Stream >> lines;
        if (!Ok() || lines < 0)
            return false;
        for (int line = 0; line < lines; ++line) {
            int area = -1;
            int count = 0;
            m_Stream >> area >> count;
            if (!Ok() || !IsArea(area) || count < 0)
                return false;
            for (int i = 0; i < count; ++i) {
                QString name;
                uchar shown = 0;
                m_Stream >> name >> shown;
                SkipNumbers(numbersPerBar);
                if (!Ok())
                    return false;
            }
        }
        return true;
    }

    void SkipNumbers(int count)
    {
        for (int i = 0; i < count; ++i) {
            int number = 0;
            m_Stream >> number;
        }
    }

    static bool IsArea(int area) { return area >= 0 && area < kAreaCount; }

    QDataStream m_Stream;
};
} // namespace

void SavedLayout::Restore(QMainWindow& window, const QByteArray& geometry, const QByteArray& state, int version)
{
    const bool placed = IsRestorableGeometry(geometry) && window.restoreGeometry(geometry);
    if (IsRestorableState(state, version))
        window.restoreState(state, version);
    if (placed)
        KeepOnTheScreens(window);
}

// A window may reach past the screens, when its panels need the room or the
// screens have shrunk since, but not by more than their size again: the
// picture is drawn at the window's size.
void SavedLayout::KeepOnTheScreens(QMainWindow& window)
{
    const QRect desktop = window.screen()->availableVirtualGeometry();
    const QSize largest = (desktop.size() * 2).expandedTo(window.minimumSizeHint());
    QRect kept = window.geometry();
    kept.setSize(kept.size().boundedTo(largest));
    if (!kept.intersects(desktop))
        kept.moveTopLeft(desktop.topLeft());
    if (kept != window.geometry())
        window.setGeometry(kept);
}

bool SavedLayout::IsRestorableGeometry(const QByteArray& geometry)
{
    QDataStream stream(geometry);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0;
    quint16 minor = 0;
    stream >> magic >> major >> minor;
    if (magic != kGeometryMagic || major > 3)
        return false;
    QRect frame;
    QRect normal;
    qint32 screen = 0;
    quint8 maximized = 0;
    quint8 fullScreen = 0;
    qint32 screenWidth = 0;
    QRect restored(0, 0, 1, 1);
    stream >> frame >> normal >> screen >> maximized >> fullScreen;
    if (major > 1)
        stream >> screenWidth;
    if (major > 2)
        stream >> restored;
    // Qt puts a frame or normal rectangle that is no proper one back to the
    // window's size hint, but not the restored one.
    return stream.status() == QDataStream::Ok && restored.isValid() && IsWidgetSized(frame)
           && IsWidgetSized(normal) && IsWidgetSized(restored);
}

bool SavedLayout::IsRestorableState(const QByteArray& state, int version)
{
    return WindowStateReader(state).Read(version);
}
