// The entry points the preloaded library puts in front of the C library:
// listing /dev, stat, open, close and ioctl. Each one answers for stand-in
// devices through StandinDevices and hands every other call to the next
// definition of the same symbol (the C library, or a sanitizer runtime
// preloaded ahead of us, which then reaches us for its own calls).

#include "StandinDevices.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace
{
template <typename Function>
Function Next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

#define LENTAVIO_NEXT(name) static const auto next = Next<decltype(&::name)>(#name)

// The mode argument of an open call that creates, read from its variadic tail.
#define LENTAVIO_MODE(flags)                     \
    mode_t mode = 0;                             \
    if (NeedsMode(flags)) {                      \
        va_list arguments;                       \
        va_start(arguments, flags);              \
        mode = va_arg(arguments, mode_t);        \
        va_end(arguments);                       \
    }

constexpr unsigned kVideoMajor = 81;

bool StandinPresent(const char* path)
{
    return StandinDevices::IsStandinPath(path) && StandinDevices::Instance().IsPresent(path);
}

// The stat answer of a character device a camera driver would make.
template <typename Stat>
void FillStat(Stat* buffer)
{
    std::memset(buffer, 0, sizeof *buffer);
    buffer->st_mode = S_IFCHR | 0660;
    buffer->st_rdev = makedev(kVideoMajor, 0);
    buffer->st_nlink = 1;
    buffer->st_blksize = 4096;
}

// Paths of stand-ins that are not present answer as a missing file would.
template <typename Stat>
int StandinStat(const char* path, Stat* buffer)
{
    if (!StandinPresent(path)) {
        errno = ENOENT;
        return -1;
    }
    FillStat(buffer);
    return 0;
}

// Every /dev/video path is a stand-in's: real cameras of the machine stay
// out of a rig run, present or not.
bool Handles(const char* path)
{
    return StandinDevices::IsStandinPath(path);
}

bool NeedsMode(int flags)
{
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

int OpenStandin(const char* path)
{
    bool known = false;
    return StandinDevices::Instance().Open(path, known);
}
} // namespace

extern "C" {

DIR* opendir(const char* path)
{
    LENTAVIO_NEXT(opendir);
    DIR* directory = next(path);
    if (directory && StandinDevices::IsDevDirectory(path))
        StandinDevices::Instance().TrackListing(directory);
    return directory;
}

int closedir(DIR* directory)
{
    LENTAVIO_NEXT(closedir);
    StandinDevices::Instance().ForgetListing(directory);
    return next(directory);
}

struct dirent64* readdir64(DIR* directory)
{
    LENTAVIO_NEXT(readdir64);
    for (;;) {
        struct dirent64* entry = next(directory);
        if (!entry)
            return StandinDevices::Instance().NextEntry(directory);
        // A real camera of the machine would mix with the stand-ins.
        if (std::strncmp(entry->d_name, "video", 5) != 0 || !StandinDevices::Instance().Tracks(directory))
            return entry;
    }
}

// The two entry types share one layout on 64-bit Linux.
static_assert(sizeof(struct dirent) == sizeof(struct dirent64), "dirent layouts differ");

struct dirent* readdir(DIR* directory)
{
    return reinterpret_cast<struct dirent*>(readdir64(directory));
}

int stat(const char* path, struct stat* buffer)
{
    LENTAVIO_NEXT(stat);
    return Handles(path) ? StandinStat(path, buffer) : next(path, buffer);
}

int stat64(const char* path, struct stat64* buffer)
{
    LENTAVIO_NEXT(stat64);
    return Handles(path) ? StandinStat(path, buffer) : next(path, buffer);
}

int lstat(const char* path, struct stat* buffer)
{
    LENTAVIO_NEXT(lstat);
    return Handles(path) ? StandinStat(path, buffer) : next(path, buffer);
}

int lstat64(const char* path, struct stat64* buffer)
{
    LENTAVIO_NEXT(lstat64);
    return Handles(path) ? StandinStat(path, buffer) : next(path, buffer);
}

int fstatat(int directory, const char* path, struct stat* buffer, int flags)
{
    LENTAVIO_NEXT(fstatat);
    return Handles(path) ? StandinStat(path, buffer) : next(directory, path, buffer, flags);
}

int fstatat64(int directory, const char* path, struct stat64* buffer, int flags)
{
    LENTAVIO_NEXT(fstatat64);
    return Handles(path) ? StandinStat(path, buffer) : next(directory, path, buffer, flags);
}

int statx(int directory, const char* path, int flags, unsigned mask, struct statx* buffer)
{
    LENTAVIO_NEXT(statx);
    if (!Handles(path))
        return next(directory, path, flags, mask, buffer);
    if (!StandinPresent(path)) {
        errno = ENOENT;
        return -1;
    }
    std::memset(buffer, 0, sizeof *buffer);
    buffer->stx_mask = STATX_BASIC_STATS;
    buffer->stx_mode = S_IFCHR | 0660;
    buffer->stx_nlink = 1;
    buffer->stx_blksize = 4096;
    buffer->stx_rdev_major = kVideoMajor;
    return 0;
}

int access(const char* path, int mode)
{
    LENTAVIO_NEXT(access);
    if (!Handles(path))
        return next(path, mode);
    if (StandinPresent(path))
        return 0;
    errno = ENOENT;
    return -1;
}

int open(const char* path, int flags, ...)
{
    LENTAVIO_NEXT(open);
    if (Handles(path))
        return OpenStandin(path);
    LENTAVIO_MODE(flags);
    return next(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    LENTAVIO_NEXT(open64);
    if (Handles(path))
        return OpenStandin(path);
    LENTAVIO_MODE(flags);
    return next(path, flags, mode);
}

int openat(int directory, const char* path, int flags, ...)
{
    LENTAVIO_NEXT(openat);
    if (Handles(path))
        return OpenStandin(path);
    LENTAVIO_MODE(flags);
    return next(directory, path, flags, mode);
}

int openat64(int directory, const char* path, int flags, ...)
{
    LENTAVIO_NEXT(openat64);
    if (Handles(path))
        return OpenStandin(path);
    LENTAVIO_MODE(flags);
    return next(directory, path, flags, mode);
}

// The checked forms that _FORTIFY_SOURCE builds call instead of open().
int __open_2(const char* path, int flags)
{
    LENTAVIO_NEXT(__open_2);
    return Handles(path) ? OpenStandin(path) : next(path, flags);
}

int __open64_2(const char* path, int flags)
{
    LENTAVIO_NEXT(__open64_2);
    return Handles(path) ? OpenStandin(path) : next(path, flags);
}

int close(int fd)
{
    LENTAVIO_NEXT(close);
    StandinDevices::Instance().Close(fd);
    return next(fd);
}

int ioctl(int fd, unsigned long request, ...)
{
    LENTAVIO_NEXT(ioctl);
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (StandinDevices::Instance().IsStandinDescriptor(fd))
        return StandinDevices::Instance().Ioctl(fd, request, argument);
    return next(fd, request, argument);
}

} // extern "C"
