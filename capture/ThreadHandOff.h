#pragma once

// Debian's Qt is not built with ThreadSanitizer, so the ordering that its
// queued connections, QThread::start() and QThread::wait() give is invisible
// to it. At our own hand-off points we tell it about that ordering: release
// on the side that hands over, acquire on the side that takes over, both on
// the same address. Nothing at all in other builds.

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

// Everything this thread did so far happens before what the thread that
// calls HandOffAcquire(address) does next.
inline void HandOffRelease([[maybe_unused]] const void* address)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(address));
#endif
}

inline void HandOffAcquire([[maybe_unused]] const void* address)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(address));
#endif
}
