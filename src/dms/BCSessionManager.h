#pragma once
#include "dms/DmsTypes.h"

// Logs the client on through the DMS's session component.
class BCSessionManager
{
public:
    explicit BCSessionManager(bool bLogonNow);
    ~BCSessionManager() = default;
    BCSessionManager(const BCSessionManager&) = delete;
    BCSessionManager& operator=(const BCSessionManager&) = delete;

    bool HasSession() const { return m_pSession != nullptr; }
    // True once logged on; raises _com_error when the session is missing or logon fails.
    bool Logon();

private:
    IDMSessionPtr m_pSession;
    bool m_bLoggedOn = false;
};
