#pragma once
// Running another program from a benchmark, timed from spawn to exit, finding the tools
// people use instead of ours, and checking that their output is the kind of file ours is.

#include <chrono>
#include <cstdint>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

struct ChildRun
{
    double dSeconds = 0;
    int nExit = -1;
};

// Runs argv with stdout to pszOut (or /dev/null) and stderr to /dev/null.
inline ChildRun RunChild(const std::vector<std::string>& args, const char* pszOut = "/dev/null")
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, pszOut, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
    {
        int nStatus = 0;
        if (::waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus))
            run.nExit = WEXITSTATUS(nStatus);
    }
    run.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// The same on a settled disk: an untimed sync first, so a run that makes its output
// durable does not also pay for what an earlier run left unwritten.
inline ChildRun RunChildSettled(const std::vector<std::string>& args, const char* pszOut = "/dev/null")
{
    ::sync();
    return RunChild(args, pszOut);
}

// The full path of a program in the usual places, or null when it is not installed.
inline const char* ToolPath(const char* pszName)
{
    // A deque: a name handed out stays where it is as more are found.
    static std::deque<std::string> s_found;
    for (const char* pszDir : {"/usr/bin/", "/usr/local/bin/", "/bin/"})
    {
        std::string path = pszDir;
        path += pszName;
        if (::access(path.c_str(), X_OK) == 0)
        {
            s_found.push_back(path);
            return s_found.back().c_str();
        }
    }
    return nullptr;
}

// True when the file is a BMP as the converter writes one: the 40-byte header,
// uncompressed, nBits bits per pixel. ImageMagick chooses RLE and the 124-byte header
// unless told otherwise, which is more work than our side does.
inline bool IsUncompressedBmp3(const std::string& strPath, int nBits = 8)
{
    std::ifstream in(strPath, std::ios::binary);
    unsigned char head[34] = {};
    if (!in.read(reinterpret_cast<char*>(head), sizeof head))
        return false;
    auto le = [&](int at, int n) {
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | head[at + i];
        return v;
    };
    return head[0] == 'B' && head[1] == 'M' && le(14, 4) == 40 && le(28, 2) == static_cast<std::uint32_t>(nBits) &&
           le(30, 4) == 0;
}
