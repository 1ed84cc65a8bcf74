// A block leaked by our own code from a slot that Qt's event loop calls, so
// that Qt's frames (and, offscreen, the platform plugin's event dispatcher)
// sit right under ours. LeakSanitizer must report it: the
// suppressions for Qt's own leaks must not hide ours.
#include <QGuiApplication>
#include <QTimer>

namespace
{
void* volatile g_Block = nullptr;
} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    QTimer::singleShot(0, &application, [] {
        g_Block = new char[4711];
        g_Block = nullptr;
        QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}
