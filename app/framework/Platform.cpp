#include "AfxPlatform.h"
#include "AfxWnd.h"

namespace
{
IAfxPlatform* g_pPlatform = nullptr;
}  // namespace

IAfxPlatform& AfxGetPlatform()
{
    return g_pPlatform != nullptr ? *g_pPlatform : AfxDefaultPlatform();
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
