// Logging the DMS client on through its session component.
#include "dms/BCSessionManager.h"

#include "dms/AppWrapper.h"
#include "dms/DmsConstants.h"
#include "framework/Logging.h"

BCSessionManager::BCSessionManager(bool bLogonNow)
{
    CreateDmsObject(CLSID_Session, __uuidof(IDMSession), reinterpret_cast<void**>(&m_pSession));
    if (!m_pSession)
    {
        LOG_ERROR(L"BCSessionManager::BCSessionManager",
                 CStdStr(L"Failed to create BCSession Instance"));
        return;
    }
    LOG_INFO(L"BCSessionManager::BCSessionManager", L"BCSession Instance created");
    if (bLogonNow)
        Logon();
}

bool BCSessionManager::Logon()
{
    if (m_bLoggedOn)
        return true;
    if (!m_pSession)
        _com_issue_error(E_POINTER);
    HRESULT hr = DmsCheck(m_pSession->Logon(DMS_LOGON_DEFAULT));
    if (hr == S_OK)
    {
        m_bLoggedOn = true;
        LOG_ERROR(L"BCSessionManager::Logon", L"BCSession logged on successfully");
    }
    else
    {
        LOG_ERROR(L"BCSessionManager::Logon", L"BCSession failed to logon");
    }
    return m_bLoggedOn;
}
