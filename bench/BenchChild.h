#pragma once
// Running another program from a benchmark, timed from spawn to exit, and finding the tools
// people use instead of ours.

#include <chrono>
#include <fcntl.h>
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

// The full path of a program in the usual places, or null when it is not installed.
inline const char* ToolPath(const char* pszName)
{
    static std::vector<std::string> s_found;
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
