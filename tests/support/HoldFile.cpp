// holdfile <path>: opens the file (making it and its folder when missing) without sharing and
// keeps it open until the process is ended, so that a test can see a copy onto it fail.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 2)
        return 2;
    const std::wstring strPath = argv[1];
    const size_t nSlash = strPath.find_last_of(L"\\/");
    if (nSlash != std::wstring::npos)
        SHCreateDirectoryExW(nullptr, strPath.substr(0, nSlash).c_str(), nullptr);
    HANDLE hFile = CreateFileW(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    Sleep(INFINITE);
    return 0;
}
