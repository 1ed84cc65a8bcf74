#include "SimDeviceSelectorControl.h"

#include "SimCameraSession.h"

SimDeviceSelectorControl::SimDeviceSelectorControl(SimCameraSession* session, QObject* parent)
    : QVideoDeviceSelectorControl(parent)
    , m_Session(session)
{
}

int SimDeviceSelectorControl::deviceCount() const
{
    return m_Session->Cameras().size();
}

QString SimDeviceSelectorControl::deviceName(int index) const
{
    if (index < 0 || index >= deviceCount())
        return QString();
    return QString::fromUtf8(m_Session->Cameras().at(index).DeviceName);
}

QString SimDeviceSelectorControl::deviceDescription(int index) const
{
    if (index < 0 || index >= deviceCount())
        return QString();
    return m_Session->Cameras().at(index).Description;
}

int SimDeviceSelectorControl::defaultDevice() const
{
    return 0;
}

int SimDeviceSelectorControl::selectedDevice() const
{
    return m_Session->SelectedCamera();
}

void SimDeviceSelectorControl::setSelectedDevice(int index)
{
    const int before = m_Session->SelectedCamera();
    m_Session->SelectCamera(index);
    if (m_Session->SelectedCamera() == before)
        return;
    emit selectedDeviceChanged(index);
    emit selectedDeviceChanged(deviceName(index));
}
