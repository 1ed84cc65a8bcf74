#include "ChildProcess.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

namespace
{
const char* const kRoleVariable = "LENTAVIO_CHILD_ROLE";
} // namespace

ChildProcess::ChildProcess(const QString& role, const QString& configHome, const QStringList& args)
    : m_Args(args)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kRoleVariable, role);
    environment.insert("XDG_CONFIG_HOME", configHome);
    m_Process.setProcessEnvironment(environment);
}

ChildProcess::~ChildProcess()
{
    if (m_Process.state() != QProcess::NotRunning) {
        Kill();
        m_Process.waitForFinished(5000);
    }
}

void ChildProcess::SetVariable(const QString& name, const QString& value)
{
    QProcessEnvironment environment = m_Process.processEnvironment();
    environment.insert(name, value);
    m_Process.setProcessEnvironment(environment);
}

void ChildProcess::SetLauncher(const QStringList& launcher)
{
    m_Launcher = launcher;
}

void ChildProcess::Start()
{
    QStringList arguments = m_Launcher;
    arguments << QCoreApplication::applicationFilePath() << m_Args;
    m_Clock.start();
    m_Process.start(arguments.takeFirst(), arguments);
}

QByteArray ChildProcess::WaitForLine(const QByteArray& prefix, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        Drain();
        for (;;) {
            const int end = m_Out.indexOf('\n', m_Scanned);
            if (end < 0)
                break;
            const QByteArray line = m_Out.mid(m_Scanned, end - m_Scanned);
            m_Scanned = end + 1;
            if (line.startsWith(prefix))
                return line;
        }
        const int left = timeoutMs - int(waited.elapsed());
        if (left <= 0 || m_Process.state() == QProcess::NotRunning)
            return {};
        m_Process.waitForReadyRead(qMin(left, 100));
    }
}

bool ChildProcess::WaitForExit(int timeoutMs)
{
    const bool finished = m_Process.state() == QProcess::NotRunning || m_Process.waitForFinished(timeoutMs);
    Drain();
    return finished;
}

void ChildProcess::Kill()
{
    m_Killed = true;
    m_Process.kill();
}

bool ChildProcess::Failed() const
{
    if (m_Process.state() != QProcess::NotRunning)
        return true;
    if (m_Process.exitStatus() == QProcess::CrashExit)
        return !m_Killed;
    return m_Process.exitCode() != 0;
}

bool ChildProcess::HasSanitizerReport() const
{
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                             "WARNING: ThreadSanitizer", "ThreadSanitizer: reported"})
        if (m_Err.contains(mark))
            return true;
    return false;
}

int ChildProcess::ExitCode() const
{
    return m_Process.exitCode();
}

qint64 ChildProcess::ElapsedMs() const
{
    return m_Clock.elapsed();
}

QByteArray ChildProcess::Output() const
{
    return m_Out;
}

QByteArray ChildProcess::Errors() const
{
    return m_Err;
}

QList<QByteArray> ChildProcess::Lines(const QByteArray& prefix) const
{
    QList<QByteArray> lines;
    for (const QByteArray& line : m_Out.split('\n'))
        if (line.startsWith(prefix))
            lines << line.mid(prefix.size());
    return lines;
}

QString ChildProcess::Describe() const
{
    QString status;
    if (m_Process.state() != QProcess::NotRunning)
        status = "still running";
    else if (m_Process.exitStatus() == QProcess::CrashExit)
        status = m_Killed ? "killed" : "crashed";
    else
        status = QString("exit %1").arg(m_Process.exitCode());
    // The end of the error output is where a crash or a report says why.
    return QString("%1 after %2 ms; stderr ends: %3").arg(status).arg(m_Clock.elapsed()).arg(QString(m_Err.right(1500)));
}

bool ChildProcess::IsChild()
{
    return qEnvironmentVariableIsSet(kRoleVariable);
}

QString ChildProcess::Role()
{
    return qEnvironmentVariable(kRoleVariable);
}

void ChildProcess::Drain()
{
    m_Out += m_Process.readAllStandardOutput();
    m_Err += m_Process.readAllStandardError();
}
