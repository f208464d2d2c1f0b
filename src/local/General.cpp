#include "local/General.h"

#include <windows.h>
#include <shlobj.h>

#include <stdexcept>

#include "framework/Logging.h"

using namespace Corvane::Logging;

namespace {

const wchar_t kSource[] = L"General";
const wchar_t kFunction[] = L"CGeneral::GetSpecialFolderPath";

}  // namespace

CStdStr CGeneral::GetSpecialFolderPath(int nFolder)
{
    try
    {
        LPITEMIDLIST pidl = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(nullptr, nFolder, &pidl)) || !pidl)
            throw std::runtime_error("SHGetSpecialFolderLocation failed");

        wchar_t szPath[MAX_PATH] = {};
        const BOOL bConverted = SHGetPathFromIDListW(pidl, szPath);

        // The item list belongs to the shell's allocator.
        IMalloc* pMalloc = nullptr;
        if (FAILED(SHGetMalloc(&pMalloc)) || !pMalloc)
        {
            CoTaskMemFree(pidl);
            throw std::runtime_error("SHGetMalloc failed");
        }
        pMalloc->Free(pidl);
        pMalloc->Release();
        return bConverted ? CStdStr(szPath) : CStdStr();
    }
    catch (const std::exception& e)
    {
        LogError(kSource, __LINE__, kFunction, L"GetMyDocumentsPath failed :" + WideFromAnsi(e.what()));
    }
    catch (...)
    {
        LogError(kSource, __LINE__, kFunction, CStdStr(L"GetMyDocumentsPath failed unknown error"));
    }
    return CStdStr();
}
