#include "local/FileReplace.h"

#include "framework/Handles.h"

namespace {

bool ReadIdentity(const CStdStr& strPath, BY_HANDLE_FILE_INFORMATION& info)
{
    CFileHandle file(CreateFileW(strPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && GetFileInformationByHandle(file.Get(), &info);
}

}  // namespace

HRESULT LastErrorAsHResult()
{
    const DWORD dwError = GetLastError();
    return dwError == 0 ? E_FAIL : HRESULT_FROM_WIN32(dwError);
}

bool IsSameFile(const CStdStr& strFirst, const CStdStr& strSecond)
{
    BY_HANDLE_FILE_INFORMATION first = {}, second = {};
    return ReadIdentity(strFirst, first) && ReadIdentity(strSecond, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

HRESULT ReplaceFileContent(const CStdStr& strSource, const CStdStr& strTarget)
{
    if (IsSameFile(strSource, strTarget))
        return S_FALSE;
    const CStdStr strTemporary = strTarget + CStdStr::Format(L".%lx.saving", GetCurrentProcessId());
    if (!CopyFileW(strSource.c_str(), strTemporary.c_str(), FALSE))
    {
        const HRESULT hr = LastErrorAsHResult();
        DeleteFileW(strTemporary.c_str());
        return hr;
    }
    // The copy carries the source's attributes; a read-only one could not be replaced later.
    SetFileAttributesW(strTemporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(strTemporary.c_str(), strTarget.c_str(), MOVEFILE_REPLACE_EXISTING))
    {
        const HRESULT hr = LastErrorAsHResult();
        DeleteFileW(strTemporary.c_str());
        return hr;
    }
    return S_OK;
}
