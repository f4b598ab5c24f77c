#include "framework/AfxCore.h"

#include <cstring>
#include <vector>

namespace
{
std::vector<CRuntimeClass*>& ClassRegistry()
{
    static std::vector<CRuntimeClass*> s_classes;
    return s_classes;
}
}  // namespace

AFX_CLASSINIT::AFX_CLASSINIT(CRuntimeClass* pNewClass)
{
    ClassRegistry().push_back(pNewClass);
}

CObject* CRuntimeClass::CreateObject() const
{
    return m_pfnCreateObject != nullptr ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const
{
    for (const CRuntimeClass* p = this; p != nullptr; p = p->m_pBaseClass)
        if (p == pBaseClass)
            return TRUE;
    return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(LPCTSTR lpszClassName)
{
    if (lpszClassName == nullptr)
        return nullptr;
    for (CRuntimeClass* p : ClassRegistry())
        if (std::strcmp(p->m_lpszClassName, lpszClassName) == 0)
            return p;
    return nullptr;
}

CObject* CRuntimeClass::CreateObject(LPCTSTR lpszClassName)
{
    const CRuntimeClass* p = FromName(lpszClassName);
    return p != nullptr ? p->CreateObject() : nullptr;
}

CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), nullptr, nullptr};
static const AFX_CLASSINIT afx_init_CObject(&CObject::classCObject);

CRuntimeClass* CObject::GetRuntimeClass() const
{
    return &classCObject;
}

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const
{
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}

void CObject::Serialize(CArchive&) {}

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY s_entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP s_map = {nullptr, &s_entries[0]};
    return &s_map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* pExtra)
{
    for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap != nullptr;
         pMap = pMap->pfnGetBaseMap != nullptr ? pMap->pfnGetBaseMap() : nullptr)
    {
        for (const AFX_MSGMAP_ENTRY* e = pMap->lpEntries; e->pfnThunk != nullptr; ++e)
        {
            if (e->nMessage != WM_COMMAND || e->nCode != nCode || nID < e->nID || nID > e->nLastID)
                continue;
            if (nCode == CN_UPDATE_COMMAND_UI)
            {
                auto* pCmdUI = static_cast<CCmdUI*>(pExtra);
                if (pCmdUI == nullptr)
                    return TRUE;  // asked whether a handler exists
                pCmdUI->m_bContinueRouting = FALSE;
                e->pfnThunk(this, nID, 0, reinterpret_cast<LPARAM>(pCmdUI));
                if (pCmdUI->m_bContinueRouting)
                    break;  // this map gives up; a base map or the next target may take it
                return TRUE;
            }
            // A null pExtra with CN_COMMAND only asks whether a handler exists.
            if (pExtra != nullptr)
                return TRUE;
            if (e->pfnThunk(this, nID, 0, 0) != 0)
                return TRUE;
        }
    }
    return FALSE;
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT nMessage) const
{
    for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap != nullptr;
         pMap = pMap->pfnGetBaseMap != nullptr ? pMap->pfnGetBaseMap() : nullptr)
        for (const AFX_MSGMAP_ENTRY* e = pMap->lpEntries; e->pfnThunk != nullptr; ++e)
            if (e->nMessage == nMessage && nMessage != WM_COMMAND)
                return e;
    return nullptr;
}

void CCmdUI::Enable(BOOL bOn)
{
    m_bEnabled = bOn;
    m_bEnableChanged = TRUE;
}

void CCmdUI::SetCheck(int nCheck)
{
    m_nCheck = nCheck;
}

void CCmdUI::SetText(LPCTSTR)
{
}

BOOL CCmdUI::DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHandler)
{
    if (pTarget == nullptr)
        return FALSE;
    m_bEnableChanged = FALSE;
    const BOOL bResult = pTarget->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, this);
    if (!bResult && bDisableIfNoHandler && !m_bEnableChanged)
    {
        int nQuery = 0;
        Enable(pTarget->OnCmdMsg(m_nID, CN_COMMAND, &nQuery));
    }
    return bResult;
}
