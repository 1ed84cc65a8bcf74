#pragma once

#include "StandinTable.h"

#include <dirent.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// The stand-in V4L2 devices of this process: which of them are present, the
// descriptors opened on them, their control values, and the listings of
// /dev in progress. The preloaded interposers (StandinPreload.cpp) ask it
// first and fall through to the C library for everything else. Any thread;
// one lock guards it all. Owned by the preloaded library, lives as long as
// the process.
class StandinDevices
{
public:
    static StandinDevices& Instance();

    static bool IsStandinPath(const char* path);
    static bool IsDevDirectory(const char* path);

    // Whether a device path is a stand-in that is present now.
    bool IsPresent(const std::string& device);
    // A descriptor for a present stand-in (errno set and -1 otherwise);
    // known is false when the path is not a stand-in at all.
    int Open(const std::string& device, bool& known);
    // True when fd was a stand-in's descriptor (already closed then).
    bool Close(int fd);
    bool IsStandinDescriptor(int fd);
    // Answers one ioctl on a stand-in's descriptor: 0, or -1 with errno.
    int Ioctl(int fd, unsigned long request, void* argument);

    void TrackListing(DIR* directory);
    bool Tracks(DIR* directory);
    // The next stand-in entry of a tracked listing once the real ones are
    // done, or null; untracked listings get null at once.
    struct dirent64* NextEntry(DIR* directory);
    void ForgetListing(DIR* directory);

private:
    struct Listing
    {
        std::vector<std::string> Names;
        size_t Next = 0;
        struct dirent64 Entry;
    };

    // Callers hold m_Lock.
    const StandinTable::Standin* PresentStandin(const std::string& device);
    int Query(const StandinTable::Standin& standin, unsigned long request, void* argument);
    int QueryControl(const StandinTable::Standin& standin, unsigned id, bool next, struct v4l2_queryctrl* answer);
    int QueryExtControl(const StandinTable::Standin& standin, struct v4l2_query_ext_ctrl* answer);
    int GetControl(const StandinTable::Standin& standin, unsigned id, int& value);
    int SetControl(const StandinTable::Standin& standin, unsigned id, int value, bool tryOnly);
    int ExtControls(const StandinTable::Standin& standin, unsigned long request, struct v4l2_ext_controls* controls);

    std::mutex m_Lock;
    StandinTable m_Table;
    std::set<std::string> m_Vanished;
    std::map<int, std::string> m_Descriptors;
    std::map<std::string, std::map<std::string, int>> m_Values;
    std::map<DIR*, Listing> m_Listings;
};
