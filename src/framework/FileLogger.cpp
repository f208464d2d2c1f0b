#include "framework/FileLogger.h"

#include <shlobj.h>

#include "framework/Handles.h"
#include "framework/LogFormat.h"

namespace Corvane {
namespace Logging {

namespace {

// How long, in all, Write keeps retrying while another writer holds the file.
const int SHARING_RETRY_BUDGET_MS = 1000;
const int SHARING_RETRY_WAIT_MS = 10;

// Writes the whole text as UTF-16LE code units; returns the number of bytes written.
DWORD WriteText(HANDLE hFile, const std::wstring& strText)
{
    DWORD cbWritten = 0;
    WriteFile(hFile, strText.data(), static_cast<DWORD>(strText.size() * sizeof(wchar_t)), &cbWritten, nullptr);
    return cbWritten;
}

}  // namespace

void FileLogger::Configure(const LogSettings& settings)
{
    CStdStr strPath = settings.m_strPath;
    strPath.Trim();
    // Lower case first so that "%APPDATA%" (the default's spelling) matches too.
    strPath.MakeLower();

    // The shell library is loaded only for this, once per file logger: nothing else logging does
    // needs it.
    wchar_t szAppData[MAX_PATH] = {};
    const CLibrary shell(LoadLibraryW(L"shell32.dll"));
    const auto pfnFolderPath = ExportOf<decltype(&SHGetFolderPathW)>(shell, "SHGetFolderPathW");
    HRESULT hr = pfnFolderPath ? pfnFolderPath(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szAppData)
                               : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    if (FAILED(hr))
        OutputDebugStringW(CStdStr::Format(L"Warning: could not resolve %%appdata%% location. This is a problem with "
                                           L"earlier versions of Windows. Error Code: 0x%x",
                                           static_cast<unsigned>(hr))
                               .c_str());
    else
        strPath.Replace(L"%appdata%", szAppData);

    OutputDebugStringW((L"Configuring file logger to write to: " + strPath).c_str());
    m_strPath = strPath;
}

void FileLogger::Write(const LogRecord& record)
{
    if (m_strPath.empty())
        return;

    // Read-only sharing keeps other writers out while this record goes in; they retry.
    auto open = [this](CFileHandle& file) {
        SetLastError(ERROR_SUCCESS);
        file.Reset(CreateFileW(m_strPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        return GetLastError();
    };
    CFileHandle file;
    DWORD dwError = open(file);
    for (int nBudget = SHARING_RETRY_BUDGET_MS; dwError == ERROR_SHARING_VIOLATION && nBudget >= 0;
         nBudget -= SHARING_RETRY_WAIT_MS)
    {
        Sleep(SHARING_RETRY_WAIT_MS);
        dwError = open(file);
    }

    if (dwError == ERROR_SUCCESS && file)
    {
        WriteText(file.Get(), FormatLogHeader());
    }
    else if (dwError == ERROR_ALREADY_EXISTS && file)
    {
        LARGE_INTEGER zero = {};
        SetFilePointerEx(file.Get(), zero, nullptr, FILE_END);
    }
    else
    {
        OutputDebugStringW(CStdStr::Format(L"Error: Invalid log file path: %ls error code=0x%x", m_strPath.c_str(),
                                           static_cast<unsigned>(dwError))
                               .c_str());
        return;
    }

    CStdStr strLine = FormatLogLine(record);
    DWORD cbExpected = static_cast<DWORD>(strLine.size() * sizeof(wchar_t));
    DWORD cbWritten = WriteText(file.Get(), strLine);
    FlushFileBuffers(file.Get());
    file.Reset();
    if (cbWritten < cbExpected)
        OutputDebugStringW(CStdStr::Format(L"Error: did not write complete log message to file (%ls): %lu/%lu written.",
                                           m_strPath.c_str(), cbWritten, cbExpected)
                               .c_str());
}

}  // namespace Logging
}  // namespace Corvane
