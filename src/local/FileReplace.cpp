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

bool FileExists(const CStdStr& strPath)
{
    const DWORD dwAttributes = GetFileAttributesW(strPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

CStdStr FileExtensionOf(const CStdStr& strPath)
{
    const size_t nDot = strPath.find_last_of(L'.');
    const size_t nSeparator = strPath.find_last_of(L"\\/");
    if (nDot == CStdStr::npos || (nSeparator != CStdStr::npos && nDot < nSeparator))
        return CStdStr();
    return strPath.substr(nDot + 1);
}

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

namespace {

// Copies strSource to a writable temporary file beside strTarget, answered in strTemporary; on a
// failure nothing is left behind.
HRESULT CopyBeside(const CStdStr& strSource, const CStdStr& strTarget, CStdStr& strTemporary)
{
    strTemporary = strTarget + CStdStr::Format(L".%lx.saving", GetCurrentProcessId());
    if (!CopyFileW(strSource.c_str(), strTemporary.c_str(), FALSE))
    {
        const HRESULT hr = LastErrorAsHResult();
        DeleteFileW(strTemporary.c_str());
        return hr;
    }
    // The copy carries the source's attributes; a read-only one could not be replaced later.
    SetFileAttributesW(strTemporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    return S_OK;
}

// Moves one file over another; on a failure the moved file is deleted.
HRESULT MoveOver(const CStdStr& strFrom, const CStdStr& strTo)
{
    if (MoveFileExW(strFrom.c_str(), strTo.c_str(), MOVEFILE_REPLACE_EXISTING))
        return S_OK;
    const HRESULT hr = LastErrorAsHResult();
    DeleteFileW(strFrom.c_str());
    return hr;
}

}  // namespace

HRESULT ReplaceFileContent(const CStdStr& strSource, const CStdStr& strTarget)
{
    if (IsSameFile(strSource, strTarget))
        return S_FALSE;
    CStdStr strTemporary;
    const HRESULT hr = CopyBeside(strSource, strTarget, strTemporary);
    return FAILED(hr) ? hr : MoveOver(strTemporary, strTarget);
}

HRESULT ReplaceFileKeepingOld(const CStdStr& strSource, const CStdStr& strTarget, CStdStr& strKept)
{
    strKept.clear();
    if (IsSameFile(strSource, strTarget))
        return S_FALSE;
    CStdStr strTemporary;
    HRESULT hr = CopyBeside(strSource, strTarget, strTemporary);
    if (FAILED(hr))
        return hr;
    // Between the two moves the target is missing, never partly written: a reader then takes
    // the content from where the target's came from.
    const CStdStr strAside = strTarget + CStdStr::Format(L".%lx.kept", GetCurrentProcessId());
    const bool bHadTarget = FileExists(strTarget);
    if (bHadTarget && !MoveFileExW(strTarget.c_str(), strAside.c_str(), MOVEFILE_REPLACE_EXISTING))
    {
        hr = LastErrorAsHResult();
        DeleteFileW(strTemporary.c_str());
        return hr;
    }
    hr = MoveOver(strTemporary, strTarget);
    if (FAILED(hr))
    {
        PutBackKeptFile(bHadTarget ? strAside : CStdStr(), strTarget);
        return hr;
    }
    if (bHadTarget)
        strKept = strAside;
    return S_OK;
}

HRESULT PutBackKeptFile(const CStdStr& strKept, const CStdStr& strTarget)
{
    if (strKept.empty())
        return DeleteFileW(strTarget.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ? S_OK : LastErrorAsHResult();
    return MoveFileExW(strKept.c_str(), strTarget.c_str(), MOVEFILE_REPLACE_EXISTING) ? S_OK : LastErrorAsHResult();
}
