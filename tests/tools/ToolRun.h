// Runs the kvsblocks program built beside the tests and collects what it printed.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct RunResult
{
    int status; // exit status, -1 when the program did not exit normally
    std::string out;
};

#ifdef KVS_TOOL_PATH
// Runs a shell command line, standard output and standard error together.
inline RunResult RunShell(const std::string& command)
{
    RunResult r{-1, {}};
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// Runs kvsblocks with the arguments (a shell word list).
inline RunResult RunTool(const std::string& args)
{
    return RunShell(std::string(KVS_TOOL_PATH) + " " + args);
}

// Runs kvsblocks so that no file it writes may grow beyond blocks of 512 bytes: writes
// beyond fail with EFBIG, as on a full disk, instead of killing it.
inline RunResult RunToolLimited(const std::string& args, int blocks)
{
    return RunShell("trap '' XFSZ; ulimit -f " + std::to_string(blocks) + "; " + KVS_TOOL_PATH + " " + args);
}

// Starts kvsblocks with the argument list in a child process, its standard output and
// error going nowhere. Returns the child's process id, or -1.
inline pid_t StartTool(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    std::string program = KVS_TOOL_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int out = ::open("/dev/null", O_WRONLY);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
}
#endif
