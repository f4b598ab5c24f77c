#pragma once
// Runs the vellumconv program as a user's shell does: arguments, a working folder, bytes on
// standard input, standard error on a pipe or on a terminal. Header-only.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace convproc
{

struct RunResult
{
    int nExit = -1;  // the exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
    bool bHung = false;         // still running at RunOptions::nHangSeconds, and killed
    long nPeakRssKib = 0;       // the child's peak resident memory, as /usr/bin/time -v gives it
};

struct RunOptions
{
    std::string strStdin;
    bool bTerminal = false;  // stderr on a pseudo-terminal
    std::string strStdoutFile;  // non-empty: stdout goes to this file ("/dev/full") instead
    bool bCloseStdout = false;  // the program starts with no standard output at all
    // A child still running after this long is taken to hang and killed (0: never). Not a
    // speed check: it is far beyond what any run here takes.
    int nHangSeconds = 0;
};

inline void ReadAll(int fd, std::string& out)
{
    char buf[4096];
    for (;;)
    {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
}

inline RunResult Run(const std::string& strProgram, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const RunOptions& options = {})
{
    int in[2], out[2], err[2] = {-1, -1};
    int nMaster = -1, nSlave = -1;
    if (::pipe(in) != 0 || ::pipe(out) != 0)
        return {};
    if (options.bTerminal ? ::openpty(&nMaster, &nSlave, nullptr, nullptr, nullptr) != 0 : ::pipe(err) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        ::dup2(in[0], 0);
        const int fdFile =
            options.strStdoutFile.empty() ? -1 : ::open(options.strStdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!options.strStdoutFile.empty() && fdFile < 0)
            ::_exit(125);
        ::dup2(fdFile >= 0 ? fdFile : out[1], 1);
        ::dup2(options.bTerminal ? nSlave : err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], nMaster, nSlave, fdFile})
            if (fd > 2)
                ::close(fd);
        if (options.bCloseStdout)
            ::close(1);
        if (::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(strProgram.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(strProgram.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(options.bTerminal ? nSlave : err[1]);
    // Small enough for the pipe; the converter reads it before it writes anything.
    if (!options.strStdin.empty() && ::write(in[1], options.strStdin.data(), options.strStdin.size()) < 0)
        ADD_FAILURE() << "cannot write the child's stdin";
    ::close(in[1]);
    RunResult r;
    std::atomic<bool> bDone{false};
    std::atomic<bool> bKilled{false};
    std::thread watchdog;
    if (options.nHangSeconds > 0)
        watchdog = std::thread([&] {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.nHangSeconds);
            while (!bDone.load() && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (!bDone.load())
            {
                bKilled.store(true);
                ::kill(pid, SIGKILL);
            }
        });
    std::thread errReader([&] { ReadAll(options.bTerminal ? nMaster : err[0], r.err); });
    ReadAll(out[0], r.out);
    errReader.join();
    int nStatus = 0;
    rusage usage{};
    ::wait4(pid, &nStatus, 0, &usage);
    bDone.store(true);
    if (watchdog.joinable())
        watchdog.join();
    r.bHung = bKilled.load();
    r.nPeakRssKib = usage.ru_maxrss;
    r.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    ::close(out[0]);
    ::close(options.bTerminal ? nMaster : err[0]);
    return r;
}

}  // namespace convproc
