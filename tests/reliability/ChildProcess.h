#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QStringList>

// This test executable run again as a child process in a named role, so that
// a crash, a hang or a sanitizer report in the program under test is counted
// by the parent instead of ending the run. The child inherits the test's
// environment (offscreen platform, plugin path, sanitizer options) and gets
// its own settings store folder. Parent side, user-interface thread.
class ChildProcess
{
public:
    ChildProcess(const QString& role, const QString& configHome, const QStringList& args = {});
    ~ChildProcess();

    void SetVariable(const QString& name, const QString& value);
    // Root only: runs the child as user and group through setpriv, from
    // copies of this executable and of the plugins on QT_PLUGIN_PATH (and of
    // the sanitizer suppression files) put in folder, with folder as its
    // home and working directory. The build tree may sit where that user
    // cannot go, e.g. in a private home; folder and the folders above it
    // must let the user in. Returns what went wrong, or an empty string.
    QString RunAsUser(const QString& user, const QString& group, const QString& folder);
    // Whether this process can start another as user and group.
    static bool CanRunAsUser(const QString& user, const QString& group);
    void Start();
    // The first output line starting with prefix, waiting at most timeoutMs;
    // empty when the child ended or the time ran out first.
    QByteArray WaitForLine(const QByteArray& prefix, int timeoutMs);
    bool WaitForExit(int timeoutMs);
    void Kill();

    // Ended on a signal not sent by Kill(), or with a non-zero status.
    bool Failed() const;
    bool HasSanitizerReport() const;
    int ExitCode() const;
    qint64 ElapsedMs() const;
    QByteArray Output() const;
    QByteArray Errors() const;
    // The output lines starting with prefix, the prefix cut off.
    QList<QByteArray> Lines(const QByteArray& prefix) const;
    // What went wrong, for a failure message.
    QString Describe() const;

    // Child side.
    static bool IsChild();
    static QString Role();

private:
    void Drain();

    QProcess m_Process;
    QString m_Program;
    QStringList m_Launcher;
    QStringList m_Args;
    QElapsedTimer m_Clock;
    QByteArray m_Out;
    QByteArray m_Err;
    int m_Scanned = 0;
    bool m_Killed = false;
};
