#include "ResidentMemory.h"

#include <QFile>

#include <chrono>

ResidentMemory::~ResidentMemory()
{
    m_Stopping = true;
    if (m_Sampler.joinable())
        m_Sampler.join();
}

long ResidentMemory::CurrentKb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

void ResidentMemory::Start()
{
    m_BaselineKb = CurrentKb();
    m_PeakKb = m_BaselineKb.load();
    m_Sampler = std::thread([this] {
        while (!m_Stopping) {
            const long now = CurrentKb();
            if (now > m_PeakKb)
                m_PeakKb = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
}

long ResidentMemory::BaselineKb() const
{
    return m_BaselineKb;
}

long ResidentMemory::PeakKb() const
{
    return m_PeakKb;
}
