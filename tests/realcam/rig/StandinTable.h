#pragma once

#include <ctime>
#include <map>
#include <string>
#include <vector>

// The stand-in cameras a test describes in the file named by
// $LENTAVIO_STANDINS, one per line of ';'-separated key=value fields (see
// the rig's notes). Read by the preloaded device library and by the
// GStreamer source alike, each in its own copy; the table re-reads the file
// when its modification time or size changes, so a test can plug and unplug
// stand-ins while the program runs. Plain data, no locking: callers lock.
class StandinTable
{
public:
    struct Control
    {
        int Min = 0;
        int Max = 0;
        int Step = 1;
        int Default = 0;
    };

    struct Size
    {
        int Width = 0;
        int Height = 0;
    };

    struct Standin
    {
        std::string Device;
        std::string Card = "Stand-in camera";
        std::string Driver = "standin";
        std::vector<Size> Sizes;
        // A range when RateRange is set (Rates holds min and max), else the
        // only rates offered.
        bool RateRange = true;
        std::vector<int> Rates;
        std::vector<std::string> Formats;
        std::string Picture = "disc";
        double DiscX = 0.5;
        double DiscY = 0.5;
        double DiscR = 0.2;
        bool Gone = false;
        bool StartFail = false;
        int FailAfter = -1;
        bool Busy = false;
        bool Vanish = false;
        bool Nonsense = false;
        bool WrongSize = false;
        // A rate offered but refused when asked for; -1: none.
        int Refuse = -1;
        std::map<std::string, Control> Controls;
        std::vector<std::string> Rejected;
    };

    // Re-reads the file if it changed since the last call; true when the
    // table is new.
    bool Refresh();
    const std::vector<Standin>& Standins() const;
    // The stand-in for a device path, or null.
    const Standin* Find(const std::string& device) const;

    static Standin Parse(const std::string& line);

private:
    std::vector<Standin> m_Standins;
    timespec m_Stamp = {0, 0};
    long long m_Bytes = -1;
};
