// Stand-in for the host's component manager (CmManager.dll): the in-process COM class
// "CmManager.ComponentManager" (apartment-threaded) that answers the shared error and
// diagnostics questions for components through ICVErrorInfo and ICVDiagnostics.
// Registers under HKEY_CLASSES_ROOT with regsvr32.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>

#include <cwchar>
#include <new>
#include <string>

#include <corvane/CorvaneHost.h>
#include <corvane/QuendrelResults.h>

#include "StandInRegistry.h"
#include "framework/ComObject.h"

namespace {

// {96F7B67E-47CA-4AF7-9F22-EEC84D0C4617}
const CLSID CLSID_ComponentManager = {0x96f7b67e, 0x47ca, 0x4af7, {0x9f, 0x22, 0xee, 0xc8, 0x4d, 0x0c, 0x46, 0x17}};
const wchar_t CLSID_TEXT[] = L"{96F7B67E-47CA-4AF7-9F22-EEC84D0C4617}";
const wchar_t PROGID[] = L"CmManager.ComponentManager";
const wchar_t DESCRIPTION[] = L"Corvane Component Manager";
const wchar_t HELP_FILE_NAME[] = L"Corvane.chm";

struct CHostCodeText
{
    HRESULT hr;
    const wchar_t* pszText;
};

// The host's own codes (facility 0x12), which the system's message table does not know.
const CHostCodeText HOST_CODE_TEXTS[] = {
    {E_DOCUMENT_NOT_FOUND, L"The document was not found."},
    {E_DOCUMENT_ALREADY_LOCKED, L"The document is already locked."},
    {E_LOCAL_FILE_NOT_FOUND, L"The local file was not found."},
    {E_DOCUMENT_LOCKED_BY_OTHER, L"The document is locked by another user."},
    {E_DOCUMENT_NOT_LOCKED, L"The document is not locked."},
    {E_NOT_AVAILABLE_OFFLINE, L"The document is not available offline."},
    {S_DMS_OFFLINE, L"The document management system is offline."},
    {E_NO_DMS_CLIENT, L"No DMS client installation was found."},
};

HMODULE ThisModule()
{
    HMODULE hModule = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &hModule);
    return hModule;
}

std::wstring ModulePath()
{
    wchar_t szPath[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(ThisModule(), szPath, MAX_PATH);
    return std::wstring(szPath, n < MAX_PATH ? n : 0);
}

// The host's text for its own codes, else the system's message without its line break, else
// a generic text with the code.
std::wstring DescribeError(HRESULT hr)
{
    for (const CHostCodeText& entry : HOST_CODE_TEXTS)
        if (entry.hr == hr)
            return entry.pszText;
    wchar_t szMessage[1024] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(hr), 0, szMessage, ARRAYSIZE(szMessage), nullptr);
    std::wstring strText(szMessage, n);
    while (!strText.empty() && (strText.back() == L'\n' || strText.back() == L'\r' || strText.back() == L' '))
        strText.pop_back();
    if (strText.empty())
    {
        wchar_t szText[40];
        swprintf(szText, ARRAYSIZE(szText), L"Unknown error 0x%08lX", static_cast<unsigned long>(hr));
        strText = szText;
    }
    return strText;
}

HRESULT ReturnBstr(const std::wstring& strText, BSTR* pbstr)
{
    *pbstr = SysAllocStringLen(strText.c_str(), static_cast<UINT>(strText.size()));
    return *pbstr ? S_OK : E_OUTOFMEMORY;
}

// One manager object; apartment-threaded, so calls arrive on its creating thread only.
class CComponentManager : public ICVErrorInfo, public ICVDiagnostics
{
public:
    virtual ~CComponentManager() = default;

    static const QITableEntry* GetQITable()
    {
        static const QITableEntry table[] = {QI_ENTRY(CComponentManager, ICVErrorInfo),
                                             QI_ENTRY(CComponentManager, ICVDiagnostics), {nullptr, 0}};
        return table;
    }

    // ICVErrorInfo
    STDMETHODIMP GetErrorDescription(HRESULT hrError, GUID, BSTR* pbstrDescription) override
    {
        if (!pbstrDescription)
            return E_POINTER;
        return ReturnBstr(DescribeError(hrError), pbstrDescription);
    }
    STDMETHODIMP GetHelpFile(HRESULT, GUID, BSTR* pbstrHelpFile) override
    {
        if (!pbstrHelpFile)
            return E_POINTER;
        std::wstring strPath = ModulePath();
        strPath.erase(strPath.find_last_of(L"\\/") + 1);
        return ReturnBstr(strPath + HELP_FILE_NAME, pbstrHelpFile);
    }
    STDMETHODIMP GetHelpContext(HRESULT, GUID, long*) override { return E_NOTIMPL; }
    STDMETHODIMP CanDiagnose(HRESULT, GUID, VARIANT_BOOL* pbCan) override { return WriteFalse(pbCan, S_OK); }
    STDMETHODIMP CanAutofix(HRESULT, GUID, VARIANT_BOOL* pbCan) override { return WriteFalse(pbCan, S_OK); }

    // ICVDiagnostics
    STDMETHODIMP GetDiagnosticsInfo(BSTR* pbstrInfo) override
    {
        if (pbstrInfo)
            *pbstrInfo = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP ExamineError(HRESULT hrError, GUID, BSTR* pbstrReport) override
    {
        if (!pbstrReport)
            return E_POINTER;
        wchar_t szCode[16];
        swprintf(szCode, ARRAYSIZE(szCode), L"0x%08lX", static_cast<unsigned long>(hrError));
        return ReturnBstr(std::wstring(L"Error ") + szCode + L": " + DescribeError(hrError) +
                              L" No automatic diagnosis is available.",
                          pbstrReport);
    }
    STDMETHODIMP FixError(HRESULT, GUID, VARIANT_BOOL* pbFixed) override { return WriteFalse(pbFixed, S_FALSE); }

private:
    static HRESULT WriteFalse(VARIANT_BOOL* pb, HRESULT hrResult)
    {
        if (!pb)
            return E_POINTER;
        *pb = VARIANT_FALSE;
        return hrResult;
    }
};

HRESULT SetKeyString(const std::wstring& strKey, const wchar_t* pszName, const std::wstring& strValue)
{
    CRegKey key = StandIn::CreateKey(HKEY_CLASSES_ROOT, strKey);
    if (!key)
        return SELFREG_E_CLASS;
    LONG rc = RegSetValueExW(key.Get(), pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                             static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

HRESULT DeleteTree(const std::wstring& strKey)
{
    LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, strKey.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_ComponentManager))
        return CLASS_E_CLASSNOTAVAILABLE;
    return GetClassFactory<CComponentManager>(riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return ComModule::LockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    const std::wstring strClassKey = std::wstring(L"CLSID\\") + CLSID_TEXT;
    HRESULT hrs[] = {
        SetKeyString(strClassKey, nullptr, DESCRIPTION),
        SetKeyString(strClassKey + L"\\InprocServer32", nullptr, ModulePath()),
        SetKeyString(strClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"),
        SetKeyString(strClassKey + L"\\ProgID", nullptr, PROGID),
        SetKeyString(PROGID, nullptr, DESCRIPTION),
        SetKeyString(std::wstring(PROGID) + L"\\CLSID", nullptr, CLSID_TEXT),
    };
    for (HRESULT hr : hrs)
        if (FAILED(hr))
            return hr;
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    HRESULT hrClass = DeleteTree(std::wstring(L"CLSID\\") + CLSID_TEXT);
    HRESULT hrProgID = DeleteTree(PROGID);
    return FAILED(hrClass) ? hrClass : hrProgID;
}
