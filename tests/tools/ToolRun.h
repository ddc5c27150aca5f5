// Runs the kvsblocks program built beside the tests and collects what it printed.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

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
#endif
