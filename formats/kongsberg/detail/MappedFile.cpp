#include <KvsDataBlocks/formats/kongsberg/detail/MappedFile.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvs::kongsberg {

bool MappedFile::Open(const char* path, CString& error)
{
    Close();
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error.Format("cannot open %s: %s", path, std::strerror(errno));
        return false;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error.Format("cannot read %s: not a regular file", path);
        ::close(fd);
        return false;
    }
    m_size = static_cast<std::size_t>(st.st_size);
    if (m_size > 0) {
        void* p = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) {
            error.Format("cannot read %s: %s", path, std::strerror(errno));
            ::close(fd);
            m_size = 0;
            return false;
        }
        ::madvise(p, m_size, MADV_SEQUENTIAL);
        m_data = static_cast<const unsigned char*>(p);
        m_mapped = true;
    }
    ::close(fd);
    return true;
}

void MappedFile::Close()
{
    if (m_mapped) ::munmap(const_cast<unsigned char*>(m_data), m_size);
    m_data = nullptr;
    m_size = 0;
    m_mapped = false;
}

} // namespace kvs::kongsberg
