#include <KvsDataBlocks/tide/TsdsManager.h>

#include <KvsDataBlocks/module/KvsDataBlocks.h>
#include <KvsDataBlocks/tide/TideStationDataSource.h>

#include <memory>

// Scoped hold of the manager's lock: Lock on entry, Unlock on every way out.
struct TsdsManager::LockGuard
{
    explicit LockGuard(Locker& lock) : lock(lock), held(lock.Lock()) {}
    ~LockGuard()
    {
        if (held) lock.Unlock();
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
    Locker& lock;
    bool held;
};

TsdsManager& TsdsManager::GetManager()
{
    static TsdsManager manager;
    return manager;
}

TsdsManager::TsdsManager(const TsdsManager& other)
{
    LockGuard guard(const_cast<Locker&>(other.m_lock));
    m_files = other.m_files;
}

TsdsManager& TsdsManager::operator=(const TsdsManager& other)
{
    if (this == &other) return *this;
    std::map<CString, TideStationDataSource*> files;
    {
        LockGuard guard(const_cast<Locker&>(other.m_lock));
        files = other.m_files;
    }
    LockGuard guard(m_lock);
    m_files = std::move(files);
    return *this;
}

TideStationDataSource* TsdsManager::OpenFile(const CString& fileName)
{
    LockGuard guard(m_lock);
    if (!guard.held) return nullptr;
    if (!KvsModuleIsReady()) {
        m_lastError = "the library did not initialise";
        return nullptr;
    }
    const auto it = m_files.find(fileName);
    if (it == m_files.end()) {
        auto source = std::make_unique<TideStationDataSource>();
        if (!source->FileOpen(fileName)) {
            m_lastError = source->GetTideStation().GetLastError();
            return nullptr;
        }
        TideStationDataSource* raw = source.release();
        m_files.emplace(fileName, raw);
        m_lastError.Empty();
        return raw;
    }
    if (!it->second->FileOpen(fileName)) {
        m_lastError = it->second->GetTideStation().GetLastError();
        return nullptr;
    }
    m_lastError.Empty();
    return it->second;
}

bool TsdsManager::CloseFile(TideStationDataSource*& source, bool save)
{
    LockGuard guard(m_lock);
    if (!guard.held || !source) return false;
    auto it = m_files.begin();
    while (it != m_files.end() && it->second != source) ++it;
    if (it == m_files.end()) return false;
    source->FileClose(save);
    if (source->GetOpenCount() == 0) {
        delete source;
        m_files.erase(it);
    }
    source = nullptr;
    return true;
}

bool TsdsManager::Commit()
{
    LockGuard guard(m_lock);
    if (!guard.held) return false;
    for (const auto& [name, source] : m_files)
        if (!source->FileSave()) return false;
    return true;
}

CString TsdsManager::GetLastError() const
{
    LockGuard guard(const_cast<Locker&>(m_lock));
    return m_lastError;
}
