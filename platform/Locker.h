// Locker: the base library's mutual-exclusion object, used by the tide file manager to
// serialise its operations. It is recursive: the holding thread may lock again and must
// unlock as often. Not copyable.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <condition_variable>
#include <mutex>
#include <thread>

class KVS_API Locker
{
public:
    Locker() = default;
    Locker(const Locker&) = delete;
    Locker& operator=(const Locker&) = delete;

    // Waits until this thread holds the lock; true when held.
    bool Lock();
    // Releases one level of the calling thread's hold. False, and nothing changes, when
    // the calling thread does not hold the lock.
    bool Unlock();
    // True when the calling thread holds the lock.
    bool IsHeldByMe() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::thread::id m_owner;
    int m_depth = 0;
};
