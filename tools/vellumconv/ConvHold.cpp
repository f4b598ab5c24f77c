#include "tools/vellumconv/ConvHold.h"

#include <algorithm>
#include <sys/resource.h>

std::size_t ConvHoldLimit(std::size_t nReserve)
{
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0)
        return 1;
    if (lim.rlim_cur < lim.rlim_max)
    {
        lim.rlim_cur = lim.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &lim);
        ::getrlimit(RLIMIT_NOFILE, &lim);
    }
    const rlim_t nLimit = std::min<rlim_t>(lim.rlim_cur, rlim_t{1} << 24);
    return nLimit > nReserve ? static_cast<std::size_t>(nLimit - nReserve) : 1;
}
