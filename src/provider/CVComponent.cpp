// The provider's version, read from its own module's version resource.
#include "provider/CVComponent.h"

#include <exception>
#include <vector>

#include "framework/Logging.h"
#include "framework/ComModule.h"

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
        LOG_ERROR(L"CCVComponent::GetVersion", e);
    }
    catch (const std::exception& e)
    {
        LOG_ERROR(L"CCVComponent::GetVersion", e);
    }
    catch (...)
    {
        LOG_ERROR(L"CCVComponent::GetVersion", L"Unknown Exception");
    }
    return E_FAIL;
}
