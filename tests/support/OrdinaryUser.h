#pragma once
// Checks of permission bits as an ordinary user, also when the tests run as root (as CI
// does): root is let through by every bit, so there the checks run in a child process that
// drops to nobody first. A failure in the child fails the test.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

inline constexpr uid_t kNobody = 65534;
inline constexpr gid_t kNoGroup = 65534;

inline bool IsRoot()
{
    return ::geteuid() == 0;
}

// Runs fn as the user running the tests or, as root, as nobody, who is first given the
// folders and files named in owned.
inline void AsOrdinaryUser(const std::vector<std::string>& owned, const std::function<void()>& fn)
{
    if (!IsRoot())
    {
        fn();
        return;
    }
    for (const std::string& path : owned)
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNoGroup), 0) << path;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNoGroup) != 0 || ::setuid(kNobody) != 0)
            ::_exit(3);
        fn();
        std::fflush(stdout);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus)) << "the check as nobody died";
    EXPECT_NE(WEXITSTATUS(nStatus), 3) << "cannot become nobody";
    EXPECT_EQ(WEXITSTATUS(nStatus), 0) << "the check as nobody failed (its messages are above)";
}
