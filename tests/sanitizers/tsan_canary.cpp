// Two threads write one plain int without synchronisation: the main thread,
// and a slot that Qt's event loop runs on a worker QThread, the way the
// capture worker runs. Built and run with the same options and suppressions
// as every test, ThreadSanitizer must report it; if it does not, the thread
// job is blind.
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace
{
int g_Counter = 0;

void Bump()
{
    for (int i = 0; i < 100000; ++i)
        ++g_Counter;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QThread worker;
    QObject onWorker;
    onWorker.moveToThread(&worker);
    worker.start();
    QTimer::singleShot(0, &onWorker, Bump);
    // No synchronisation on purpose: by the time the main thread writes, the
    // worker has written, and nothing orders the two.
    QThread::msleep(300);
    Bump();
    worker.quit();
    worker.wait();
    std::printf("counter %d\n", g_Counter);
    return 0;
}
