#include "save/FileFormats.h"

#include <cwchar>
#include <vector>

#include "framework/Logging.h"

namespace {

// The non-empty fields of the list; runs of "|" count as one separator.
std::vector<CStdStr> SplitFields(const wchar_t* pszList)
{
    std::vector<CStdStr> fields;
    CStdStr strField;
    for (const wchar_t* p = pszList;; ++p)
    {
        if (*p == L'|' || *p == L'\0')
        {
            if (!strField.empty())
                fields.push_back(strField);
            strField.clear();
            if (*p == L'\0')
                break;
        }
        else
        {
            strField.push_back(*p);
        }
    }
    return fields;
}

// The extension of a pattern: its last three characters. A shorter pattern has none, so it
// matches no extension and gives "".
CStdStr ExtensionOfPattern(const CStdStr& strPattern)
{
    if (strPattern.size() < 3)
        return CStdStr();
    return strPattern.substr(strPattern.size() - 3);
}

}  // namespace

CFileFormats::CFileFormats(const wchar_t* pszList)
{
    wcsncpy(m_szList, pszList ? pszList : L"", BUFFER_CHARS - 1);
    m_szList[BUFFER_CHARS - 1] = L'\0';
}

int CFileFormats::FindFormat(const wchar_t* pszExtension, int nFallbackIndex) const
{
    try
    {
        const std::vector<CStdStr> fields = SplitFields(m_szList);
        const CStdStr strWanted(pszExtension);
        for (size_t i = 1; i < fields.size(); i += 2)
        {
            const CStdStr strExtension = ExtensionOfPattern(fields[i]);
            if (!strExtension.empty() && _wcsicmp(strExtension.c_str(), strWanted.c_str()) == 0)
                return static_cast<int>(i / 2 + 1);
        }
    }
    catch (...)
    {
        LOG_ERROR(L"CFileFormats::FindFormat", L"Caught unknown error");
    }
    return nFallbackIndex;
}

CStdStr CFileFormats::GetExtForIndex(int nIndex) const
{
    try
    {
        if (nIndex < 1)
            return CStdStr();
        const std::vector<CStdStr> fields = SplitFields(m_szList);
        const size_t field = 2 * static_cast<size_t>(nIndex);  // 1-based field number
        if (field > fields.size())
            return CStdStr();
        return ExtensionOfPattern(fields[field - 1]);
    }
    catch (...)
    {
        LOG_ERROR(L"CFileFormats::GetExtForIndex", L"Caught unknown error");
    }
    return CStdStr();
}
