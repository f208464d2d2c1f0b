#include "framework/ComModule.h"

namespace ComModule {

HINSTANCE Instance()
{
    static HINSTANCE s_hInstance = [] {
        HMODULE hModule = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&Instance), &hModule);
        return static_cast<HINSTANCE>(hModule);
    }();
    return s_hInstance;
}

}  // namespace ComModule

namespace ComModule {

CStdStr ModulePath()
{
    wchar_t szPath[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(Instance(), szPath, MAX_PATH);
    return CStdStr(szPath, n < MAX_PATH ? n : 0);
}

CStdStr ModuleFolder()
{
    CStdStr strPath = ModulePath();
    size_t slash = strPath.find_last_of(L"\\/");
    return slash == CStdStr::npos ? CStdStr() : CStdStr(strPath.substr(0, slash));
}

CStdStr LoadResourceString(UINT nID, const wchar_t* pszFallback)
{
    // A length of 0 for the buffer pointer asks for a read-only pointer into the resource.
    const wchar_t* pText = nullptr;
    int n = LoadStringW(Instance(), nID, reinterpret_cast<LPWSTR>(&pText), 0);
    if (n > 0 && pText)
        return CStdStr(pText, static_cast<size_t>(n));
    return CStdStr(pszFallback);
}

}  // namespace ComModule
