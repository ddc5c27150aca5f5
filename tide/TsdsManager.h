// TsdsManager: the process-wide registry of open tide files. Every user asks it for a
// tide file by name; it creates one TideStationDataSource per name (names are compared
// exactly, case-sensitive), hands the same object to later callers, and deletes it when
// the last user has closed it. Commit saves every open file. OpenFile, CloseFile and
// Commit run under the manager's lock. The manager owns the data sources it created.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/Locker.h>
#include <KvsDataBlocks/platform/CString.h>

#include <map>

class TideStationDataSource;

class KVS_API TsdsManager
{
public:
    // The single instance, constructed on first use (make the first call before other
    // threads use the manager) and destroyed when the library is unloaded.
    static TsdsManager& GetManager();

    TsdsManager() = default;
    // A copy refers to the same data sources but gets a lock of its own.
    TsdsManager(const TsdsManager& other);
    TsdsManager& operator=(const TsdsManager& other);
    // Data sources still held are neither saved, closed nor deleted.
    virtual ~TsdsManager() = default;

    // The data source of the file, opening it (or counting one more open); null when the
    // file cannot be opened or the library did not initialise.
    TideStationDataSource* OpenFile(const CString& fileName);
    // Closes one open of source (save is passed to the tide file's FileClose); deletes it
    // when no opens remain. Sets source to null on success; false for a null pointer or
    // one the manager does not hold.
    bool CloseFile(TideStationDataSource*& source, bool save);
    // Saves every open file in name order; false at the first failure (the rest unsaved).
    bool Commit();

    // The error text of the last failed OpenFile (empty after a successful one).
    CString GetLastError() const;

private:
    struct LockGuard;

    Locker m_lock;
    std::map<CString, TideStationDataSource*> m_files;
    CString m_lastError;
};
