#include <KvsDataBlocks/platform/Locker.h>

bool Locker::Lock()
{
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(m_mutex);
    if (m_depth > 0 && m_owner == me) {
        ++m_depth;
        return true;
    }
    m_released.wait(guard, [this] { return m_depth == 0; });
    m_owner = me;
    m_depth = 1;
    return true;
}

bool Locker::Unlock()
{
    std::unique_lock<std::mutex> guard(m_mutex);
    if (m_depth == 0 || m_owner != std::this_thread::get_id()) return false;
    if (--m_depth == 0) {
        m_owner = std::thread::id();
        guard.unlock();
        m_released.notify_one();
    }
    return true;
}

bool Locker::IsHeldByMe() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_depth > 0 && m_owner == std::this_thread::get_id();
}
