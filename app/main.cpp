#include "CameraSettings.h"
#include "FramePoolAllocator.h"
#include "Lentavio.h"
#include "StoreLock.h"
#include "StoreScrub.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // Before any frame: every frame-sized buffer on the way, OpenCV's own
    // temporaries included, is then recycled instead of faulted in anew.
    FramePoolAllocator::Install();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Lentavio");
    QApplication::setApplicationVersion(LENTAVIO_VERSION);
    QApplication::setOrganizationName("Orvelta");
    QApplication::setOrganizationDomain("orvelta.org");

    StoreLock::RemoveUnowned();
    StoreScrub::RemoveUnsafeValues();
    CameraSettings cameraSettings;
    Lentavio window;
    window.show();
    return application.exec();
}
