#include "local/FileReplace.h"

#include "framework/Handles.h"

namespace {

// A file opened for its identity, with its times and attributes, which one query of the open
// file answers.
struct COpenedFile
{
    CFileHandle file;
    FILE_BASIC_INFO basic = {};

    bool Open(const CStdStr& strPath)
    {
        file.Reset(CreateFileW(strPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file && GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof(basic));
    }
};

// True when both open files are one file. Their volume's serial number and file index prove it,
// but reading the serial number asks the volume, a round trip far dearer than the file's own
// times; so times and attributes come first. One file seen through two handles shows the same,
// and a difference proves two files. Only when they all match is the identity read.
bool AreOneFile(const COpenedFile& first, const COpenedFile& second)
{
    if (first.basic.CreationTime.QuadPart != second.basic.CreationTime.QuadPart ||
        first.basic.LastWriteTime.QuadPart != second.basic.LastWriteTime.QuadPart ||
        first.basic.ChangeTime.QuadPart != second.basic.ChangeTime.QuadPart ||
        first.basic.FileAttributes != second.basic.FileAttributes)
        return false;
    BY_HANDLE_FILE_INFORMATION a = {}, b = {};
    return GetFileInformationByHandle(first.file.Get(), &a) && GetFileInformationByHandle(second.file.Get(), &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Whether strSource and strTarget name one file; dwSourceAttributes receives the source's
// attributes, INVALID_FILE_ATTRIBUTES when it could not be read.
bool IdentifyFiles(const CStdStr& strSource, const CStdStr& strTarget, DWORD& dwSourceAttributes)
{
    COpenedFile source, target;
    const bool bSource = source.Open(strSource);
    dwSourceAttributes = bSource ? source.basic.FileAttributes : INVALID_FILE_ATTRIBUTES;
    return bSource && target.Open(strTarget) && AreOneFile(source, target);
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
    DWORD dwAttributes = 0;
    return IdentifyFiles(strFirst, strSecond, dwAttributes);
}

namespace {

// Copies strSource, whose attributes are dwSourceAttributes, to a writable temporary file beside
// strTarget, answered in strTemporary; on a failure nothing is left behind.
HRESULT CopyBeside(const CStdStr& strSource, DWORD dwSourceAttributes, const CStdStr& strTarget, CStdStr& strTemporary)
{
    strTemporary = strTarget + CStdStr::Format(L".%lx.saving", GetCurrentProcessId());
    if (!CopyFileW(strSource.c_str(), strTemporary.c_str(), FALSE))
    {
        const HRESULT hr = LastErrorAsHResult();
        DeleteFileW(strTemporary.c_str());
        return hr;
    }
    // The copy carries the source's attributes; a read-only one could not be replaced later. Most
    // sources carry nothing to clear, and setting attributes costs a round trip of its own.
    if ((dwSourceAttributes & ~(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL)) != 0)
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
    DWORD dwSourceAttributes = 0;
    if (IdentifyFiles(strSource, strTarget, dwSourceAttributes))
        return S_FALSE;
    CStdStr strTemporary;
    const HRESULT hr = CopyBeside(strSource, dwSourceAttributes, strTarget, strTemporary);
    return FAILED(hr) ? hr : MoveOver(strTemporary, strTarget);
}

HRESULT ReplaceFileKeepingOld(const CStdStr& strSource, const CStdStr& strTarget, CStdStr& strKept)
{
    strKept.clear();
    DWORD dwSourceAttributes = 0;
    if (IdentifyFiles(strSource, strTarget, dwSourceAttributes))
        return S_FALSE;
    CStdStr strTemporary;
    HRESULT hr = CopyBeside(strSource, dwSourceAttributes, strTarget, strTemporary);
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
