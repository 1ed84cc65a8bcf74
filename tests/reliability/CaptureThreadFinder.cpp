#include "CaptureThreadFinder.h"

#include "CaptureThread.h"

#include <QCoreApplication>
#include <QEvent>

CaptureThreadFinder::CaptureThreadFinder()
{
    QCoreApplication::instance()->installEventFilter(this);
}

CaptureThreadFinder::~CaptureThreadFinder()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

CaptureThread* CaptureThreadFinder::Found() const
{
    return m_Found;
}

bool CaptureThreadFinder::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ThreadChange) {
        if (auto* pipeline = qobject_cast<CaptureThread*>(watched))
            m_Found = pipeline;
    }
    return false;
}
