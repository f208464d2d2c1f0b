#include "provider/ClassRegistration.h"

#include <corvane/CorvaneHost.h>

#include "framework/Handles.h"
#include "framework/ComModule.h"
#include "ui/UiResources.h"

const wchar_t kProgID[] = L"CmQuendrel.DocProvider.1";
const wchar_t kVersionIndependentProgID[] = L"CmQuendrel.DocProvider";

namespace {

CStdStr ClsidText()
{
    wchar_t sz[40] = {};
    StringFromGUID2(CLSID_DocProvider, sz, 40);
    return CStdStr(sz);
}

// Creates HKCR\<path> and sets one string value (the default value for a null name).
LONG SetValue(const CStdStr& strPath, const wchar_t* pszName, const CStdStr& strValue)
{
    CRegKey key;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, strPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Receive(),
                              nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    return RegSetValueExW(key.Get(), pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                          static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

HRESULT RegisterDocProviderClass(const CStdStr& strModulePath)
{
    const CStdStr strDescription = ComModule::LoadResourceString(IDS_PROJNAME, L"Quendrel");
    const CStdStr strClsid = ClsidText();
    const CStdStr strClsidKey = CStdStr(L"CLSID\\") + strClsid;
    const CStdStr strProgID = kProgID;
    const CStdStr strIndependent = kVersionIndependentProgID;

    struct Entry
    {
        CStdStr strKey;
        const wchar_t* pszName;
        CStdStr strValue;
    };
    const Entry entries[] = {
        {strProgID, nullptr, strDescription},
        {strProgID + L"\\CLSID", nullptr, strClsid},
        {strIndependent, nullptr, strDescription},
        {strIndependent + L"\\CLSID", nullptr, strClsid},
        {strIndependent + L"\\CurVer", nullptr, strProgID},
        {strClsidKey, nullptr, strDescription},
        {strClsidKey + L"\\ProgID", nullptr, strProgID},
        {strClsidKey + L"\\VersionIndependentProgID", nullptr, strIndependent},
        {strClsidKey + L"\\InprocServer32", nullptr, strModulePath},
        {strClsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    };
    for (const Entry& e : entries)
    {
        LONG rc = SetValue(e.strKey, e.pszName, e.strValue);
        if (rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

HRESULT UnregisterDocProviderClass()
{
    const CStdStr keys[] = {kProgID, kVersionIndependentProgID, CStdStr(L"CLSID\\") + ClsidText()};
    for (const CStdStr& strKey : keys)
    {
        LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, strKey.c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
            return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}
