#include "DmsObjects.h"
#include "framework/Handles.h"

#include <cwctype>
#include <iterator>

namespace dms_standin {

namespace {

const wchar_t kCheckLocked[] = L"%CheckLocked";
const wchar_t kLockInfo[] = L"%GetProfileLockInfo";
const wchar_t kDefaultFormName[] = L"DEF_PROF";

CProfile* ProfileObject(const IProfilePtr& spProfile)
{
    return static_cast<CProfile*>(spProfile.GetInterfacePtr());
}

// The column names in collection order: the stored columns, then the computed ones.
std::vector<std::wstring> ColumnNames()
{
    std::vector<std::wstring> names(std::begin(CCatalog::kColumns), std::end(CCatalog::kColumns));
    names.push_back(kCheckLocked);
    names.push_back(kLockInfo);
    return names;
}

}  // namespace

HRESULT OpenProfile(const std::wstring& strLibrary, LONG lNumber, IProfile** ppProfile)
{
    return CreateDmsObject<CProfile>(ppProfile, [&](CProfile& profile) { profile.InitStored(strLibrary, lNumber); });
}

// ---- CProfile ----

void CProfile::InitNew(const std::wstring& strLibrary, const std::wstring& strAppID, const std::wstring& strExtension)
{
    m_strLibrary = strLibrary;
    m_lNumber = 0;
    const std::wstring strUser = CCatalog::CurrentUser();
    m_newValues = {{L"DOCNAME", L""},     {L"APP_ID", strAppID},    {L"TYPE_ID", L"DEFAULT"},
                   {L"AUTHOR_ID", strUser}, {L"TYPIST_ID", strUser}, {L"CLIENT_ID", L""},
                   {L"MATTER_ID", L""},    {L"FormName", kDefaultFormName}};
    m_strExtension = strExtension;
}

void CProfile::InitStored(const std::wstring& strLibrary, LONG lNumber)
{
    m_strLibrary = strLibrary;
    m_lNumber = lNumber;
}

std::wstring CProfile::Value(const std::wstring& strName) const
{
    if (IsStored())
        return CCatalog::ProfileValue(m_strLibrary, m_lNumber, strName);
    auto it = m_newValues.find(strName);
    return it == m_newValues.end() ? std::wstring() : it->second;
}

void CProfile::SetValue(const std::wstring& strName, const std::wstring& strValue)
{
    if (IsStored())
        CCatalog::SetProfileValue(m_strLibrary, m_lNumber, strName, strValue);
    else
        m_newValues[strName] = strValue;
}

void CProfile::Store()
{
    if (IsStored())
        return;
    // The first version's content takes the extension the form was given, else the one the
    // profile's application registers.
    std::wstring strExtension = m_strExtension;
    if (strExtension.empty())
        CCatalog::ApplicationExtension(Value(L"APP_ID"), &strExtension);
    m_lNumber = CCatalog::CreateProfile(m_strLibrary, m_newValues, strExtension);
    m_newValues.clear();
}

HRESULT CProfile::RequireStored()
{
    if (IsStored() && !CCatalog::ProfileExists(m_strLibrary, m_lNumber))
        return Fail(E_FAIL, 9, L"The document was deleted");
    return IsStored() ? S_OK : Fail(E_FAIL, 9, L"The profile has not been saved");
}

// S_FALSE (with the owner) when another user holds the document's lock.
HRESULT CProfile::LockedByOther(std::wstring* pstrOwner) const
{
    *pstrOwner = IsStored() ? CCatalog::LockOwner(m_strLibrary, m_lNumber) : std::wstring();
    return !pstrOwner->empty() && !EqualsNoCase(*pstrOwner, CCatalog::CurrentUser()) ? S_FALSE : S_OK;
}

STDMETHODIMP CProfile::get_WorkingFolder(BSTR* pbstrFolder)
{
    DMS_ENTER_OUT(L"IProfile::WorkingFolder", pbstrFolder, nullptr);
    return ReturnString(Value(L"WorkingFolder"), pbstrFolder);
}

STDMETHODIMP CProfile::put_WorkingFolder(BSTR bstrFolder)
{
    DMS_ENTER(L"IProfile::WorkingFolder");
    SetValue(L"WorkingFolder", bstrFolder ? bstrFolder : L"");
    return S_OK;
}

STDMETHODIMP CProfile::get_Library(ILibrary** ppLibrary)
{
    DMS_ENTER_OUT(L"IProfile::Library", ppLibrary, nullptr);
    return OpenLibrary(m_strLibrary, ppLibrary);
}

STDMETHODIMP CProfile::get_FormName(BSTR* pbstrForm)
{
    DMS_ENTER_OUT(L"IProfile::FormName", pbstrForm, nullptr);
    std::wstring strForm = Value(L"FormName");
    return ReturnString(strForm.empty() ? std::wstring(kDefaultFormName) : strForm, pbstrForm);
}

STDMETHODIMP CProfile::get_DocNumber(LONG* plNumber)
{
    DMS_ENTER_OUT(L"IProfile::DocNumber", plNumber, 0);
    *plNumber = m_lNumber;
    return S_OK;
}

STDMETHODIMP CProfile::get_Versions(IVersions** ppVersions)
{
    DMS_ENTER_OUT(L"IProfile::Versions", ppVersions, nullptr);
    HRESULT hr = RequireStored();
    if (FAILED(hr))
        return hr;
    return CreateDmsObject<CVersions>(ppVersions, [&](CVersions& versions) {
        versions.m_strLibrary = m_strLibrary;
        versions.m_lNumber = m_lNumber;
    });
}

// The current version is also the latest: the stand-in has no older current version.
HRESULT CProfile::OpenCurrentVersion(IVersion** ppVersion)
{
    HRESULT hr = RequireStored();
    if (FAILED(hr))
        return hr;
    const std::wstring strLabel = CCatalog::CurrentVersionLabel(m_strLibrary, m_lNumber);
    if (strLabel.empty())
        return Fail(DISP_E_BADINDEX, 9, L"The document has no version");
    return OpenVersion(m_strLibrary, m_lNumber, strLabel, ppVersion);
}

STDMETHODIMP CProfile::get_CurrentVersion(IVersion** ppVersion)
{
    DMS_ENTER_OUT(L"IProfile::CurrentVersion", ppVersion, nullptr);
    return OpenCurrentVersion(ppVersion);
}

STDMETHODIMP CProfile::get_LatestVersion(IVersion** ppVersion)
{
    DMS_ENTER_OUT(L"IProfile::LatestVersion", ppVersion, nullptr);
    return OpenCurrentVersion(ppVersion);
}

// The client takes the closed local file back; the stand-in has nothing to do with it and
// answers with the profile itself.
STDMETHODIMP CProfile::PutLocalFile(LONG, LONG, BSTR, LONG, IDispatch** ppResult)
{
    DMS_ENTER_OUT(L"IProfile::PutLocalFile", ppResult, nullptr);
    IProfile* pThis = this;
    pThis->AddRef();
    *ppResult = pThis;
    return S_OK;
}

STDMETHODIMP CProfile::get_Columns(IColumns** ppColumns)
{
    DMS_ENTER_OUT(L"IProfile::Columns", ppColumns, nullptr);
    IProfile* pThis = this;
    return CreateDmsObject<CColumns>(ppColumns, [&](CColumns& columns) { columns.m_spProfile = pThis; });
}

// Flags 3 store a new profile checked out to its creator, who gives it back with ReleaseDoc.
STDMETHODIMP CProfile::Save(LONG lFlags, VARIANT_BOOL* pbSaved)
{
    DMS_ENTER_OUT(L"IProfile::Save", pbSaved, VARIANT_FALSE);
    const bool bNew = !IsStored() || m_bStoredEarly;
    m_bStoredEarly = false;
    Store();
    std::wstring strOwner;
    if (bNew && lFlags == 3)
        CCatalog::TryLock(m_strLibrary, m_lNumber, CCatalog::CurrentUser(), &strOwner);
    *pbSaved = VARIANT_TRUE;
    return S_OK;
}

STDMETHODIMP CProfile::get_FolderLink(IFolderLink** ppLink)
{
    DMS_ENTER_OUT(L"IProfile::FolderLink", ppLink, nullptr);
    IProfile* pThis = this;
    return CreateDmsObject<CFolderLink>(ppLink, [&](CFolderLink& link) { link.m_spProfile = pThis; });
}

STDMETHODIMP CProfile::AddFileForAttachment(VARIANT, VARIANT)
{
    DMS_ENTER(L"IProfile::AddFileForAttachment");
    return S_OK;
}

HRESULT CProfile::RefuseWhileLockedByOther(short* pnStatus)
{
    HRESULT hr = RequireStored();
    if (FAILED(hr))
        return hr;
    std::wstring strOwner;
    if (LockedByOther(&strOwner) == S_FALSE)
    {
        SetError(4, L"The document is checked out by " + strOwner);
        return S_OK;
    }
    *pnStatus = 1;
    return S_OK;
}

// Taking a profile for editing fails only while another user holds the document.
STDMETHODIMP CProfile::SelectForEdit(LONG, short* pnStatus)
{
    DMS_ENTER_OUT(L"IProfile::SelectForEdit", pnStatus, 0);
    HRESULT hr = RefuseWhileLockedByOther(pnStatus);
    if (SUCCEEDED(hr) && *pnStatus)
        process_state::SetSelectedForEdit(m_strLibrary, m_lNumber, true);
    return hr;
}

// Giving the profile back ends the current user's editing: a lock the user holds is released.
STDMETHODIMP CProfile::ReleaseDoc()
{
    DMS_ENTER(L"IProfile::ReleaseDoc");
    process_state::SetSelectedForEdit(m_strLibrary, m_lNumber, false);
    if (IsStored())
        CCatalog::Unlock(m_strLibrary, m_lNumber, CCatalog::CurrentUser());
    return S_OK;
}

STDMETHODIMP CProfile::DeleteDocument(LONG, short* pnStatus)
{
    DMS_ENTER_OUT(L"IProfile::DeleteDocument", pnStatus, 0);
    HRESULT hr = RefuseWhileLockedByOther(pnStatus);
    // Without the right the DMS refuses silently: status 0 and no error of its own.
    if (SUCCEEDED(hr) && *pnStatus && !CCatalog::LibraryRight(m_strLibrary, L"User.DeleteDocuments"))
        *pnStatus = 0;
    if (SUCCEEDED(hr) && *pnStatus)
        CCatalog::DeleteProfile(m_strLibrary, m_lNumber);
    return hr;
}

// The profile form's last step: "ok" stores a new profile.
STDMETHODIMP CProfile::FinishForm(LONG, VARIANT_BOOL* pbOK)
{
    DMS_ENTER_OUT(L"IProfile::FinishForm", pbOK, VARIANT_FALSE);
    std::wstring strVerb, strArgument;
    if (!NextFormAnswer(&strVerb, &strArgument) || strVerb != L"ok")
    {
        SetError(1, L"The profile form was cancelled");
        return S_OK;
    }
    Store();
    *pbOK = VARIANT_TRUE;
    return S_OK;
}

// The version chooser: "version <label>" chooses, anything else cancels (no version).
STDMETHODIMP CProfile::ChooseVersion(LONG, BSTR bstrTitle, IVersion** ppVersion)
{
    DMS_ENTER_OUT(L"IProfile::ChooseVersion", ppVersion, nullptr);
    process_state::RecordForm(std::wstring(L"choose-version ") + (bstrTitle ? bstrTitle : L""));
    HRESULT hr = RequireStored();
    if (FAILED(hr))
        return hr;
    std::wstring strVerb, strLabel;
    if (!NextFormAnswer(&strVerb, &strLabel) || strVerb != L"version")
    {
        SetError(1, L"The version chooser was cancelled");
        return S_OK;
    }
    VersionRecord record;
    if (!CCatalog::FindVersion(m_strLibrary, m_lNumber, strLabel, &record))
    {
        SetError(3, L"Version not found: " + strLabel);
        return S_OK;
    }
    return OpenVersion(m_strLibrary, m_lNumber, record.strLabel, ppVersion);
}

STDMETHODIMP CProfile::AddHistory(VARIANT vDescription, IHistoryEvent* pEvent)
{
    DMS_ENTER(L"IProfile::AddHistory");
    if (!pEvent)
        return Fail(E_POINTER, 3, L"No history event");
    HRESULT hr = RequireStored();
    if (FAILED(hr))
        return hr;
    HistoryRecord record;
    VariantText(vDescription, &record.strDescription);
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(pEvent->get_Text(&v)))
        VariantText(v, &record.strText);
    VariantClear(&v);
    if (SUCCEEDED(pEvent->get_UserName(&v)))
        VariantText(v, &record.strUser);
    VariantClear(&v);
    pEvent->get_Number1(&record.lNumber1);
    pEvent->get_Number2(&record.lNumber2);
    CCatalog::AddHistory(m_strLibrary, m_lNumber, record);
    return S_OK;
}

// Attaches a file under a label that is not a number; S_FALSE (and no object) when the profile
// already has an attachment with that label.
STDMETHODIMP CProfile::NewAttachment(LONG, BSTR bstrPath, VARIANT vAuthor, VARIANT vTypist, VARIANT vExtension,
                                     VARIANT vReserved, IVersion** ppVersion)
{
    DMS_ENTER_OUT(L"IProfile::NewAttachment", ppVersion, nullptr);
    HRESULT hr = RequireStored();
    if (FAILED(hr))
        return hr;
    VersionRecord record;
    if (!VariantText(vExtension, &record.strLabel) || record.strLabel.empty() || iswdigit(record.strLabel[0]))
        return Fail(E_INVALIDARG, 3, L"An attachment needs a label that does not begin with a digit");
    if (CCatalog::FindVersion(m_strLibrary, m_lNumber, record.strLabel, nullptr))
        return S_FALSE;
    const std::wstring strUser = CCatalog::CurrentUser();
    if (!VariantText(vAuthor, &record.strAuthor) || record.strAuthor.empty())
        record.strAuthor = strUser;
    if (!VariantText(vTypist, &record.strTypist) || record.strTypist.empty())
        record.strTypist = strUser;
    VariantText(vReserved, &record.strComment);
    // The stored file keeps the extension of the file given, else the label's.
    const std::wstring strPath = bstrPath ? bstrPath : L"";
    const size_t nDot = strPath.find_last_of(L'.');
    const size_t nSlash = strPath.find_last_of(L"\\/");
    record.strExtension = nDot != std::wstring::npos && (nSlash == std::wstring::npos || nDot > nSlash)
                              ? strPath.substr(nDot + 1)
                              : record.strLabel;
    for (wchar_t& c : record.strExtension)
        c = static_cast<wchar_t>(towlower(c));
    hr = CCatalog::AddVersionFromFile(m_strLibrary, m_lNumber, record, bstrPath ? bstrPath : L"");
    if (FAILED(hr))
        return Fail(hr, 11, L"The attachment could not be stored");
    return OpenVersion(m_strLibrary, m_lNumber, record.strLabel, ppVersion);
}

STDMETHODIMP CProfile::get_HistoryCount(LONG* plCount)
{
    DMS_ENTER_OUT(L"IProfile::HistoryCount", plCount, 0);
    if (IsStored())
        *plCount = static_cast<LONG>(CCatalog::History(m_strLibrary, m_lNumber).size());
    return S_OK;
}

// An entry as one line: description, text, the two numbers and the user, separated by tabs.
STDMETHODIMP CProfile::GetHistoryEntry(LONG lIndex, BSTR* pbstrEntry)
{
    DMS_ENTER_OUT(L"IProfile::GetHistoryEntry", pbstrEntry, nullptr);
    const std::vector<HistoryRecord> entries =
        IsStored() ? CCatalog::History(m_strLibrary, m_lNumber) : std::vector<HistoryRecord>();
    if (lIndex < 1 || static_cast<size_t>(lIndex) > entries.size())
        return Fail(DISP_E_BADINDEX, 3, L"History entry out of range: " + std::to_wstring(lIndex));
    const HistoryRecord& h = entries[lIndex - 1];
    return ReturnString(h.strDescription + L"\t" + h.strText + L"\t" + std::to_wstring(h.lNumber1) + L"\t" +
                            std::to_wstring(h.lNumber2) + L"\t" + h.strUser,
                        pbstrEntry);
}

// ---- CColumns, CColumn ----

STDMETHODIMP CColumns::get_Item(VARIANT vName, IColumn** ppColumn)
{
    DMS_ENTER_OUT(L"IColumns::Item", ppColumn, nullptr);
    const std::vector<std::wstring> names = ColumnNames();
    std::wstring strName;
    LONG lIndex = 0;
    if (VariantNumber(vName, &lIndex))
    {
        if (lIndex < 1 || static_cast<size_t>(lIndex) > names.size())
            return Fail(DISP_E_BADINDEX, 3, L"Column index out of range: " + std::to_wstring(lIndex));
        strName = names[lIndex - 1];
    }
    else if (!VariantText(vName, &strName))
        return Fail(DISP_E_TYPEMISMATCH, 3, L"A column is looked up by name or index");
    for (const std::wstring& strKnown : names)
        if (EqualsNoCase(strKnown, strName))
            return CreateDmsObject<CColumn>(ppColumn, [&](CColumn& column) {
                column.m_spProfile = m_spProfile;
                column.m_strName = strKnown;
            });
    return Fail(DISP_E_BADINDEX, 3, L"Column not found: " + strName);
}

STDMETHODIMP CColumns::get_Count(LONG* plCount)
{
    DMS_ENTER_OUT(L"IColumns::Count", plCount, 0);
    *plCount = static_cast<LONG>(ColumnNames().size());
    return S_OK;
}

// Values are written as they are set; committing has nothing left to do.
STDMETHODIMP CColumns::Commit()
{
    DMS_ENTER(L"IColumns::Commit");
    return S_OK;
}

STDMETHODIMP CColumn::get_Name(BSTR* pbstrName)
{
    DMS_ENTER_OUT(L"IColumn::Name", pbstrName, nullptr);
    return ReturnString(m_strName, pbstrName);
}

STDMETHODIMP CColumn::get_Computed(VARIANT_BOOL* pbComputed)
{
    DMS_ENTER_OUT(L"IColumn::Computed", pbComputed, VARIANT_FALSE);
    *pbComputed = m_strName[0] == L'%' ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

// "%CheckLocked": 0 not locked, 1 locked by another user, 2 locked by the current user.
// "%GetProfileLockInfo": library, document number, lock state text, lock time, owner.
STDMETHODIMP CColumn::get_Value(VARIANT* pvValue)
{
    if (!pvValue)
        return E_POINTER;
    VariantInit(pvValue);
    DMS_ENTER_ANSWERING(L"IColumn::Value");
    const CProfile* pProfile = ProfileObject(m_spProfile);
    std::wstring strTime;
    const std::wstring strOwner =
        pProfile->IsStored() ? CCatalog::LockOwner(pProfile->Library(), pProfile->Number(), &strTime) : L"";
    if (m_strName == kCheckLocked)
    {
        V_VT(pvValue) = VT_I4;
        V_I4(pvValue) = strOwner.empty() ? 0 : EqualsNoCase(strOwner, CCatalog::CurrentUser()) ? 2 : 1;
        return S_OK;
    }
    if (m_strName == kLockInfo)
    {
        const std::wstring fields[5] = {pProfile->Library(), std::to_wstring(pProfile->Number()),
                                        strOwner.empty() ? L"" : L"Checked out", strTime, strOwner};
        SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 5);
        if (!psa)
            return E_OUTOFMEMORY;
        for (LONG i = 0; i < 5; ++i)
        {
            CScopedBstr bstr(SysAllocString(fields[i].c_str()));
            SafeArrayPutElement(psa, &i, bstr.Get());  // copies the string
        }
        V_VT(pvValue) = VT_ARRAY | VT_BSTR;
        V_ARRAY(pvValue) = psa;
        return S_OK;
    }
    V_VT(pvValue) = VT_BSTR;
    V_BSTR(pvValue) = SysAllocString(pProfile->Value(m_strName).c_str());
    return V_BSTR(pvValue) ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CColumn::put_Value(VARIANT vValue)
{
    DMS_ENTER(L"IColumn::Value");
    if (m_strName[0] == L'%')
        return Fail(E_ACCESSDENIED, 10, L"A computed column cannot be set: " + m_strName);
    std::wstring strValue;
    VariantText(vValue, &strValue);
    ProfileObject(m_spProfile)->SetValue(m_strName, strValue);
    return S_OK;
}

// ---- CFolderLink ----

STDMETHODIMP CFolderLink::get_Count(LONG* plCount)
{
    DMS_ENTER_OUT(L"IFolderLink::Count", plCount, 0);
    *plCount = ProfileObject(m_spProfile)->Value(L"Folder").empty() ? 0 : 1;
    return S_OK;
}

STDMETHODIMP CFolderLink::LinkToProject(IProject* pProject)
{
    DMS_ENTER(L"IFolderLink::LinkToProject");
    if (!pProject)
        return Fail(E_POINTER, 3, L"No folder");
    CScopedBstr bstrName;
    HRESULT hr = pProject->get_Name(bstrName.Receive());
    if (FAILED(hr))
        return hr;
    ProfileObject(m_spProfile)->SetValue(L"Folder", bstrName ? bstrName.Get() : L"");
    return S_OK;
}

}  // namespace dms_standin
