#include "provider/CVComponent.h"

#include "framework/ComPtr.h"

#include <exception>
#include <vector>

#include "framework/Logging.h"
#include "provider/ComModule.h"

using namespace Corvane::Logging;

_COM_SMARTPTR_TYPEDEF(ICVErrorInfo, __uuidof(ICVErrorInfo));
_COM_SMARTPTR_TYPEDEF(ICVDiagnostics, __uuidof(ICVDiagnostics));

namespace {

// Creates the host's component manager, asks it for interface I and hands it to call.
// E_FAIL when the manager lacks I; a failure to create it (other than E_NOINTERFACE) is
// raised, and every exception is logged under the caller's name and turned into a result.
template <class IPtr, class F>
HRESULT AskComponentManager(const wchar_t* pszSource, const wchar_t* pszFunction, F&& call) noexcept
{
    HRESULT hr = E_FAIL;
    try
    {
        CLSID clsid = {};
        HRESULT hrCreate = CLSIDFromProgID(L"CmManager.ComponentManager", &clsid);
        CUnknownPtr pManager;
        if (SUCCEEDED(hrCreate))
            hrCreate = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&pManager));
        if (FAILED(hrCreate) && hrCreate != E_NOINTERFACE)
            _com_issue_error(hrCreate);
        IPtr pInterface;
        if (pManager)
            pManager->QueryInterface(pInterface.GetIID(), reinterpret_cast<void**>(&pInterface));
        if (!pInterface)
            return E_FAIL;
        hr = call(pInterface);
    }
    catch (const _com_error& e)
    {
        LogError(pszSource, __LINE__, pszFunction, e);
        return e.Error();
    }
    catch (const std::exception& e)
    {
        LogError(pszSource, __LINE__, pszFunction, e);
        return E_FAIL;
    }
    catch (...)
    {
        LogError(pszSource, __LINE__, pszFunction, CStdStr(L"Unknown Exception"));
        return E_FAIL;
    }
    return hr;
}

}  // namespace

HRESULT CCVComponent::GetVersion(long* plMajor, long* plMinor, long* plBuild, long* plRevision)
{
    try
    {
        CStdStr strPath = ComModule::ModulePath();
        DWORD dwHandle = 0;
        DWORD cb = GetFileVersionInfoSizeW(strPath.c_str(), &dwHandle);
        if (cb == 0)
            return S_FALSE;
        std::vector<BYTE> data(cb);
        if (!GetFileVersionInfoW(strPath.c_str(), 0, cb, data.data()))
            return S_FALSE;
        VS_FIXEDFILEINFO* pInfo = nullptr;
        UINT cbInfo = 0;
        if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&pInfo), &cbInfo) || !pInfo ||
            cbInfo < sizeof(VS_FIXEDFILEINFO))
            return S_OK;
        if (!plMajor || !plMinor || !plBuild || !plRevision)
            return E_POINTER;
        *plMajor = HIWORD(pInfo->dwFileVersionMS);
        *plMinor = LOWORD(pInfo->dwFileVersionMS);
        *plBuild = HIWORD(pInfo->dwFileVersionLS);
        *plRevision = LOWORD(pInfo->dwFileVersionLS);
        return S_OK;
    }
    catch (const _com_error& e)
    {
        LogError(L"CVComponent", __LINE__, L"CCVComponent::GetVersion", e);
    }
    catch (const std::exception& e)
    {
        LogError(L"CVComponent", __LINE__, L"CCVComponent::GetVersion", e);
    }
    catch (...)
    {
        LogError(L"CVComponent", __LINE__, L"CCVComponent::GetVersion", CStdStr(L"Unknown Exception"));
    }
    return E_FAIL;
}

HRESULT CCVErrorInfo::GetErrorDescription(HRESULT hrError, GUID guidSource, BSTR* pbstrDescription)
{
    return AskComponentManager<ICVErrorInfoPtr>(L"CVErrorInfo", L"CCVErrorInfo::GetErrorDescription",
        [&](ICVErrorInfoPtr& p) { return p->GetErrorDescription(hrError, guidSource, pbstrDescription); });
}

HRESULT CCVErrorInfo::GetHelpFile(HRESULT hrError, GUID guidSource, BSTR* pbstrHelpFile)
{
    return AskComponentManager<ICVErrorInfoPtr>(L"CVErrorInfo", L"CCVErrorInfo::GetHelpFile",
        [&](ICVErrorInfoPtr& p) { return p->GetHelpFile(hrError, guidSource, pbstrHelpFile); });
}

HRESULT CCVErrorInfo::CanDiagnose(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbCan)
{
    return AskComponentManager<ICVErrorInfoPtr>(L"CVErrorInfo", L"CCVErrorInfo::CanDiagnose",
        [&](ICVErrorInfoPtr& p) { return p->CanDiagnose(hrError, guidSource, pbCan); });
}

HRESULT CCVErrorInfo::CanAutofix(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbCan)
{
    return AskComponentManager<ICVErrorInfoPtr>(L"CVErrorInfo", L"CCVErrorInfo::CanAutofix",
        [&](ICVErrorInfoPtr& p) { return p->CanAutofix(hrError, guidSource, pbCan); });
}

HRESULT CCVDiagnostics::ExamineError(HRESULT hrError, GUID guidSource, BSTR* pbstrReport)
{
    return AskComponentManager<ICVDiagnosticsPtr>(L"CVDiagnostics", L"CCVDiagnostics::ExamineError",
        [&](ICVDiagnosticsPtr& p) { return p->ExamineError(hrError, guidSource, pbstrReport); });
}

HRESULT CCVDiagnostics::FixError(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbFixed)
{
    return AskComponentManager<ICVDiagnosticsPtr>(L"CVDiagnostics", L"CCVDiagnostics::FixError",
        [&](ICVDiagnosticsPtr& p) { return p->FixError(hrError, guidSource, pbFixed); });
}
