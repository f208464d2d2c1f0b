#include "local/General.h"

#include <windows.h>
#include <shlobj.h>

#include <stdexcept>

#include "framework/Handles.h"
#include "framework/Logging.h"


namespace {

const wchar_t kFunction[] = L"CGeneral::GetSpecialFolderPath";

}  // namespace

CStdStr CGeneral::GetSpecialFolderPath(int nFolder)
{
    try
    {
        // The shell library is loaded only here: no fetch or save needs it.
        const CLibrary shell(LoadLibraryW(L"shell32.dll"));
        const auto pfnLocate = ExportOf<decltype(&SHGetSpecialFolderLocation)>(shell, "SHGetSpecialFolderLocation");
        const auto pfnPath = ExportOf<decltype(&SHGetPathFromIDListW)>(shell, "SHGetPathFromIDListW");
        CItemIdList pidl;
        if (!pfnLocate || !pfnPath || FAILED(pfnLocate(nullptr, nFolder, pidl.Receive())) || !pidl)
            throw std::runtime_error("SHGetSpecialFolderLocation failed");

        wchar_t szPath[MAX_PATH] = {};
        const BOOL bConverted = pfnPath(pidl.Get(), szPath);
        return bConverted ? CStdStr(szPath) : CStdStr();
    }
    catch (const std::exception& e)
    {
        LOG_ERROR(kFunction, L"GetMyDocumentsPath failed :" + WideFromAnsi(e.what()));
    }
    catch (...)
    {
        LOG_ERROR(kFunction, L"GetMyDocumentsPath failed unknown error");
    }
    return CStdStr();
}
