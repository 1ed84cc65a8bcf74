#include "StatusNotice.h"

namespace
{
constexpr int kShownMs = 8000;
}

StatusNotice::StatusNotice(QWidget* parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("m_StatusNotice"));
    m_ClearTimer.setSingleShot(true);
    connect(&m_ClearTimer, &QTimer::timeout, this, &QLabel::clear);
}

void StatusNotice::Show(const QString& text)
{
    setText(text);
    m_ClearTimer.start(kShownMs);
}
