// DmsStandIn.dll: the in-process COM server that stands in for the DMS client's automation
// library (classes Application, SelectForm, HistoryEvent and Session; apartment-threaded).
#include "StandInModule.h"

#include <olectl.h>

#include "DmsObjects.h"
#include "framework/ComPtr.h"

namespace dms_standin {

namespace {

HMODULE g_hModule = nullptr;

struct ClassEntry
{
    const CLSID* pClsid;
    const wchar_t* pszName;
    HRESULT (*pfnFactory)(REFIID riid, void** ppv);
};

// Each creation of a class counts and is timed as a DMS call named pszCall, since a client pays
// for every object it has the DMS create.
template <const wchar_t* pszCall>
struct CCountedCreation
{
    CCountedCreation() : m_timer(pszCall) { CFaultInjector::Instance().Count(pszCall); }
    const CDmsCallTimer m_timer;
};

constexpr wchar_t kCreateApplication[] = L"CoCreateInstance(Application)";
constexpr wchar_t kCreateSelectForm[] = L"CoCreateInstance(SelectForm)";
constexpr wchar_t kCreateHistoryEvent[] = L"CoCreateInstance(HistoryEvent)";
constexpr wchar_t kCreateSession[] = L"CoCreateInstance(Session)";

const ClassEntry kClasses[] = {
    {&CLSID_Application, L"DMS stand-in Application",
     &GetClassFactory<CApplication, CCountedCreation<kCreateApplication>>},
    {&CLSID_SelectForm, L"DMS stand-in SelectForm", &GetClassFactory<CSelectForm, CCountedCreation<kCreateSelectForm>>},
    {&CLSID_HistoryEvent, L"DMS stand-in HistoryEvent",
     &GetClassFactory<CHistoryEvent, CCountedCreation<kCreateHistoryEvent>>},
    {&CLSID_Session, L"DMS stand-in Session", &GetClassFactory<CSession, CCountedCreation<kCreateSession>>},
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
    CTypeLibPtr pTypeLib;
    return LoadTypeLibEx(strModule.c_str(), REGKIND_REGISTER, &pTypeLib);
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
