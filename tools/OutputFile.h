// OutputFile: a file that a kvsblocks subcommand writes, replaced whole or not at all.
// The data go to a new file in the target's folder, an unnamed one where the file system
// allows it (O_TMPFILE: nothing is left behind even when the process is killed) or else
// "<target>.tmp.XXXXXX"; Commit flushes it to disk and renames it over the target. Until
// then the target keeps its old content, and a file that is not committed is removed
// when the object goes. The new file keeps the target's permissions (or gets those of any
// new file). A target that is a symbolic link is written through: the link stays and the
// file it names is replaced, also when that file does not exist yet (a dangling link); a
// loop of links is refused. "-" is standard output, and a target that is a device or a
// pipe (/dev/null) is written as it is.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace kvs::tool {

class OutputFile
{
public:
    explicit OutputFile(std::string target) : m_target(std::move(target)) {}
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the new file; false with the reason in error.
    bool Open(std::string& error);
    // The stream to write to while open (standard output for "-").
    std::FILE* Stream() const { return m_file; }
    // Flushes the data to disk and puts the file in the target's place; false with the
    // reason in error, and then the target is as it was and the new file is gone.
    bool Commit(std::string& error);
    // Drops what was written; the target stays as it was.
    void Discard();

    const std::string& Target() const { return m_target; }
    bool IsStandardOutput() const { return m_target == "-"; }

private:
    std::string m_target;
    std::string m_path;     // the file renamed over: the target, or the file its link names
    std::string m_tempName; // the named temporary file, when there is one
    std::FILE* m_file = nullptr;
    bool m_unnamed = false; // the data lie in an unnamed (O_TMPFILE) file
    bool m_direct = false;  // the target is a device or pipe, written as it is
};

// Throws UsageError when output names the same file as one of inputs (same device and
// inode, however the names are written: links, relative paths; "-" among the inputs is
// standard input) or as another output, before anything is opened for writing. Outputs
// that do not exist yet and "-" are never the same file.
void RefuseSameFile(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);

// Writes each (target, text) to a new file of its own, then puts them all in place: a
// failure leaves every target as it was (unless the disk fails between two renames).
// Throws InputError naming the target that could not be written.
void WriteWholeFiles(const std::vector<std::pair<std::string, std::string>>& files);

// The file descriptor by which this process has target open (the same file under any
// name), or -1: a program that reads files as it goes (the Python module) is told that
// the output it is asked to write is one of the files it is reading.
int OpenInThisProcess(const std::string& target);

} // namespace kvs::tool
