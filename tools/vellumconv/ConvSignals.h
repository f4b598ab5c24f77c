#pragma once
// SIGINT and SIGTERM while a converter run writes outputs: the run stops where it can,
// removes its temporaries and exits 128 + the signal.

#include <atomic>
#include <csignal>

// While it lives, SIGINT and SIGTERM only note themselves, and interrupt no system call that
// can go on (SA_RESTART). One lives at a time.
class CSignalCatcher
{
public:
    CSignalCatcher();
    ~CSignalCatcher();
    CSignalCatcher(const CSignalCatcher&) = delete;
    CSignalCatcher& operator=(const CSignalCatcher&) = delete;

    // The signal caught, or 0.
    int Caught() const;
    // Set once a signal was caught, for threads that poll a flag.
    const std::atomic<bool>& Stop() const;

private:
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
};
