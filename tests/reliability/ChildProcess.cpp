#include "ChildProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace
{
const char* const kRoleVariable = "LENTAVIO_CHILD_ROLE";

// setpriv's arguments for running what follows them as user and group.
QStringList AsUser(const QString& user, const QString& group)
{
    return QStringList{"--reuid=" + user, "--regid=" + group, "--clear-groups", "--"};
}
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

QString ChildProcess::RunAsUser(const QString& user, const QString& group, const QString& folder)
{
    const auto copy = [](const QString& from, const QString& to) {
        QDir().mkpath(QFileInfo(to).path());
        return QFile::copy(from, to)
            && QFile::setPermissions(to, QFile::permissions(from) | QFile::ReadOther | QFile::ExeOther);
    };
    m_Program = folder + '/' + QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (!copy(QCoreApplication::applicationFilePath(), m_Program))
        return "cannot copy the test program to " + m_Program;

    QProcessEnvironment environment = m_Process.processEnvironment();
    QStringList pluginPath;
    for (const QString& plugins : environment.value("QT_PLUGIN_PATH").split(':', Qt::SkipEmptyParts)) {
        const QString staged = QString("%1/plugins%2").arg(folder).arg(pluginPath.size());
        QDirIterator files(plugins, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            if (!copy(file, staged + file.mid(plugins.size())))
                return "cannot copy the plugin " + file;
        }
        pluginPath << staged;
    }
    environment.insert("QT_PLUGIN_PATH", pluginPath.join(':'));
    static const QRegularExpression suppressions("(?:^|:)suppressions=([^:]+)");
    for (const char* name : {"LSAN_OPTIONS", "TSAN_OPTIONS"}) {
        QString options = environment.value(name);
        const QRegularExpressionMatch match = suppressions.match(options);
        if (!match.hasMatch())
            continue;
        const QString staged = QString("%1/%2.supp").arg(folder, name);
        if (!copy(match.captured(1), staged))
            return "cannot copy the suppressions " + match.captured(1);
        environment.insert(name, options.replace(match.capturedStart(1), match.capturedLength(1), staged));
    }
    environment.insert("HOME", folder);
    m_Process.setProcessEnvironment(environment);
    m_Process.setWorkingDirectory(folder);
    m_Launcher = QStringList("setpriv") + AsUser(user, group);
    return {};
}

bool ChildProcess::CanRunAsUser(const QString& user, const QString& group)
{
    return QProcess::execute("setpriv", AsUser(user, group) << "true") == 0;
}

void ChildProcess::Start()
{
    QStringList arguments = m_Launcher;
    arguments << (m_Program.isEmpty() ? QCoreApplication::applicationFilePath() : m_Program) << m_Args;
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
