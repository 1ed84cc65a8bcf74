#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

class WindowSession;

// The program run through Qt's real camera back-end on the rig's stand-in
// cameras, inside a child process of tst_RealCamera. It starts the window
// as main() does, lists what it sees, plays one scenario and closes the
// window with frames still coming. Output lines, one fact each:
//   camera<TAB>device<TAB>description   per camera Qt lists
//   menu<TAB>text                       per entry of the Camera menu
//   message<TAB>text                    each status message but the timing line
//   fps<TAB>rate                        the median rate the timing line showed
//   plate<TAB>r<TAB>g<TAB>b             the picture's colour away from the disc
//   hole<TAB>cx<TAB>cy<TAB>r            the hole marker's box, in fractions of
//                                       the picture's width, height, height
//   switched|resumed<TAB>ms             frames again after a switch or a replug
//                                       (-1: never)
//   status<TAB>text                     the status bar at the end
// Scenarios: picture, switch, fault, replug, flood; any other name closes
// the window right after the first frame. The stand-ins file
// ($LENTAVIO_STANDINS) is rewritten here to unplug the first stand-in.
// User-interface thread of the child.
class RealCameraRole : public QObject
{
    Q_OBJECT

public:
    explicit RealCameraRole(const QString& scenario);
    int Run();

    // Replaces the stand-ins file in one step, so that no reader sees half.
    static bool WriteStandins(const QString& path, const QStringList& lines);

private:
    void SlotStatusMessage(const QString& message);
    bool WaitForTiming(int timeoutMs);
    bool WaitForMessage(int timeoutMs);
    void PrintPicture(WindowSession& session);
    void SetFirstPlugged(bool plugged);
    void Switch(WindowSession& session);
    void Replug();
    void Flood();

    QString m_Scenario;
    QStringList m_Standins;
    QList<double> m_Rates;
    int m_Messages = 0;
    QElapsedTimer m_Clock;
};
