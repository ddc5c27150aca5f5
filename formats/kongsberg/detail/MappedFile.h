// MappedFile: a whole file mapped read-only into memory for the Kongsberg readers, which
// read datagrams in place and hand out their byte offsets for editing a copy.
#pragma once

#include <KvsDataBlocks/platform/CString.h>

#include <cstddef>

namespace kvs::kongsberg {

class MappedFile
{
public:
    MappedFile() = default;
    ~MappedFile() { Close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // False with "cannot open PATH: reason" in error.
    bool Open(const char* path, CString& error);
    void Close();
    const unsigned char* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }

private:
    const unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
    bool m_mapped = false;
};

} // namespace kvs::kongsberg
