#pragma once

#include <QString>

// How much a reliability group tries in this run and where its figures go.
// The fast tier (what developers run) tries few rounds; the slow tier,
// selected by LENTAVIO_TEST_TIER=slow and run by CI, tries the full counts.
class ReliabilityRun
{
public:
    static bool IsSlowTier();
    // "address", "thread" or empty: the sanitizer this build carries.
    static QString Sanitizer();
    static int Rounds(int fast, int slow, int slowUnderSanitizer);
    // Whether round number round (from 0) is this run's: LENTAVIO_TEST_PART
    // "k/n" gives every n-th round from the k-th; unset, every round.
    static bool IsInPart(int round);
    // Timing bounds hold for the plain build; a sanitizer slows our code
    // several times over, so there they are printed but not enforced.
    static bool EnforcesTiming();
    // Resident memory is the program's own in the plain build only: a
    // sanitizer adds shadow memory and AddressSanitizer holds freed blocks
    // back in quarantine, so there it is printed but not enforced.
    static bool EnforcesMemory();
    // "bound N", marked when this build only prints it.
    static QString Bound(qint64 bound, bool enforced);
    // Prints the group's one line of figures, which CI collects.
    static void Report(const QString& group, const QString& figures);
};
