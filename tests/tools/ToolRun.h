// Runs the kvsblocks program built beside the tests and collects what it printed.
#pragma once

#include <cstdio>
#include <string>
#include <sys/wait.h>

// The exit status (-1 when the program did not exit normally) and what it printed.
struct RunResult { int status; std::string out; };

#ifdef KVS_TOOL_PATH
// Runs a shell command line, standard output and standard error together.
inline RunResult RunShell(const std::string& command)
{
    RunResult r{-1, {}};
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// Runs kvsblocks with the arguments (a shell word list). With blocks, no file it writes may
// grow beyond that many blocks of 512 bytes: writes beyond fail with EFBIG, as on a full
// disk, instead of killing it.
inline RunResult RunTool(const std::string& args, int blocks = 0)
{
    const std::string limit = blocks ? "trap '' XFSZ; ulimit -f " + std::to_string(blocks) + "; " : "";
    return RunShell(limit + KVS_TOOL_PATH + " " + args);
}
#endif
