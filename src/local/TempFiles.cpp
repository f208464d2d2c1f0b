#include "local/TempFiles.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "framework/Handles.h"

namespace {

const size_t kMaxPlaceholderPath = 240;
const int kUniqueFileAttempts = 5;

// Makes temporary names unique within the process.
unsigned long g_ulTempFileCounter = 0;

CStdStr SystemTempPath()
{
    wchar_t szPath[MAX_PATH + 1] = {};
    const DWORD cch = GetTempPathW(MAX_PATH, szPath);
    if (cch == 0 || cch > MAX_PATH)
        return CStdStr();
    return CStdStr(szPath, cch);
}

bool FolderExists(const CStdStr& strPath)
{
    const DWORD dwAttributes = GetFileAttributesW(strPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

CStdStr PrefixDot(const CStdStr& strExtension)
{
    if (!strExtension.empty() && strExtension[0] != L'.')
        return L"." + strExtension;
    return strExtension;
}

// Replaces the extension of the file name at the end of a path (or removes it).
CStdStr ReplaceExtension(const CStdStr& strPath, const CStdStr& strExtension)
{
    const size_t posName = strPath.find_last_of(L"\\/");
    const size_t posDot = strPath.rfind(L'.');
    const bool bHasExtension = posDot != CStdStr::npos && (posName == CStdStr::npos || posDot > posName);
    return (bHasExtension ? CStdStr(strPath.substr(0, posDot)) : strPath) + strExtension;
}

// Writes the placeholder text to a file opened in text mode; false if it cannot be opened.
bool WritePlaceholderLines(const CStdStr& strPath)
{
    FILE* pFile = _wfopen(strPath.c_str(), L"wt");
    if (!pFile)
        return false;
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    fputs("PlaceHolder for Corvane Hummingbird DM integration...\n", pFile);
    fprintf(pFile, "Generated : %02d:%02d %02d/%02d/%04d\n", now.wHour, now.wMinute, now.wDay, now.wMonth,
            now.wYear);
    fputs("If you see this file please contact your system administrator.\n", pFile);
    fclose(pFile);
    return true;
}

}  // namespace

CStdStr GetTempFolder()
{
    static const CStdStr s_strTempFolder = [] {
        CStdStr strFolder = SystemTempPath() + L"Corvane\\";
        if (!FolderExists(strFolder))
            CreateDirectoryW(strFolder.c_str(), nullptr);
        return CStdStr(strFolder + CStdStr::Format(L"cmtemp%lx\\", GetCurrentProcessId()));
    }();

    // Something may have cleaned the temporary area since the last call.
    if (!FolderExists(s_strTempFolder) && !CreateDirectoryW(s_strTempFolder.c_str(), nullptr))
    {
        // A cleaner that is still deleting the folder gets a moment to finish.
        const DWORD kRetryAfterMs = 100;
        Sleep(kRetryAfterMs);
        CreateDirectoryW(s_strTempFolder.c_str(), nullptr);
    }
    return s_strTempFolder;
}

namespace {

// The next name to try for a unique temporary file "~ctfXXXXXXXX" with the extension, cut to
// the length a placeholder may have.
CStdStr NextTempFileName(const CStdStr& strFolder, const CStdStr& strDotExtension)
{
    const unsigned long ulName =
        (g_ulTempFileCounter + GetTickCount()) ^ (static_cast<unsigned long>(GetCurrentProcessId()) << 16);
    ++g_ulTempFileCounter;
    return TruncatePath(ReplaceExtension(strFolder + CStdStr::Format(L"~ctf%08lX.tmp", ulName), strDotExtension),
                        kMaxPlaceholderPath);
}

enum class Claim { Made, NameTaken, Failed };

// Tries new names in the temporary folder until claim makes a file of one, and answers it (empty
// when claim fails or every try finds the name taken). A name that is taken (by another process
// or an earlier run) moves the counter far away before the next try.
template <typename ClaimName>
CStdStr ClaimUniqueTempFile(const CStdStr& strExtension, ClaimName claim)
{
    const CStdStr strDotExtension = PrefixDot(strExtension);
    const CStdStr strFolder = GetTempFolder();
    for (int nAttempt = 0; nAttempt < kUniqueFileAttempts; ++nAttempt)
    {
        const CStdStr strPath = NextTempFileName(strFolder, strDotExtension);
        switch (claim(strPath))
        {
        case Claim::Made:
            return strPath;
        case Claim::Failed:
            return CStdStr();
        case Claim::NameTaken:
            g_ulTempFileCounter += static_cast<unsigned long>(rand());
            break;
        }
    }
    return CStdStr();
}

}  // namespace

CStdStr CreateUniqueTempFile(const CStdStr& strExtension)
{
    return ClaimUniqueTempFile(strExtension, [](const CStdStr& strPath) {
        CFileHandle file(CreateFileW(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        return file ? Claim::Made : Claim::NameTaken;
    });
}

CStdStr CopyToUniqueTempFile(const CStdStr& strSource, const CStdStr& strExtension)
{
    return ClaimUniqueTempFile(strExtension, [&](const CStdStr& strPath) {
        // The copy itself claims the name: it never overwrites a file that is there.
        if (CopyFileW(strSource.c_str(), strPath.c_str(), TRUE))
            return Claim::Made;
        const DWORD dwError = GetLastError();
        return dwError == ERROR_FILE_EXISTS || dwError == ERROR_ALREADY_EXISTS ? Claim::NameTaken : Claim::Failed;
    });
}

CStdStr CreatePlaceholderFile(const CStdStr& strName, const CStdStr& strExtension)
{
    const CStdStr strDotExtension = strExtension.empty() ? CStdStr(L".tmp") : PrefixDot(strExtension);

    CStdStr strPath;
    if (!strName.empty())
    {
        CStdStr strCleanName = strName;
        ReplaceInvalidFileNameChars(strCleanName);
        strPath = TruncatePath(GetTempFolder() + strCleanName, kMaxPlaceholderPath);
    }
    else
    {
        strPath = CreateUniqueTempFile(strDotExtension);
    }

    if (!strPath.empty() && WritePlaceholderLines(strPath))
        return strPath;

    // Let the system choose (and create) a name in our folder instead.
    wchar_t szFallback[MAX_PATH] = {};
    if (GetTempFileNameW(GetTempFolder().c_str(), L"ctf", 0, szFallback) && WritePlaceholderLines(szFallback))
        return CStdStr(szFallback);
    return CStdStr();
}

void ReplaceInvalidFileNameChars(CStdStr& strName)
{
    for (wchar_t& ch : strName)
    {
        switch (ch)
        {
        case L'/':
        case L'*':
        case L'?':
        case L'<':
        case L'>':
        case L'|':
        case L'"':
        case L'\\':
        case L':':
            ch = L'_';
            break;
        default:
            break;
        }
    }
}

CStdStr TruncatePath(const CStdStr& strPath, size_t nLimit)
{
    if (strPath.size() <= nLimit)
        return strPath;
    const size_t posDot = strPath.rfind(L'.');
    const CStdStr strExtension = posDot == CStdStr::npos ? CStdStr() : CStdStr(strPath.substr(posDot));
    // An "extension" as long as the limit cannot be kept: then the path is simply cut.
    if (strExtension.size() >= nLimit)
        return strPath.substr(0, nLimit);
    return strPath.substr(0, nLimit - strExtension.size()) + strExtension;
}
