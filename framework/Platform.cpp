#include "framework/AfxPlatform.h"
#include "framework/AfxWnd.h"

#include <cstdio>
#include <cstdlib>

// Weak here only: a program that links the core without any backend (one that reads only the
// resource tables, say) still links; it must not reach the platform.
IAfxPlatform& AfxDefaultPlatform() __attribute__((weak));

namespace
{
IAfxPlatform* g_pPlatform = nullptr;
}  // namespace

IAfxPlatform& AfxGetPlatform()
{
    if (g_pPlatform != nullptr)
        return *g_pPlatform;
    if (&AfxDefaultPlatform == nullptr)
    {
        std::fputs("framework: no platform backend is linked into this program\n", stderr);
        std::abort();
    }
    return AfxDefaultPlatform();
}

void AfxSetPlatform(IAfxPlatform* pPlatform)
{
    g_pPlatform = pPlatform;
}

CSize CWndPeer::GetClientSize() const
{
    const CRect& rc = m_pOwner->GetPlacement();
    return CSize(rc.Width(), rc.Height());
}

CRect CWndPeer::GetWindowRect() const
{
    return m_pOwner->GetPlacement();
}
