#include "tools/vellumconv/ConvSignals.h"

namespace
{

// Lock-free atomics are safe to store from a handler.
std::atomic<int> g_nSignal{0};
std::atomic<bool> g_bStop{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

void OnSignal(int nSignal)
{
    g_nSignal.store(nSignal);
    g_bStop.store(true);
}

}  // namespace

CSignalCatcher::CSignalCatcher()
{
    g_nSignal.store(0);
    g_bStop.store(false);
    struct sigaction action = {};
    action.sa_handler = &OnSignal;
    // A write to a full pipe goes on after the signal: stdio drops what a failed write held,
    // and with it status lines of files already in place.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &m_oldInt);
    ::sigaction(SIGTERM, &action, &m_oldTerm);
}

CSignalCatcher::~CSignalCatcher()
{
    ::sigaction(SIGINT, &m_oldInt, nullptr);
    ::sigaction(SIGTERM, &m_oldTerm, nullptr);
}

int CSignalCatcher::Caught() const
{
    return g_nSignal.load();
}

const std::atomic<bool>& CSignalCatcher::Stop() const
{
    return g_bStop;
}
