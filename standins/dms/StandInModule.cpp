// DmsStandIn.dll: the in-process COM server that stands in for the DMS client's automation
// library (classes Application, SelectForm, HistoryEvent and Session; apartment-threaded).
#include "StandInModule.h"

#include <olectl.h>

#include "DmsObjects.h"

// This module's lock count for DllCanUnloadNow: one per live object and per server lock. The
// declarations are shared with the COM object plumbing of provider/ComObject.h.
namespace ComModule {

namespace {
LONG g_lLocks = 0;
}  // namespace

void Lock() { InterlockedIncrement(&g_lLocks); }
void Unlock() { InterlockedDecrement(&g_lLocks); }
LONG LockCount() { return g_lLocks; }

}  // namespace ComModule

namespace dms_standin {

namespace {

HMODULE g_hModule = nullptr;

struct ClassEntry
{
    const CLSID* pClsid;
    const wchar_t* pszName;
    HRESULT (*pfnFactory)(REFIID riid, void** ppv);
};

// The class factory of a creatable class. Each creation counts and is timed as a DMS call
// named pszCall, since a client pays for every object it has the DMS create.
template <class T>
class CStandInClassFactory final : public IClassFactory
{
public:
    explicit CStandInClassFactory(const wchar_t* pszCall) : m_pszCall(pszCall) { ComModule::Lock(); }
    virtual ~CStandInClassFactory() { ComModule::Unlock(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory))
        {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG c = InterlockedDecrement(&m_cRef);
        if (c == 0)
            delete this;
        return static_cast<ULONG>(c);
    }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        const CDmsCallTimer timer(m_pszCall);
        CFaultInjector::Instance().Count(m_pszCall);
        return CreateComInstance<T>(pOuter, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL fLock) override
    {
        if (fLock)
            ComModule::Lock();
        else
            ComModule::Unlock();
        return S_OK;
    }

private:
    const wchar_t* m_pszCall;
    LONG m_cRef = 0;
};

template <class T>
HRESULT MakeFactory(const wchar_t* pszCall, REFIID riid, void** ppv)
{
    auto* pFactory = new (std::nothrow) CStandInClassFactory<T>(pszCall);
    if (!pFactory)
        return E_OUTOFMEMORY;
    pFactory->AddRef();
    HRESULT hr = pFactory->QueryInterface(riid, ppv);
    pFactory->Release();
    return hr;
}

const ClassEntry kClasses[] = {
    {&CLSID_Application, L"DMS stand-in Application",
     [](REFIID riid, void** ppv) { return MakeFactory<CApplication>(L"CoCreateInstance(Application)", riid, ppv); }},
    {&CLSID_SelectForm, L"DMS stand-in SelectForm",
     [](REFIID riid, void** ppv) { return MakeFactory<CSelectForm>(L"CoCreateInstance(SelectForm)", riid, ppv); }},
    {&CLSID_HistoryEvent, L"DMS stand-in HistoryEvent",
     [](REFIID riid, void** ppv) { return MakeFactory<CHistoryEvent>(L"CoCreateInstance(HistoryEvent)", riid, ppv); }},
    {&CLSID_Session, L"DMS stand-in Session",
     [](REFIID riid, void** ppv) { return MakeFactory<CSession>(L"CoCreateInstance(Session)", riid, ppv); }},
};

std::wstring ClsidKey(const CLSID& clsid)
{
    wchar_t sz[40] = {};
    StringFromGUID2(clsid, sz, 40);
    return std::wstring(L"CLSID\\") + sz;
}

LONG SetClassesValue(const std::wstring& strKey, const wchar_t* pszName, const std::wstring& strValue)
{
    return RegSetKeyValueW(HKEY_CLASSES_ROOT, strKey.c_str(), pszName, REG_SZ, strValue.c_str(),
                           static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
}

SYSKIND ThisSysKind()
{
    return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

}  // namespace

std::wstring ModulePath()
{
    wchar_t szPath[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(g_hModule, szPath, MAX_PATH);
    return std::wstring(szPath, n < MAX_PATH ? n : 0);
}

HRESULT RegisterServer()
{
    const std::wstring strModule = ModulePath();
    for (const ClassEntry& entry : kClasses)
    {
        const std::wstring strKey = ClsidKey(*entry.pClsid);
        LONG rc = SetClassesValue(strKey, nullptr, entry.pszName);
        if (rc == ERROR_SUCCESS)
            rc = SetClassesValue(strKey + L"\\InprocServer32", nullptr, strModule);
        if (rc == ERROR_SUCCESS)
            rc = SetClassesValue(strKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
        if (rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
    }
    // The registered type library gives the dual interfaces the standard marshaler.
    ITypeLib* pTypeLib = nullptr;
    HRESULT hr = LoadTypeLibEx(strModule.c_str(), REGKIND_REGISTER, &pTypeLib);
    if (SUCCEEDED(hr))
        pTypeLib->Release();
    return hr;
}

HRESULT UnregisterServer()
{
    for (const ClassEntry& entry : kClasses)
    {
        LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKey(*entry.pClsid).c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
            return HRESULT_FROM_WIN32(rc);
    }
    HRESULT hr = UnRegisterTypeLib(LIBID_DOCSObjects, 1, 0, LOCALE_NEUTRAL, ThisSysKind());
    return hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED ? S_OK : hr;
}

}  // namespace dms_standin

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
    {
        dms_standin::g_hModule = hInstance;
        DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (const dms_standin::ClassEntry& entry : dms_standin::kClasses)
        if (IsEqualCLSID(rclsid, *entry.pClsid))
            return entry.pfnFactory(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    if (ComModule::LockCount() != 0)
        return S_FALSE;
    dms_standin::ReleaseDmsTypeLibrary();
    return S_OK;
}

STDAPI DllRegisterServer()
{
    return dms_standin::RegisterServer();
}

STDAPI DllUnregisterServer()
{
    return dms_standin::UnregisterServer();
}
