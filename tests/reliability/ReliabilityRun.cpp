#include "ReliabilityRun.h"

#include <QStringList>

#include <cstdio>

bool ReliabilityRun::IsSlowTier()
{
    return qEnvironmentVariable("LENTAVIO_TEST_TIER") == "slow";
}

QString ReliabilityRun::Sanitizer()
{
    return QStringLiteral(LENTAVIO_SANITIZER);
}

int ReliabilityRun::Rounds(int fast, int slow, int slowUnderSanitizer)
{
    if (!IsSlowTier())
        return fast;
    return Sanitizer().isEmpty() ? slow : slowUnderSanitizer;
}

bool ReliabilityRun::IsInPart(int round)
{
    const QStringList part = qEnvironmentVariable("LENTAVIO_TEST_PART").split('/');
    const int index = part.value(0).toInt();
    const int count = part.value(1).toInt();
    if (part.size() != 2 || count < 1 || index < 1 || index > count)
        return true;
    return round % count == index - 1;
}

bool ReliabilityRun::EnforcesTiming()
{
    return Sanitizer().isEmpty();
}

bool ReliabilityRun::EnforcesMemory()
{
    return Sanitizer().isEmpty();
}

QString ReliabilityRun::Bound(qint64 bound, bool enforced)
{
    return enforced ? QString("bound %1").arg(bound) : QString("bound %1, not enforced in this build").arg(bound);
}

void ReliabilityRun::Report(const QString& group, const QString& figures)
{
    const QString build = Sanitizer().isEmpty() ? QString() : QString(" [%1]").arg(Sanitizer());
    const QString part = qEnvironmentVariable("LENTAVIO_TEST_PART");
    std::printf("RELIABILITY %s%s%s%s: %s\n", qPrintable(group), IsSlowTier() ? " (slow tier)" : "",
                part.isEmpty() ? "" : qPrintable(" part " + part), qPrintable(build), qPrintable(figures));
    std::fflush(stdout);
}
