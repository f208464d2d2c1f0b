#include "local/DocID.h"

#include <cwchar>
#include <string>

#include "framework/Handles.h"
#include "local/ClientKeys.h"


namespace {

const wchar_t kFieldSeparators[] = L"\\/";
const wchar_t kOdmaPrefix[] = L"::odma\\pcdocs\\";

void ReadFields(DocIDFields& fields)
{
    CStdStr strTail = fields.strBody;
    size_t pos = strTail.find_first_of(kFieldSeparators);
    if (pos != CStdStr::npos)
    {
        fields.strLibrary = strTail.substr(0, pos);
        strTail = strTail.substr(pos + 1);
    }
    pos = strTail.find_first_of(kFieldSeparators);
    fields.strNumber = strTail.substr(0, pos);
    if (pos != CStdStr::npos)
        fields.strVersion = strTail.substr(pos + 1);
}

}  // namespace

long DocIDFields::Number() const
{
    return wcstol(strNumber.c_str(), nullptr, 10);
}

DocIDForm ParseDocID(const CStdStr& strID, DocIDFields& fields)
{
    fields = DocIDFields();
    DocIDForm form = DocIDForm::None;
    size_t pos = LowerCase(strID).find(kOdmaPrefix);
    if (pos != CStdStr::npos)
    {
        form = DocIDForm::Odma;
        fields.strBody = strID.substr(pos + wcslen(kOdmaPrefix));
    }
    else if ((pos = strID.find(L"//")) != CStdStr::npos)
    {
        form = DocIDForm::Scheme;
        fields.strBody = strID.substr(pos + 2);
    }
    if (form != DocIDForm::None)
        ReadFields(fields);
    return form;
}

CStdStr FormatDocID(const wchar_t* pszScheme, const CStdStr& strLibrary, const CStdStr& strNumber,
                    const CStdStr& strVersion)
{
    return pszScheme + strLibrary + L"/" + strNumber + L"/" + strVersion;
}

CStdStr FormatDocID(const wchar_t* pszScheme, const CStdStr& strLibrary, long lNumber, const CStdStr& strVersion)
{
    return FormatDocID(pszScheme, strLibrary, CStdStr(std::to_wstring(lNumber)), strVersion);
}

HRESULT TranslateOdmaID(const CStdStr& strOdmaID, CStdStr& strDocID)
{
    DocIDFields fields;
    if (ParseDocID(LowerCase(strOdmaID), fields) != DocIDForm::Odma)
        return E_FAIL;
    EnsureOnlineDocIdAndLibrary(fields.strLibrary, fields.strNumber);
    strDocID = FormatDocID(DOCID_SCHEME_TRANSLATED, fields.strLibrary, fields.strNumber, fields.strVersion);
    return S_OK;
}

void EnsureOnlineDocIdAndLibrary(CStdStr& strLibrary, CStdStr& strDocNumber)
{
    const size_t pos = strLibrary.find(L'_');
    if (pos == CStdStr::npos)
        return;
    const CStdStr strOnline = strLibrary.substr(0, pos);
    const CStdStr strOwner = strLibrary.substr(pos + 1);

    const CStdStr strKey = CStdStr(CLIENT_OFFLINE_RECORDS_KEY) + L"\\" + strOnline + L"\\" + strOwner + L"\\" + strDocNumber;
    CRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, strKey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return;

    DWORD dwType = 0;
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    if (RegQueryValueExW(key.Get(), CLIENT_OFFLINE_DOC_NUMBER, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue),
                         &cbValue) != ERROR_SUCCESS ||
        dwType != REG_DWORD || cbValue != sizeof(dwValue))
        return;

    strLibrary = strOnline;
    strDocNumber = std::to_wstring(static_cast<long>(dwValue));
}

CStdStr FormatAttachmentDocID(const CStdStr& strSourceDocID, const CStdStr& strAttachmentLabel)
{
    DocIDFields fields;
    if (ParseDocID(strSourceDocID, fields) != DocIDForm::Scheme)
        return strAttachmentLabel;
    const CStdStr strScheme = strSourceDocID.substr(0, strSourceDocID.size() - fields.strBody.size());
    return FormatDocID(strScheme.c_str(), fields.strLibrary, fields.strNumber, strAttachmentLabel);
}
