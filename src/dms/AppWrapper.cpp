#include "dms/AppWrapper.h"

#include "dms/BCSessionManager.h"
#include "dms/DmsConstants.h"

#include <ole2.h>

#include "framework/ComPtr.h"

#include "framework/Logging.h"

IStream* g_lpUnknownStream = nullptr;

namespace {

const DWORD kAllServers = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// Creates an object for riid and raises every failure except E_NOINTERFACE.
template <class Ptr>
Ptr CreateOrRaise(REFCLSID clsid)
{
    Ptr p;
    HRESULT hr = CreateDmsObject(clsid, p.GetIID(), reinterpret_cast<void**>(&p));
    if (FAILED(hr) && hr != E_NOINTERFACE)
        _com_issue_error(hr);
    return p;
}

}  // namespace

HRESULT CreateDmsObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    *ppv = nullptr;
    CUnknownPtr pUnknown;
    HRESULT hr = CoCreateInstance(clsid, nullptr, kAllServers, IID_IUnknown, reinterpret_cast<void**>(&pUnknown));
    if (FAILED(hr))
        return hr;
    hr = OleRun(pUnknown);
    if (SUCCEEDED(hr))
        hr = pUnknown->QueryInterface(riid, ppv);
    return hr;
}

CAppWrapper::~CAppWrapper()
{
    ReleaseDispatch();
}

CAppWrapper& CAppWrapper::Instance()
{
    static CAppWrapper s_keeper;
    return s_keeper;
}

bool CAppWrapper::EnsureAppIsMarshalled()
{
    if (m_bMarshalled)
        return true;
    try
    {
        // A manager whose session component could not be created is made anew, so that a
        // client installed after the first attempt is found.
        if (!m_pSessionManager || !m_pSessionManager->HasSession())
            m_pSessionManager.reset(new BCSessionManager(false));
        // A logon that answers false still lets the application be created; one that raises
        // (no session component, a failing logon) ends the attempt, and the next operation
        // tries again.
        m_pSessionManager->Logon();
        IApplicationPtr pApp = CreateOrRaise<IApplicationPtr>(CLSID_Application);
        if (pApp)
        {
            CDispatchPtr pDispatch;
            if (SUCCEEDED(pApp->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pDispatch))))
                m_bMarshalled = CoMarshalInterThreadInterfaceInStream(IID_IDispatch, pDispatch, &g_lpUnknownStream) == S_OK;
            if (m_bMarshalled)
            {
                m_pApp = pApp;
                m_dwAppThread = GetCurrentThreadId();
            }
        }
    }
    catch (...)
    {
        LOG_ERROR(L"CAppWrapper::EnsureAppIsMarshalled", L"Unknown exception");
    }
    return m_bMarshalled;
}

void CAppWrapper::ReleaseDispatch()
{
    try
    {
        if (!m_bMarshalled)
            return;
        if (!g_lpUnknownStream)
        {
            LOG_ERROR(L"CAppWrapper::ReleaseDispatch", L"g_lpUnknownStream == NULL");
            return;
        }
        m_pApp = nullptr;
        m_dwAppThread = 0;
        // Unmarshalling gives back the reference the stream kept; the owner drops it.
        CDispatchPtr pUnmarshalled;
        CoGetInterfaceAndReleaseStream(g_lpUnknownStream, IID_IDispatch, reinterpret_cast<void**>(&pUnmarshalled));
        m_bMarshalled = false;
        g_lpUnknownStream = nullptr;
    }
    catch (...)
    {
        LOG_ERROR(L"CAppWrapper::ReleaseDispatch", L"Unknown exception");
    }
}

IApplicationPtr CAppWrapper::KeptApplication() const
{
    return m_dwAppThread == GetCurrentThreadId() ? m_pApp : nullptr;
}

bool CAppWrapper::WorkingOffline()
{
    try
    {
        CAppWrapper& keeper = Instance();
        keeper.EnsureAppIsMarshalled();
        const IApplicationPtr pKept = keeper.KeptApplication();
        IApplicationStatePtr pState;
        if (pKept)
            pState = pKept;
        else
            pState = CreateOrRaise<IApplicationStatePtr>(CLSID_Application);
        if (!pState)
            _com_issue_error(E_POINTER);
        long lState = 0;
        DmsCheck(pState->get_ConnectionState(&lState));
        return lState == DMS_CONNECTION_OFFLINE || lState == DMS_CONNECTION_OFFLINE_PENDING;
    }
    catch (...)
    {
        LOG_ERROR(L"CAppWrapper::WorkingOffline", L"Unknown exception");
        return false;
    }
}

IApplicationPtr OpenDmsApplication()
{
    CAppWrapper& keeper = CAppWrapper::Instance();
    keeper.EnsureAppIsMarshalled();
    const IApplicationPtr pKept = keeper.KeptApplication();
    return pKept ? pKept : CreateOrRaise<IApplicationPtr>(CLSID_Application);
}
