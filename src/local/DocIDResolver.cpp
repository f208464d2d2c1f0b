#include "local/DocIDResolver.h"

#include <windows.h>

#include <locale>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <vector>

#include "framework/Handles.h"
#include "framework/Logging.h"
#include "local/DocID.h"


namespace {

// The cache forms, matched without regard to case. Each capture is the shortest that lets the
// rest of the form follow: it ends where the next part first appears ("\DMNFSL1\", then each
// "\"; "-#", then "-v", then "-"). Written as "anything but" repeats rather than lazy ones, the
// captures are the same and a near miss costs linear time instead of quadratic. "[\s\S]" is any
// character.
//   DM 6: \\server\...\DMNFSL1\library\number\version\file
//   DM 5: library-#number-vversion-rest
const wchar_t kDM6Pattern[] =
    LR"(^\\\\(?:(?!\\DMNFSL1\\)[\s\S])*\\DMNFSL1\\([^\\]*)\\([^\\]*)\\([^\\]*)\\[\s\S]*$)";
const wchar_t kDM5Pattern[] = LR"(^((?:(?!-#)[\s\S])*)-#((?:(?!-v)[\s\S])*)-v([^-]*)-[\s\S]*$)";

// What a text must hold for each pattern to match it (letter case ignored, as the patterns
// ignore it): most texts a fetch resolves hold neither, and a match costs far more than a search.
const wchar_t kDM6Marker[] = L"\\DMNFSL1\\";
const wchar_t kDM5Marker[] = L"-#";

bool HoldsNoCase(const CStdStr& strText, const wchar_t* pszMarker)
{
    return LowerCase(strText).find(LowerCase(pszMarker)) != CStdStr::npos;
}

const size_t kMaxPieceLength = 999;
const DWORD kLongPathBuffer = 2600;

// The matcher recurses once per character it walks, up to half a kilobyte of stack each. Texts
// of up to MAX_PATH characters (every real file name, nearly every real path) are matched on the
// caller's stack; longer ones on a helper thread with room to spare. No Windows path is longer
// than 32,767 characters, so a longer text is no cache path and is not matched at all.
const size_t kInlineMatchLength = MAX_PATH;
const size_t kMaxPathLength = 32767;
const SIZE_T kMatchStackBytes = 32 * 1024 * 1024;

struct MatchJob
{
    const std::wregex* pRegex;
    const CStdStr* pText;
    std::wsmatch* pMatch;
    bool bMatched;
};

DWORD WINAPI MatchOnOwnStack(void* pParameter)
{
    MatchJob* pJob = static_cast<MatchJob*>(pParameter);
    try
    {
        pJob->bMatched = std::regex_match(*pJob->pText, *pJob->pMatch, *pJob->pRegex);
    }
    catch (...)
    {
        pJob->bMatched = false;
    }
    return 0;
}

bool MatchWhole(const std::wregex& regex, const CStdStr& strText, std::wsmatch& match)
{
    if (strText.size() <= kInlineMatchLength)
        return std::regex_match(strText, match, regex);
    if (strText.size() > kMaxPathLength)
        return false;
    MatchJob job = {&regex, &strText, &match, false};
    CFileHandle thread(CreateThread(nullptr, kMatchStackBytes, MatchOnOwnStack, &job,
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread)
        return false;
    WaitForSingleObject(thread.Get(), INFINITE);
    return job.bMatched;
}

// The group's characters, at most kMaxPieceLength of them.
void ExtractMatch(const std::wsmatch& match, size_t nGroup, CStdStr& strText)
{
    strText = match[nGroup].str().substr(0, kMaxPieceLength);
}

}  // namespace

DocIDResolver::DocIDResolver(const CStdStr& strLocalPath, const CStdStr& strShadowPath)
    : DocIDResolver(strLocalPath, strShadowPath, PowerDocsRegReader())
{
}

DocIDResolver::DocIDResolver(const CStdStr& strLocalPath, const CStdStr& strShadowPath,
                             const PowerDocsRegReader& reader)
{
    try
    {
        LOG_INFO(L"DocIDResolver::DocIDResolver", L"LocalPath = " + strLocalPath);
        LOG_INFO(L"DocIDResolver::DocIDResolver", L"ShadowPath = " + strShadowPath);
        Resolve(strLocalPath, strShadowPath, reader);
    }
    catch (...)
    {
        // Out of memory on the way: the file stays unresolved.
        m_bResolved = false;
    }
}

bool DocIDResolver::IsDM6Installed() const
{
    return PowerDocsRegReader().IsDM6Installed();
}

CStdStr DocIDResolver::AsDocID() const
{
    if (!m_bResolved || m_strLibraryName.empty() || m_strDocumentNumber.empty() || m_strVersionNumber.empty())
        throw std::runtime_error("Cannot create Document ID, the input was not parsed correctly.");
    return FormatDocID(DOCID_SCHEME, m_strLibraryName, m_strDocumentNumber, m_strVersionNumber);
}

bool DocIDResolver::IsFileWithinFolder(const CStdStr& strFile, const CStdStr& strFolder)
{
    const CStdStr strLongFile = LowerCase(EnsureLongFilePath(strFile));
    const CStdStr strLongFolder = LowerCase(EnsureLongFilePath(strFolder));
    return strLongFile.compare(0, strLongFolder.size(), strLongFolder) == 0;
}

CStdStr DocIDResolver::EnsureLongFilePath(const CStdStr& strPath)
{
    // The system expands only paths shorter than MAX_PATH (longer ones need the "\\?\" form and
    // are refused, or overrun the conversion on some systems): those pass unchanged. A path
    // without a "~" holds no short name and is long already.
    if (strPath.size() >= MAX_PATH || strPath.find(L'~') == CStdStr::npos)
        return strPath;
    std::vector<wchar_t> buffer(kLongPathBuffer, L'\0');
    const DWORD cch = GetLongPathNameW(strPath.c_str(), buffer.data(), kLongPathBuffer);
    if (cch == 0 || cch > kLongPathBuffer || buffer[0] == L'\0')
        return strPath;
    return CStdStr(buffer.data());
}

void DocIDResolver::Resolve(const CStdStr& strFile, const CStdStr& strShadow, const PowerDocsRegReader& reader)
{
    if (IsFileWithinFolder(strFile, strShadow))
    {
        ResolveFileName(strFile, reader);
        return;
    }
    const CStdStr strLocalPath = reader.GetLocalPath();
    if (!strLocalPath.empty() && IsFileWithinFolder(strFile, strLocalPath))
        ResolveFileName(strFile, reader);
}

void DocIDResolver::ResolveFileName(const CStdStr& strFile, const PowerDocsRegReader& reader)
{
    if (reader.IsDM6Installed())
        ResolveDM6formFileName(strFile);
    else
        ResolveDM5formFileName(strFile);
}

void DocIDResolver::ResolveDM5formFileName(const CStdStr& strFile)
{
    CStdStr strName = strFile;
    RemovePathInfo(strName);
    ExtractDocInfo(strName, kDM5Pattern);
}

void DocIDResolver::ResolveDM6formFileName(const CStdStr& strFile)
{
    ExtractDocInfo(strFile, kDM6Pattern);
}

namespace {

// The compiled form of a cache-form pattern, made once per process (compiling costs more
// than matching a path); null when the pattern does not parse.
const std::wregex* CompiledPattern(const wchar_t* pszPattern)
{
    static std::mutex s_mutex;
    static std::map<const wchar_t*, std::unique_ptr<std::wregex>> s_compiled;
    std::lock_guard<std::mutex> guard(s_mutex);
    auto it = s_compiled.find(pszPattern);
    if (it == s_compiled.end())
    {
        std::unique_ptr<std::wregex> pRegex;
        try
        {
            pRegex.reset(new std::wregex(pszPattern, std::regex::ECMAScript | std::regex::icase));
        }
        catch (const std::regex_error&)
        {
        }
        it = s_compiled.emplace(pszPattern, std::move(pRegex)).first;
    }
    return it->second.get();
}

}  // namespace

void DocIDResolver::ExtractDocInfo(const CStdStr& strText, const wchar_t* pszPattern)
{
    const wchar_t kFunction[] = L"DocIDResolver::ExtractDocInfo";
    if (!HoldsNoCase(strText, pszPattern == kDM6Pattern ? kDM6Marker : kDM5Marker))
    {
        LOG_ERROR(kFunction, L"Failed to match regular expression correctly");
        return;
    }
    const std::wregex* pRegex = CompiledPattern(pszPattern);
    if (!pRegex)
    {
        LOG_ERROR(kFunction, L"Failed to parse regular expression correctly");
        return;
    }

    std::wsmatch match;
    bool bMatched = false;
    try
    {
        bMatched = MatchWhole(*pRegex, strText, match);
    }
    catch (const std::regex_error&)
    {
        bMatched = false;
    }
    if (!bMatched)
    {
        LOG_ERROR(kFunction, L"Failed to match regular expression correctly");
        return;
    }

    ExtractMatch(match, 1, m_strLibraryName);
    ExtractMatch(match, 2, m_strDocumentNumber);
    ExtractMatch(match, 3, m_strVersionNumber);
    if (!m_strLibraryName.empty() && !m_strDocumentNumber.empty() && !m_strVersionNumber.empty())
        m_bResolved = true;
    else
        LOG_ERROR(kFunction,
                 CStdStr(L"Matched string positions correctly, but one of the pieces of data was an empty string"));
}

void DocIDResolver::RemovePathInfo(CStdStr& strPath)
{
    const size_t pos = strPath.rfind(L'\\');
    if (pos != CStdStr::npos)
        strPath = strPath.substr(pos + 1);
}

CStdStr StripID(const CStdStr& strID)
{
    return StripID(strID, PowerDocsRegReader());
}

CStdStr StripID(const CStdStr& strID, const PowerDocsRegReader& reader)
{
    DocIDFields fields;
    switch (ParseDocID(strID, fields))
    {
    case DocIDForm::Odma:
        return FormatDocID(DOCID_SCHEME, fields.strLibrary, fields.strNumber, fields.strVersion);
    case DocIDForm::Scheme:
        try
        {
            DocIDResolver resolver(fields.strBody, CStdStr(), reader);
            if (resolver.ResolvedOK())
                return resolver.AsDocID();
        }
        catch (...)
        {
            // Out of memory: the ID goes on as it came.
        }
        return strID;
    default:
        return strID;
    }
}
