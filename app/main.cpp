#include "CameraSettings.h"
#include "Lentavio.h"
#include "StoreLock.h"
#include "StoreScrub.h"

#include <QApplication>

int main(int argc, char** argv)
{
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
