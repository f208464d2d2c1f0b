#include "dms/DocID.h"

#include <cwchar>
#include <locale>
#include <string>

#include "framework/Handles.h"


namespace {

const wchar_t kFieldSeparators[] = L"\\/";
const wchar_t kOdmaPrefix[] = L"::odma\\pcdocs\\";
const size_t kOdmaPrefixLength = 14;
// The offline component's records, per online library, owner and offline document number.
const wchar_t kAttacheKey[] = L"SOFTWARE\\Hummingbird\\PowerDocs\\Core\\Plugins\\attache\\";

// Takes library, number and version text from what follows the scheme. A missing first
// separator leaves the library empty and the whole text for the number; a missing second one
// leaves the version empty.
void SplitFields(const CStdStr& strRest, CStdStr& strLibrary, CStdStr& strNumber, CStdStr& strVersion)
{
    CStdStr strTail = strRest;
    size_t pos = strTail.find_first_of(kFieldSeparators);
    if (pos != CStdStr::npos)
    {
        strLibrary = strTail.substr(0, pos);
        strTail = strTail.substr(pos + 1);
    }
    pos = strTail.find_first_of(kFieldSeparators);
    if (pos != CStdStr::npos)
    {
        strNumber = strTail.substr(0, pos);
        strVersion = strTail.substr(pos + 1);
    }
    else
    {
        strNumber = strTail;
    }
}

}  // namespace

CStdStr ToLowerClassic(CStdStr str)
{
    if (!str.empty())
        std::use_facet<std::ctype<wchar_t>>(std::locale::classic()).tolower(&str[0], &str[0] + str.size());
    return str;
}

bool SplitDocID(const CStdStr& strDocID, CStdStr& strLibrary, long& lDocNumber, CStdStr& strVersion)
{
    strLibrary.clear();
    strVersion.clear();
    lDocNumber = 0;

    const size_t pos = strDocID.find(L"//");
    if (pos == CStdStr::npos)
        return false;

    CStdStr strNumber;
    SplitFields(strDocID.substr(pos + 2), strLibrary, strNumber, strVersion);
    lDocNumber = wcstol(strNumber.c_str(), nullptr, 10);
    return true;
}

HRESULT TranslateOdmaID(const CStdStr& strOdmaID, CStdStr& strDocID)
{
    const CStdStr strLower = ToLowerClassic(strOdmaID);
    const size_t pos = strLower.find(kOdmaPrefix);
    if (pos == CStdStr::npos)
        return E_FAIL;

    CStdStr strLibrary, strNumber, strVersion;
    SplitFields(strLower.substr(pos + kOdmaPrefixLength), strLibrary, strNumber, strVersion);
    EnsureOnlineDocIdAndLibrary(strLibrary, strNumber, strVersion);

    strDocID = L"powerdocs://" + strLibrary + L"/" + strNumber + L"/" + strVersion;
    return S_OK;
}

void EnsureOnlineDocIdAndLibrary(CStdStr& strLibrary, CStdStr& strDocNumber, const CStdStr&)
{
    const size_t pos = strLibrary.find(L'_');
    if (pos == CStdStr::npos)
        return;
    const CStdStr strOnline = strLibrary.substr(0, pos);
    const CStdStr strOwner = strLibrary.substr(pos + 1);

    const CStdStr strKey = kAttacheKey + strOnline + L"\\" + strOwner + L"\\" + strDocNumber;
    CRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, strKey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return;

    DWORD dwType = 0;
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    if (RegQueryValueExW(key.Get(), L"DocNumber", nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cbValue) !=
            ERROR_SUCCESS ||
        dwType != REG_DWORD || cbValue != sizeof(dwValue))
        return;

    strLibrary = strOnline;
    strDocNumber = std::to_wstring(static_cast<long>(dwValue));
}

CStdStr FormatProfileDocID(const CStdStr& strLibrary, long lDocNumber, const CStdStr& strVersion)
{
    return L"PowerDocs://" + strLibrary + L"/" + std::to_wstring(lDocNumber) + L"/" + strVersion;
}

CStdStr FormatImportedDocID(const CStdStr& strLibrary, long lDocNumber)
{
    return L"PowerDocs://" + strLibrary + L"/" + std::to_wstring(lDocNumber) + L"/1";
}

CStdStr FormatSelectedDocID(const CStdStr& strLibrary, long lDocNumber, const CStdStr& strVersion)
{
    return L"PowerDocs://" + strLibrary + L"/" + std::to_wstring(lDocNumber) + L"/" + strVersion;
}

CStdStr FormatAttachmentDocID(const CStdStr& strSourceDocID, const CStdStr& strAttachmentLabel)
{
    const size_t pos = strSourceDocID.rfind(L'/');
    const CStdStr strPrefix = pos == CStdStr::npos ? CStdStr() : CStdStr(strSourceDocID.substr(0, pos + 1));
    return strPrefix + strAttachmentLabel;
}
