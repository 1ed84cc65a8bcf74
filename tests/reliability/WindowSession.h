#pragma once

#include <QStringList>

#include <memory>

class CameraSettings;
class Lentavio;

// One start of the program the way main() does it, inside a child process:
// the store's unowned lock cleared, the settings object, then the main window
// shown offscreen. Child side, user-interface thread.
class WindowSession
{
public:
    WindowSession();
    ~WindowSession();

    Lentavio& Window();
    // True once the view shows a picture from the camera.
    bool WaitForFrame(int timeoutMs);
    QString StatusMessage() const;
    void ClearStatusMessage();
    // One "name<TAB>value" line per key of StoreKeys, as the program uses it
    // now; a slider's line adds its minimum and maximum.
    QStringList ValuesInUse() const;
    // Moves the controls of a few settings the way a user would, so that
    // each change is written at once; step varies the values. Returns the
    // "name<TAB>value" lines each of them must now read as in the store.
    QStringList ChangeSettings(int step);

private:
    std::unique_ptr<CameraSettings> m_Settings;
    std::unique_ptr<Lentavio> m_Window;
};
