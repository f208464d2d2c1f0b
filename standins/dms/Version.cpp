#include "DmsObjects.h"

#include <cwctype>

namespace dms_standin {

namespace {

bool IsAttachment(const std::wstring& strLabel)
{
    return !strLabel.empty() && !iswdigit(strLabel[0]);
}

// Last-write time of a file, 0 when it does not exist.
ULONGLONG WriteTime(const std::wstring& strPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace

HRESULT OpenVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel, IVersion** ppVersion)
{
    return CreateDmsObject<CVersion>(ppVersion, [&](CVersion& version) {
        version.m_strLibrary = strLibrary;
        version.m_lNumber = lNumber;
        version.m_strLabel = strLabel;
    });
}

// ---- CVersions ----

STDMETHODIMP CVersions::get_Item(VARIANT vKey, IVersion** ppVersion)
{
    DMS_ENTER_OUT(L"IVersions::Item", ppVersion, nullptr);
    LONG lIndex = 0;
    std::wstring strLabel;
    VersionRecord record;
    if (VariantNumber(vKey, &lIndex))
    {
        if (lIndex < 1 || !CCatalog::VersionEntry(m_strLibrary, m_lNumber, static_cast<size_t>(lIndex - 1), &record))
            return Fail(DISP_E_BADINDEX, 3, L"Version index out of range: " + std::to_wstring(lIndex));
        return OpenVersion(m_strLibrary, m_lNumber, record.strLabel, ppVersion);
    }
    if (!VariantText(vKey, &strLabel))
        return Fail(DISP_E_TYPEMISMATCH, 3, L"A version is looked up by label or index");
    if (CCatalog::FindVersion(m_strLibrary, m_lNumber, strLabel, &record))
        return OpenVersion(m_strLibrary, m_lNumber, record.strLabel, ppVersion);
    return Fail(DISP_E_BADINDEX, 3,
                L"Version " + strLabel + L" not found for document " + std::to_wstring(m_lNumber));
}

STDMETHODIMP CVersions::get_Count(LONG* plCount)
{
    DMS_ENTER_OUT(L"IVersions::Count", plCount, 0);
    *plCount = static_cast<LONG>(CCatalog::VersionEntryCount(m_strLibrary, m_lNumber));
    return S_OK;
}

// ---- CVersion ----

HRESULT CVersion::Record(VersionRecord* pRecord)
{
    if (!CCatalog::FindVersion(m_strLibrary, m_lNumber, m_strLabel, pRecord))
        return Fail(E_FAIL, 9, L"The version " + m_strLabel + L" was deleted");
    return S_OK;
}

HRESULT CVersion::GetRecordText(const wchar_t* pszMethod, std::wstring VersionRecord::*pField, BSTR* pbstr)
{
    DMS_ENTER_OUT(pszMethod, pbstr, nullptr);
    VersionRecord record;
    HRESULT hr = Record(&record);
    return FAILED(hr) ? hr : ReturnString(record.*pField, pbstr);
}

HRESULT CVersion::SetRecordText(const wchar_t* pszMethod, const wchar_t* pszValueName, BSTR bstrValue)
{
    DMS_ENTER(pszMethod);
    HRESULT hr = Record(nullptr);
    if (SUCCEEDED(hr))
        CCatalog::SetVersionValue(m_strLibrary, m_lNumber, m_strLabel, pszValueName, bstrValue ? bstrValue : L"");
    return hr;
}

STDMETHODIMP CVersion::get_Comment(BSTR* pbstrComment)
{
    return GetRecordText(L"IVersion::Comment", &VersionRecord::strComment, pbstrComment);
}

STDMETHODIMP CVersion::put_Comment(BSTR bstrComment)
{
    return SetRecordText(L"IVersion::Comment", L"Comment", bstrComment);
}

STDMETHODIMP CVersion::get_Author(BSTR* pbstrAuthor)
{
    return GetRecordText(L"IVersion::Author", &VersionRecord::strAuthor, pbstrAuthor);
}

STDMETHODIMP CVersion::put_Typist(BSTR bstrTypist)
{
    return SetRecordText(L"IVersion::Typist", L"Typist", bstrTypist);
}

STDMETHODIMP CVersion::get_Typist(BSTR* pbstrTypist)
{
    return GetRecordText(L"IVersion::Typist", &VersionRecord::strTypist, pbstrTypist);
}

STDMETHODIMP CVersion::get_Date(DATE* pdtDate)
{
    return GetRecordValue(L"IVersion::Date", pdtDate, DATE(0), [](const VersionRecord& r) { return r.dtDate; });
}

STDMETHODIMP CVersion::get_Label(BSTR* pbstrLabel)
{
    DMS_ENTER_OUT(L"IVersion::Label", pbstrLabel, nullptr);
    std::wstring strShown;
    return ReturnString(CCatalog::ShownLabel(m_strLibrary, m_lNumber, m_strLabel, &strShown) ? strShown : m_strLabel,
                        pbstrLabel);
}

STDMETHODIMP CVersion::GetProfile(IProfile** ppProfile)
{
    DMS_ENTER_OUT(L"IVersion::GetProfile", ppProfile, nullptr);
    return OpenProfile(m_strLibrary, m_lNumber, ppProfile);
}

// Brings the server content into the client cache. A cache copy changed since it was last
// fetched or uploaded (the user's own edit) is kept. Failures are reported by the error number.
STDMETHODIMP CVersion::Fetch(LONG)
{
    DMS_ENTER(L"IVersion::Fetch");
    HRESULT hr = Record(nullptr);
    if (FAILED(hr))
        return hr;
    const std::wstring strServer = CCatalog::ServerFile(m_strLibrary, m_lNumber, m_strLabel);
    const std::wstring strCache = CCatalog::CacheFile(m_strLibrary, m_lNumber, m_strLabel);
    if (!FileExists(strServer))
    {
        SetError(11, L"The server holds no content for version " + m_strLabel);
        return S_OK;
    }
    const ULONGLONG ullCache = WriteTime(strCache);
    const bool bUnchanged = ullCache == CCatalog::SyncTime(m_strLibrary, m_lNumber, m_strLabel);
    const bool bStale = ullCache == 0 || (bUnchanged && WriteTime(strServer) > ullCache);
    if (!bStale)
        return S_OK;
    // The copy keeps the server file's write time.
    if (!EnsureFolder(FolderOf(strCache)) || !CopyFileW(strServer.c_str(), strCache.c_str(), FALSE))
        SetError(2, L"The content could not be written to " + strCache);
    else
        CCatalog::SetSyncTime(m_strLibrary, m_lNumber, m_strLabel, WriteTime(strCache));
    return S_OK;
}

STDMETHODIMP CVersion::Open(LONG)
{
    DMS_ENTER(L"IVersion::Open");
    return Record(nullptr);
}

STDMETHODIMP CVersion::get_CanNewVersion(VARIANT_BOOL* pbCan)
{
    return GetRecordValue(L"IVersion::CanNewVersion", pbCan, VARIANT_BOOL(VARIANT_FALSE), [](const VersionRecord& r) { return r.bCanNewVersion ? VARIANT_TRUE : VARIANT_FALSE; });
}

STDMETHODIMP CVersion::get_CanNewSubversion(VARIANT_BOOL* pbCan)
{
    return GetRecordValue(L"IVersion::CanNewSubversion", pbCan, VARIANT_BOOL(VARIANT_FALSE), [](const VersionRecord& r) { return r.bCanNewSubversion ? VARIANT_TRUE : VARIANT_FALSE; });
}

STDMETHODIMP CVersion::get_FilePath(BSTR* pbstrPath)
{
    DMS_ENTER_OUT(L"IVersion::FilePath", pbstrPath, nullptr);
    HRESULT hr = Record(nullptr);
    if (FAILED(hr))
        return hr;
    // The client keeps its local store in place, so a new version's file can be written at once.
    const std::wstring strPath = CCatalog::CacheFile(m_strLibrary, m_lNumber, m_strLabel);
    EnsureFolder(FolderOf(strPath));
    return ReturnString(strPath, pbstrPath);
}

// Adds a version that takes this one's extension; its stored content starts as a copy of this
// one's when bCopyContent is set, else empty.
HRESULT CVersion::AddVersionFrom(const std::wstring& strLabel, BSTR bstrComment, const VARIANT& vAuthor,
                                 const VARIANT& vTypist, bool bCopyContent, IVersion** ppVersion)
{
    VersionRecord source;
    HRESULT hr = Record(&source);
    if (FAILED(hr))
        return hr;
    const std::wstring strUser = CCatalog::CurrentUser();
    VersionRecord record;
    record.strLabel = strLabel;
    record.strComment = bstrComment ? bstrComment : L"";
    if (!VariantText(vAuthor, &record.strAuthor) || record.strAuthor.empty())
        record.strAuthor = strUser;
    if (!VariantText(vTypist, &record.strTypist) || record.strTypist.empty())
        record.strTypist = strUser;
    record.strExtension = source.strExtension;
    hr = bCopyContent ? CCatalog::AddVersionFromFile(m_strLibrary, m_lNumber, record,
                                                     CCatalog::ServerFile(m_strLibrary, m_lNumber, m_strLabel))
                      : CCatalog::AddVersion(m_strLibrary, m_lNumber, record, std::string());
    if (FAILED(hr))
        return Fail(hr, 11, L"The version " + strLabel + L" could not be stored");
    return OpenVersion(m_strLibrary, m_lNumber, strLabel, ppVersion);
}

STDMETHODIMP CVersion::NewSubversion(LONG, BSTR bstrComment, VARIANT vAuthor, VARIANT vTypist, LONG, LONG,
                                     IVersion** ppVersion)
{
    DMS_ENTER_OUT(L"IVersion::NewSubversion", ppVersion, nullptr);
    VersionRecord record;
    HRESULT hr = Record(&record);
    if (FAILED(hr))
        return hr;
    if (IsAttachment(m_strLabel))
        return Fail(E_FAIL, 10, L"An attachment has no sub-versions");
    if (!record.bCanNewSubversion)
        return Fail(E_ACCESSDENIED, 4, L"No new sub-version may be made of version " + m_strLabel);
    const std::wstring strLabel = CCatalog::NextSubversionLabel(m_strLibrary, m_lNumber, m_strLabel);
    if (strLabel.empty())
        return Fail(E_FAIL, 9, L"Version " + m_strLabel + L" has no sub-version label left");
    return AddVersionFrom(strLabel, bstrComment, vAuthor, vTypist, true, ppVersion);
}

STDMETHODIMP CVersion::Prepare(LONG, short* pnStatus)
{
    DMS_ENTER_OUT(L"IVersion::Prepare", pnStatus, 0);
    HRESULT hr = Record(nullptr);
    if (SUCCEEDED(hr))
        *pnStatus = 1;
    return hr;
}

// Sends the cache copy to the server store, unless another user holds the document.
STDMETHODIMP CVersion::UploadFile(LONG)
{
    DMS_ENTER(L"IVersion::UploadFile");
    HRESULT hr = Record(nullptr);
    if (FAILED(hr))
        return hr;
    const std::wstring strOwner = CCatalog::LockOwner(m_strLibrary, m_lNumber);
    if (!strOwner.empty() && !EqualsNoCase(strOwner, CCatalog::CurrentUser()))
        return Fail(E_ACCESSDENIED, 4, L"The document is checked out by " + strOwner);
    const std::wstring strCache = CCatalog::CacheFile(m_strLibrary, m_lNumber, m_strLabel);
    if (!FileExists(strCache))
        return Fail(E_FAIL, 2, L"There is no local file to upload: " + strCache);
    // The stored content is replaced all at once: a reader sees the old content or the new.
    const std::wstring strServer = CCatalog::ServerFile(m_strLibrary, m_lNumber, m_strLabel);
    const std::wstring strIncoming = strServer + L".incoming";
    if (!EnsureFolder(FolderOf(strServer)) || !CopyFileW(strCache.c_str(), strIncoming.c_str(), FALSE) ||
        !MoveFileExW(strIncoming.c_str(), strServer.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        DeleteFileW(strIncoming.c_str());
        return Fail(hr, 11, L"The upload to the server failed");
    }
    CCatalog::TouchVersion(m_strLibrary, m_lNumber, m_strLabel);
    CCatalog::SetSyncTime(m_strLibrary, m_lNumber, m_strLabel, WriteTime(strCache));
    return S_OK;
}

// A new version holds no content in the store until its file is uploaded: what the caller
// copies into its cache file and uploads is all it ever holds.
STDMETHODIMP CVersion::NewVersion(LONG, BSTR bstrComment, VARIANT vAuthor, VARIANT vTypist, LONG, LONG,
                                  IVersion** ppVersion)
{
    DMS_ENTER_OUT(L"IVersion::NewVersion", ppVersion, nullptr);
    VersionRecord record;
    HRESULT hr = Record(&record);
    if (FAILED(hr))
        return hr;
    if (IsAttachment(m_strLabel))
        return Fail(E_FAIL, 10, L"An attachment has no versions");
    if (!record.bCanNewVersion)
        return Fail(E_ACCESSDENIED, 4, L"No new version may be made of version " + m_strLabel);
    const std::wstring strLabel = CCatalog::NextVersionLabel(m_strLibrary, m_lNumber);
    return AddVersionFrom(strLabel, bstrComment, vAuthor, vTypist, false, ppVersion);
}

// Locks the document for the current user; status 0 (error 4) while another user holds it.
STDMETHODIMP CVersion::LockVersionForEdit(LONG, short* pnStatus)
{
    DMS_ENTER_OUT(L"IVersion::LockVersionForEdit", pnStatus, 0);
    HRESULT hr = Record(nullptr);
    if (FAILED(hr))
        return hr;
    std::wstring strOwner;
    if (!CCatalog::TryLock(m_strLibrary, m_lNumber, CCatalog::CurrentUser(), &strOwner))
    {
        SetError(4, L"The document is checked out by " + strOwner);
        return S_OK;
    }
    *pnStatus = 1;
    return S_OK;
}

// Checks the version in. With flags the document's lock ends here; without flags (a normal
// check-in of content) the document stays checked out until its profile is released.
// Status 0 (error 9) when the current user does not hold the lock.
STDMETHODIMP CVersion::UnlockVersion(LONG lFlags, short* pnStatus)
{
    DMS_ENTER_OUT(L"IVersion::UnlockVersion", pnStatus, 0);
    HRESULT hr = Record(nullptr);
    if (FAILED(hr))
        return hr;
    const std::wstring strUser = CCatalog::CurrentUser();
    const std::wstring strOwner = CCatalog::LockOwner(m_strLibrary, m_lNumber);
    if (strOwner.empty() || !EqualsNoCase(strOwner, strUser))
    {
        SetError(9, strOwner.empty() ? L"The document is not checked out"
                                     : L"The document is checked out by " + strOwner);
        return S_OK;
    }
    if (lFlags != 0)
        CCatalog::Unlock(m_strLibrary, m_lNumber, strUser);
    *pnStatus = 1;
    return S_OK;
}

STDMETHODIMP CVersion::Delete()
{
    DMS_ENTER(L"IVersion::Delete");
    HRESULT hr = Record(nullptr);
    if (FAILED(hr))
        return hr;
    const std::wstring strOwner = CCatalog::LockOwner(m_strLibrary, m_lNumber);
    if (!strOwner.empty() && !EqualsNoCase(strOwner, CCatalog::CurrentUser()))
        return Fail(E_ACCESSDENIED, 4, L"The document is checked out by " + strOwner);
    if (!CCatalog::LibraryRight(m_strLibrary, L"User.DeleteVersions"))
        return E_ACCESSDENIED;
    CCatalog::DeleteVersion(m_strLibrary, m_lNumber, m_strLabel);
    return S_OK;
}

}  // namespace dms_standin
