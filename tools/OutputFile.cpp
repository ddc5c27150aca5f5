#include "OutputFile.h"

#include "ToolCommon.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace kvs::tool {

namespace {

std::string SystemError(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

std::string FolderOf(const std::string& path)
{
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? std::string(".") : folder;
}

// A new name "<path>.tmp.XXXXXX" that no file has; what make does with it (create or
// link) is done by make, which returns false with errno EEXIST to have another name tried.
template <typename Make>
bool WithFreshName(const std::string& path, std::string& name, Make make)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::mt19937 random(device());
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = path + ".tmp.";
        for (int i = 0; i < 6; ++i) name += kLetters[pick(random)];
        if (make(name)) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd); // the rename is done; a folder that cannot be synced changes nothing
    ::close(fd);
}

// The file that target names once its symbolic links are followed, link by link, so that
// a link whose file does not exist yet (a dangling link) names the file to create. A loop
// or a chain longer than the kernel follows is refused.
bool FollowLinks(const std::string& target, std::string& path, std::string& error)
{
    constexpr int kMaxLinks = 40; // as the kernel's own limit
    path = target;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::vector<char> text(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
        if (n < 0 || static_cast<size_t>(n) >= text.size()) {
            error = SystemError("cannot read the symbolic link", path);
            return false;
        }
        const std::filesystem::path next(std::string(text.data(), static_cast<size_t>(n)));
        path = next.is_absolute() ? next.string() : (std::filesystem::path(path).parent_path() / next).string();
    }
    error = target + " is a loop of symbolic links (or a chain of more than " + std::to_string(kMaxLinks) +
            "); write to a file";
    return false;
}

} // namespace

OutputFile::~OutputFile()
{
    Discard();
}

bool OutputFile::Open(std::string& error)
{
    Discard();
    if (IsStandardOutput()) {
        m_file = stdout;
        return true;
    }
    if (!FollowLinks(m_target, m_path, error)) return false;
    struct stat st {};
    const bool exists = ::stat(m_path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        error = m_target + " is a folder";
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or pipe (/dev/null, a named pipe) is written as it is; a file put in
        // its place would replace the device.
        m_file = std::fopen(m_target.c_str(), "wb");
        m_direct = m_file != nullptr;
        if (!m_file) error = SystemError("cannot write", m_target);
        return m_file != nullptr;
    }
    // New files get 0666 less the file-creation mask from the kernel; a replaced file
    // keeps its permissions.
    int fd = ::open(FolderOf(m_path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    m_unnamed = fd >= 0;
    if (fd < 0 && !WithFreshName(m_path, m_tempName, [&fd](const std::string& name) {
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            return fd >= 0;
        })) {
        error = SystemError("cannot create a file beside", m_target);
        m_tempName.clear();
        return false;
    }
    if (exists && ::fchmod(fd, st.st_mode & 07777) != 0) {
        error = SystemError("cannot set the permissions of the new", m_target);
        ::close(fd);
        Discard();
        return false;
    }
    m_file = ::fdopen(fd, "wb");
    if (m_file == nullptr) {
        error = SystemError("cannot write", m_target);
        ::close(fd);
        Discard();
        return false;
    }
    return true;
}

bool OutputFile::Commit(std::string& error)
{
    if (m_file == nullptr) {
        error = m_target + ": not open";
        return false;
    }
    if (IsStandardOutput() || m_direct) {
        bool ok = std::fflush(m_file) == 0 && !std::ferror(m_file);
        if (m_direct && std::fclose(m_file) != 0) ok = false;
        m_file = nullptr;
        m_direct = false;
        if (!ok) error = SystemError("cannot write", m_target);
        return ok;
    }
    const int fd = ::fileno(m_file);
    bool ok = true;
    if (std::fflush(m_file) != 0 || std::ferror(m_file)) {
        error = SystemError("cannot write", m_target);
        ok = false;
    } else if (::fsync(fd) != 0) {
        error = SystemError("cannot flush to disk", m_target);
        ok = false;
    }
    if (ok && m_unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        ok = WithFreshName(m_path, m_tempName, [&self](const std::string& name) {
            return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
        });
        if (!ok) {
            error = SystemError("cannot name the new file beside", m_target);
            m_tempName.clear();
        }
    }
    if (std::fclose(m_file) != 0 && ok) {
        error = SystemError("cannot close", m_target);
        ok = false;
    }
    m_file = nullptr;
    if (ok && std::rename(m_tempName.c_str(), m_path.c_str()) != 0) {
        error = SystemError("cannot replace", m_target);
        ok = false;
    }
    if (!ok) {
        Discard();
        return false;
    }
    m_tempName.clear();
    SyncFolder(FolderOf(m_path));
    return true;
}

void OutputFile::Discard()
{
    if (m_file != nullptr && m_file != stdout) std::fclose(m_file);
    m_file = nullptr;
    if (!m_tempName.empty()) ::unlink(m_tempName.c_str());
    m_tempName.clear();
    m_unnamed = false;
    m_direct = false;
}

void WriteWholeFiles(const std::vector<std::pair<std::string, std::string>>& files)
{
    std::vector<std::unique_ptr<OutputFile>> opened;
    std::string failure;
    for (const auto& [target, text] : files) {
        opened.push_back(std::make_unique<OutputFile>(target));
        if (!opened.back()->Open(failure)) throw InputError(failure);
        if (std::fwrite(text.data(), 1, text.size(), opened.back()->Stream()) != text.size())
            throw InputError(target + ": cannot write: " + std::strerror(errno));
    }
    for (const auto& file : opened)
        if (!file->Commit(failure)) throw InputError(failure);
}

int OpenInThisProcess(const std::string& target)
{
    struct stat wanted {};
    if (target == "-" || ::stat(target.c_str(), &wanted) != 0 || !S_ISREG(wanted.st_mode)) return -1;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const std::string name = entry.path().filename().string();
        char* end = nullptr;
        const long fd = std::strtol(name.c_str(), &end, 10);
        struct stat st {};
        if (*end != '\0' || ::fstat(static_cast<int>(fd), &st) != 0) continue;
        if (st.st_dev == wanted.st_dev && st.st_ino == wanted.st_ino) return static_cast<int>(fd);
    }
    return -1;
}

void RefuseSameFile(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs)
{
    struct Identity
    {
        dev_t device;
        ino_t inode;
    };
    auto identify = [](const std::string& name, Identity& id) {
        struct stat st {};
        const int rc = name == "-" ? ::fstat(STDIN_FILENO, &st) : ::stat(name.c_str(), &st);
        if (rc != 0) return false;
        id = {st.st_dev, st.st_ino};
        return true;
    };
    // Outputs that do not exist yet are told apart by their absolute names.
    auto absolute = [](const std::string& name) {
        std::error_code ec;
        const std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::absolute(name, ec), ec);
        return p.lexically_normal().string();
    };
    for (size_t o = 0; o < outputs.size(); ++o) {
        const std::string& out = outputs[o];
        if (out.empty() || out == "-") continue;
        Identity target{};
        const bool exists = identify(out, target);
        for (const std::string& in : inputs) {
            Identity source{};
            if (exists && identify(in, source) && source.device == target.device && source.inode == target.inode)
                throw UsageError("the output " + out + " is the input " + (in == "-" ? "(standard input)" : in) +
                                 ": writing it would destroy the input; write to another file");
        }
        for (size_t p = 0; p < o; ++p) {
            const std::string& other = outputs[p];
            if (other.empty() || other == "-") continue;
            Identity second{};
            const bool same = exists ? identify(other, second) && second.device == target.device &&
                                           second.inode == target.inode
                                     : absolute(other) == absolute(out);
            if (same) throw UsageError("the outputs " + other + " and " + out + " are the same file");
        }
    }
}

} // namespace kvs::tool
