#pragma once
// Asking the host's component manager the error and diagnostics questions that the provider
// does not answer itself.
#include <windows.h>

#include <corvane/CorvaneHost.h>

#include "framework/ComPtr.h"

#include <exception>

#include "framework/Logging.h"

_COM_SMARTPTR_TYPEDEF(ICVErrorInfo, __uuidof(ICVErrorInfo));
_COM_SMARTPTR_TYPEDEF(ICVDiagnostics, __uuidof(ICVDiagnostics));

// Creates the host's component manager, asks it for interface I and hands it to call.
// E_FAIL when the manager lacks I; a failure to create it (other than E_NOINTERFACE) is
// raised, and every exception is logged at the caller's site and turned into a result.
template <class IPtr, class F>
HRESULT AskComponentManager(const Corvane::Logging::LogSite& site, const wchar_t* pszFunction, F&& call) noexcept
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
        Corvane::Logging::LogError(site, pszFunction, e);
        return e.Error();
    }
    catch (const std::exception& e)
    {
        Corvane::Logging::LogError(site, pszFunction, e);
        return E_FAIL;
    }
    catch (...)
    {
        Corvane::Logging::LogError(site, pszFunction, CStdStr(L"Unknown Exception"));
        return E_FAIL;
    }
    return hr;
}
