#include "dms/AppWrapper.h"

#include <ole2.h>

#include "framework/ComPtr.h"

#include "framework/Logging.h"

using namespace Corvane::Logging;

IStream* g_lpUnknownStream = nullptr;

namespace {

const wchar_t kSource[] = L"AppWrapper";
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
    IUnknown* pUnknown = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, kAllServers, IID_IUnknown, reinterpret_cast<void**>(&pUnknown));
    if (FAILED(hr))
        return hr;
    hr = OleRun(pUnknown);
    if (SUCCEEDED(hr))
        hr = pUnknown->QueryInterface(riid, ppv);
    pUnknown->Release();
    return hr;
}

BCSessionManager::BCSessionManager(bool bLogonNow)
{
    CreateDmsObject(CLSID_Session, __uuidof(IDMSession), reinterpret_cast<void**>(&m_pSession));
    if (!m_pSession)
    {
        LogError(L"BCSessionManager", __LINE__, L"BCSessionManager::BCSessionManager",
                 CStdStr(L"Failed to create BCSession Instance"));
        return;
    }
    LogInfo(L"BCSessionManager", __LINE__, L"BCSessionManager::BCSessionManager", L"BCSession Instance created");
    if (bLogonNow)
        Logon();
}

bool BCSessionManager::Logon()
{
    if (m_bLoggedOn)
        return true;
    if (!m_pSession)
        _com_issue_error(E_POINTER);
    HRESULT hr = DmsCheck(m_pSession->Logon(0));
    if (hr == S_OK)
    {
        m_bLoggedOn = true;
        LogError(L"BCSessionManager", __LINE__, L"BCSessionManager::Logon", CStdStr(L"BCSession logged on successfully"));
    }
    else
    {
        LogError(L"BCSessionManager", __LINE__, L"BCSessionManager::Logon", CStdStr(L"BCSession failed to logon"));
    }
    return m_bLoggedOn;
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
        if (!m_pSessionManager)
            m_pSessionManager.reset(new BCSessionManager(false));
        try
        {
            m_pSessionManager->Logon();
        }
        catch (const _com_error&)
        {
            // A failed logon does not stop the application from being created.
        }
        IApplicationPtr pApp = CreateOrRaise<IApplicationPtr>(CLSID_Application);
        if (pApp)
        {
            CDispatchPtr pDispatch;
            if (SUCCEEDED(pApp->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pDispatch))))
                m_bMarshalled = CoMarshalInterThreadInterfaceInStream(IID_IDispatch, pDispatch, &g_lpUnknownStream) == S_OK;
        }
    }
    catch (...)
    {
        LogError(kSource, __LINE__, L"CAppWrapper::EnsureAppIsMarshalled", CStdStr(L"Unknown exception"));
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
            LogError(kSource, __LINE__, L"CAppWrapper::ReleaseDispatch", CStdStr(L"g_lpUnknownStream == NULL"));
            return;
        }
        IDispatch* pUnmarshalled = nullptr;
        if (SUCCEEDED(CoGetInterfaceAndReleaseStream(g_lpUnknownStream, IID_IDispatch,
                                                     reinterpret_cast<void**>(&pUnmarshalled))))
        {
            // The unmarshalled reference and the one the stream kept both go now.
            IDispatch* pQueried = nullptr;
            pUnmarshalled->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pQueried));
            pUnmarshalled->Release();
            if (pQueried)
                pQueried->Release();
        }
        m_bMarshalled = false;
        g_lpUnknownStream = nullptr;
    }
    catch (...)
    {
        LogError(kSource, __LINE__, L"CAppWrapper::ReleaseDispatch", CStdStr(L"Unknown exception"));
    }
}

bool CAppWrapper::WorkingOffline()
{
    try
    {
        IApplicationStatePtr pState = CreateOrRaise<IApplicationStatePtr>(CLSID_Application);
        if (!pState)
            _com_issue_error(E_POINTER);
        long lState = 0;
        DmsCheck(pState->get_ConnectionState(&lState));
        return lState == 1 || lState == 2;
    }
    catch (...)
    {
        LogError(kSource, __LINE__, L"CAppWrapper::WorkingOffline", CStdStr(L"Unknown exception"));
        return false;
    }
}

IApplicationPtr OpenDmsApplication()
{
    CAppWrapper::Instance().EnsureAppIsMarshalled();
    return CreateOrRaise<IApplicationPtr>(CLSID_Application);
}
