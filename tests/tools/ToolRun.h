// Runs the kvsblocks program built beside the tests and collects what it printed.
#pragma once

#include <array>
#include <csignal>
#include <cstdio>
#include <string>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct RunResult
{
    int status; // exit status, -1 when the program did not exit normally
    std::string out;
};

#ifdef KVS_TOOL_PATH
// Runs kvsblocks with the arguments (a shell word list), standard output and standard
// error together.
inline RunResult RunTool(const std::string& args)
{
    const std::string cmd = std::string(KVS_TOOL_PATH) + " " + args + " 2>&1";
    RunResult r{-1, {}};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// Starts kvsblocks with the argument list in a child process, its standard output and
// error going to outFd (or nowhere when it is -1). With fileSizeLimit >= 0 no file that
// it writes may grow beyond that many bytes: writes beyond fail with EFBIG, as on a full
// disk. Returns the child's process id, or -1.
inline pid_t StartTool(const std::vector<std::string>& args, long fileSizeLimit = -1, int outFd = -1)
{
    std::vector<char*> argv;
    std::string program = KVS_TOOL_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int out = outFd >= 0 ? outFd : ::open("/dev/null", O_WRONLY);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    if (fileSizeLimit >= 0) {
        std::signal(SIGXFSZ, SIG_IGN); // a failing write, not a killed process
        const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    execv(argv[0], argv.data());
    _exit(127);
}

// Runs kvsblocks with the argument list and a file-size limit (see StartTool) to its end.
inline RunResult RunToolLimited(const std::vector<std::string>& args, long fileSizeLimit)
{
    RunResult r{-1, {}};
    int fds[2];
    if (pipe(fds) != 0) return r;
    const pid_t pid = StartTool(args, fileSizeLimit, fds[1]);
    close(fds[1]);
    std::array<char, 4096> buf;
    ssize_t n;
    while ((n = read(fds[0], buf.data(), buf.size())) > 0) r.out.append(buf.data(), static_cast<size_t>(n));
    close(fds[0]);
    int st = 0;
    if (pid > 0 && waitpid(pid, &st, 0) == pid) r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}
#endif
