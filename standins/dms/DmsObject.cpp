#include "DmsObject.h"

#include <mutex>

#include "framework/ErrorInfo.h"
#include "framework/Handles.h"

namespace dms_standin {

namespace {

std::mutex g_typeLibMutex;
CTypeLibPtr g_pTypeLib;  // released by ReleaseDmsTypeLibrary

HMODULE ThisModule()
{
    HMODULE hModule = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &hModule);
    return hModule;
}

}  // namespace

HRESULT GetDmsTypeInfo(REFIID riid, ITypeInfo** ppTypeInfo)
{
    std::lock_guard<std::mutex> guard(g_typeLibMutex);
    if (!g_pTypeLib)
    {
        wchar_t szPath[MAX_PATH] = {};
        GetModuleFileNameW(ThisModule(), szPath, MAX_PATH);
        HRESULT hr = LoadTypeLibEx(szPath, REGKIND_NONE, &g_pTypeLib);
        if (FAILED(hr))
            return hr;
    }
    return g_pTypeLib->GetTypeInfoOfGuid(riid, ppTypeInfo);
}

void ReleaseDmsTypeLibrary()
{
    std::lock_guard<std::mutex> guard(g_typeLibMutex);
    g_pTypeLib = nullptr;
}

HRESULT CDmsObjectBase::Enter(const wchar_t* pszMethod, bool bAnswers)
{
    m_lError = 0;
    m_strError.clear();
    FiredFault fired;
    if (CDmsCallTimer::IsNested() || !CFaultInjector::Instance().Check(pszMethod, bAnswers, &fired))
        return S_OK;
    switch (fired.form)
    {
    case FaultForm::ErrorNumber:
        SetError(fired.lErrorNumber, std::wstring(L"Injected DMS error in ") + pszMethod);
        return S_FALSE;
    case FaultForm::Silent:
        return S_FALSE;
    default:
        return Fail(fired.hrFailure, 0, std::wstring(L"Injected failure of ") + pszMethod);
    }
}

HRESULT CDmsObjectBase::Fail(HRESULT hr, LONG lError, const std::wstring& strText)
{
    if (lError != 0)
        SetError(lError, strText);
    PublishErrorInfo(L"DmsStandIn", strText.c_str());
    return hr;
}

void CDmsObjectBase::SetError(LONG lError, const std::wstring& strText)
{
    m_lError = lError;
    m_strError = strText;
}

bool VariantIsText(const VARIANT& v)
{
    return V_VT(&v) == VT_BSTR || V_VT(&v) == (VT_BSTR | VT_BYREF) ||
           (V_VT(&v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&v) && VariantIsText(*V_VARIANTREF(&v)));
}

bool VariantText(const VARIANT& v, std::wstring* pstrText)
{
    const VARTYPE vt = V_VT(&v);
    if (vt == VT_EMPTY || vt == VT_NULL || vt == VT_ERROR)
        return false;
    CScopedVariant text;
    if (FAILED(VariantChangeType(text.Receive(), const_cast<VARIANT*>(&v), 0, VT_BSTR)))
        return false;
    *pstrText = V_BSTR(&text.Get()) ? V_BSTR(&text.Get()) : L"";
    return true;
}

bool VariantNumber(const VARIANT& v, LONG* plNumber)
{
    if (VariantIsText(v))
        return false;
    CScopedVariant number;
    if (FAILED(VariantChangeType(number.Receive(), const_cast<VARIANT*>(&v), 0, VT_I4)))
        return false;
    *plNumber = V_I4(&number.Get());
    return true;
}

HRESULT ReturnString(const std::wstring& strText, BSTR* pbstr)
{
    if (!pbstr)
        return E_POINTER;
    *pbstr = SysAllocStringLen(strText.data(), static_cast<UINT>(strText.size()));
    return *pbstr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace dms_standin
