#pragma once
// The stand-in's DOCSObjects classes. Each object names catalog entries (library, document
// number, version label) and reads the catalog on every call, so that changes made by another
// process are seen at once. Fault names are "<interface>::<member>", properties without get/put.
#include <string>
#include <utility>
#include <vector>

#include <dms/DmsTypes.h>

#include "Catalog.h"
#include "DmsObject.h"

namespace dms_standin {

// Objects for existing catalog entries, as other objects hand them out.
HRESULT OpenApplication(IApplication** ppApp);
HRESULT OpenLibrary(const std::wstring& strLibrary, ILibrary** ppLibrary);
HRESULT OpenProfile(const std::wstring& strLibrary, LONG lNumber, IProfile** ppProfile);
HRESULT OpenVersion(const std::wstring& strLibrary, LONG lNumber, const std::wstring& strLabel, IVersion** ppVersion);

// Takes the next scripted form answer: its first word in *pstrVerb, the rest in *pstrArgument.
// False when the script is empty.
bool NextFormAnswer(std::wstring* pstrVerb, std::wstring* pstrArgument);

// The DMS application: libraries, current user, parent window, connection state.
class CApplication : public CDmsObject<IApplication, IApplicationState>
{
public:
    DMS_QI_TABLE(CApplication, IApplication, QI_ENTRY(CApplication, IApplicationState), )

    STDMETHODIMP get_Libraries(ILibraries** ppLibraries) override;
    STDMETHODIMP get_UserName(BSTR* pbstrUser) override;
    STDMETHODIMP get_Version(BSTR* pbstrVersion) override;
    STDMETHODIMP get_CurrentLibrary(ILibrary** ppLibrary) override;
    STDMETHODIMP SetCurrentLibrary(BSTR bstrName) override;
    STDMETHODIMP Refresh() override;
    STDMETHODIMP get_ParentWindow(LONG* plHwnd) override;
    STDMETHODIMP put_ParentWindow(LONG lHwnd) override;
    STDMETHODIMP get_ConnectionState(LONG* plState) override;
    STDMETHODIMP put_ConnectionState(LONG lState) override;
};

// The libraries of the catalog, by name (any letter case) or 1-based index.
class CLibraries : public CDmsObject<ILibraries>
{
public:
    DMS_QI_TABLE(CLibraries, ILibraries)

    STDMETHODIMP get_Item(VARIANT vKey, ILibrary** ppLibrary) override;
    STDMETHODIMP get_Count(LONG* plCount) override;
};

// One library, with the DM 5 and DM 6 profile-form entry points.
class CLibrary : public CDmsObject<ILibrary, IDM6LibraryForms, IDM5LibraryForms>
{
public:
    DMS_QI_TABLE(CLibrary, ILibrary, QI_ENTRY(CLibrary, IDM6LibraryForms), QI_ENTRY(CLibrary, IDM5LibraryForms), )

    std::wstring m_strName;

    STDMETHODIMP get_Application(IApplication** ppApp) override;
    STDMETHODIMP get_UserID(BSTR* pbstrUser) override;
    STDMETHODIMP GetProfile(VARIANT vDocNumber, IProfile** ppProfile) override;
    STDMETHODIMP get_Description(BSTR* pbstrText) override;
    STDMETHODIMP get_ProfileCount(LONG* plCount) override;
    STDMETHODIMP get_Name(BSTR* pbstrName) override;
    STDMETHODIMP GetApplicationExtension(BSTR bstrAppID, BSTR* pbstrExtension) override;
    STDMETHODIMP GetApplicationID(BSTR bstrExtension, BSTR* pbstrAppID) override;
    STDMETHODIMP get_Rights(IRights** ppRights) override;
    STDMETHODIMP NewProfile(LONG lFlags, VARIANT vAppID, IProfile** ppProfile) override;
    STDMETHODIMP NewProfileForm(LONG lFlags, VARIANT vAppID, VARIANT* pvProject, VARIANT* pvProfile,
                                VARIANT vReserved, short* pnStatus) override;
    STDMETHODIMP NewProfileForm(IDM5ProfileForm** ppForm) override;
    STDMETHODIMP get_Forms(IForms** ppForms) override;
    STDMETHODIMP get_Applications(IApplications** ppApps) override;

    DMS_RESERVED(1) DMS_RESERVED(2) DMS_RESERVED(3) DMS_RESERVED(4) DMS_RESERVED(5) DMS_RESERVED(6)
    DMS_RESERVED(7) DMS_RESERVED(8) DMS_RESERVED(9) DMS_RESERVED(10) DMS_RESERVED(11) DMS_RESERVED(12)
    DMS_RESERVED(13) DMS_RESERVED(14) DMS_RESERVED(15) DMS_RESERVED(16) DMS_RESERVED(17) DMS_RESERVED(18)
    DMS_RESERVED(19) DMS_RESERVED(20) DMS_RESERVED(21) DMS_RESERVED(22) DMS_RESERVED(23) DMS_RESERVED(24)
    DMS_RESERVED(25) DMS_RESERVED(26) DMS_RESERVED(27) DMS_RESERVED(28) DMS_RESERVED(29) DMS_RESERVED(30)
    DMS_RESERVED(31) DMS_RESERVED(32) DMS_RESERVED(33) DMS_RESERVED(34) DMS_RESERVED(35) DMS_RESERVED(36)
    DMS_RESERVED(37) DMS_RESERVED(38) DMS_RESERVED(39) DMS_RESERVED(40) DMS_RESERVED(41)
};

// The profile forms of a library as the catalog held them when the collection was made.
class CForms : public CDmsObject<IForms>
{
public:
    DMS_QI_TABLE(CForms, IForms)

    std::vector<FormRecord> m_forms;

    STDMETHODIMP get_Item(VARIANT vIndex, IForm** ppForm) override;
    STDMETHODIMP get_Count(LONG* plCount) override;
};

class CForm : public CDmsObject<IForm>
{
public:
    DMS_QI_TABLE(CForm, IForm)

    FormRecord m_form;

    STDMETHODIMP get_Name(BSTR* pbstrName) override;
    STDMETHODIMP get_Type(LONG* plType) override;
};

// The registered applications (application ID, extension) when the collection was made.
class CApplications : public CDmsObject<IApplications>
{
public:
    DMS_QI_TABLE(CApplications, IApplications)

    std::vector<std::pair<std::wstring, std::wstring>> m_apps;

    STDMETHODIMP get_Item(VARIANT vIndex, IApplicationEntry** ppEntry) override;
    STDMETHODIMP get_Count(LONG* plCount) override;
};

class CApplicationEntry : public CDmsObject<IApplicationEntry>
{
public:
    DMS_QI_TABLE(CApplicationEntry, IApplicationEntry)

    std::pair<std::wstring, std::wstring> m_app;

    STDMETHODIMP get_ApplicationID(BSTR* pbstrAppID) override;
    STDMETHODIMP get_Extension(BSTR* pbstrExtension) override;
};

// The current user's rights in a library ("User.DeleteVersions", ...); every right is granted
// unless the catalog holds 0 for it under the library's "Rights" key.
class CRights : public CDmsObject<IRights>
{
public:
    DMS_QI_TABLE(CRights, IRights)

    std::wstring m_strLibrary;

    STDMETHODIMP get_Item(VARIANT vKey, IRight** ppRight) override;
    STDMETHODIMP get_Count(LONG* plCount) override;
};

class CRight : public CDmsObject<IRight>
{
public:
    DMS_QI_TABLE(CRight, IRight)

    std::wstring m_strName;
    bool m_bGranted = false;

    STDMETHODIMP get_Value(VARIANT* pvValue) override;
    STDMETHODIMP get_Name(BSTR* pbstrName) override;
};

// A document profile: stored in the catalog, or new (document number 0) until it is saved or
// its form is confirmed.
class CProfile : public CDmsObject<IProfile>
{
public:
    DMS_QI_TABLE(CProfile, IProfile)

    // A new profile of a library with the default column values.
    void InitNew(const std::wstring& strLibrary, const std::wstring& strAppID, const std::wstring& strExtension);
    void InitStored(const std::wstring& strLibrary, LONG lNumber);
    // A profile value: column, "FormName", "WorkingFolder" or "Folder".
    std::wstring Value(const std::wstring& strName) const;
    void SetValue(const std::wstring& strName, const std::wstring& strValue);
    // Stores a new profile in the catalog (with version 1); nothing for a stored one.
    void Store();
    // Stores the profile now, as a form does that saves before its last step: the profile's
    // first Save still counts as the one that makes it.
    void StoreEarly()
    {
        Store();
        m_bStoredEarly = true;
    }
    bool IsStored() const { return m_lNumber != 0; }
    const std::wstring& Library() const { return m_strLibrary; }
    LONG Number() const { return m_lNumber; }

    STDMETHODIMP get_WorkingFolder(BSTR* pbstrFolder) override;
    STDMETHODIMP put_WorkingFolder(BSTR bstrFolder) override;
    STDMETHODIMP get_Library(ILibrary** ppLibrary) override;
    STDMETHODIMP get_FormName(BSTR* pbstrForm) override;
    STDMETHODIMP get_DocNumber(LONG* plNumber) override;
    STDMETHODIMP get_Versions(IVersions** ppVersions) override;
    STDMETHODIMP get_CurrentVersion(IVersion** ppVersion) override;
    STDMETHODIMP PutLocalFile(LONG lFlags, LONG lMode, BSTR bstrPath, LONG lReserved, IDispatch** ppResult) override;
    STDMETHODIMP get_Columns(IColumns** ppColumns) override;
    STDMETHODIMP Save(LONG lFlags, VARIANT_BOOL* pbSaved) override;
    STDMETHODIMP get_FolderLink(IFolderLink** ppLink) override;
    STDMETHODIMP get_LatestVersion(IVersion** ppVersion) override;
    STDMETHODIMP AddFileForAttachment(VARIANT vLibrary, VARIANT vPath) override;
    STDMETHODIMP SelectForEdit(LONG lFlags, short* pnStatus) override;
    STDMETHODIMP ReleaseDoc() override;
    STDMETHODIMP DeleteDocument(LONG lFlags, short* pnStatus) override;
    STDMETHODIMP FinishForm(LONG lMode, VARIANT_BOOL* pbOK) override;
    STDMETHODIMP ChooseVersion(LONG lFlags, BSTR bstrTitle, IVersion** ppVersion) override;
    STDMETHODIMP AddHistory(VARIANT vDescription, IHistoryEvent* pEvent) override;
    STDMETHODIMP NewAttachment(LONG lFlags, BSTR bstrPath, VARIANT vAuthor, VARIANT vTypist, VARIANT vExtension,
                               VARIANT vReserved, IVersion** ppVersion) override;
    STDMETHODIMP get_HistoryCount(LONG* plCount) override;
    STDMETHODIMP GetHistoryEntry(LONG lIndex, BSTR* pbstrEntry) override;

    DMS_RESERVED(11) DMS_RESERVED(13) DMS_RESERVED(14) DMS_RESERVED(16) DMS_RESERVED(17) DMS_RESERVED(18)
    DMS_RESERVED(19) DMS_RESERVED(20) DMS_RESERVED(21) DMS_RESERVED(22) DMS_RESERVED(23) DMS_RESERVED(27)
    DMS_RESERVED(28) DMS_RESERVED(30) DMS_RESERVED(31) DMS_RESERVED(33) DMS_RESERVED(34) DMS_RESERVED(36)
    DMS_RESERVED(37) DMS_RESERVED(39)

private:
    HRESULT RequireStored();
    HRESULT LockedByOther(std::wstring* pstrOwner) const;
    HRESULT OpenCurrentVersion(IVersion** ppVersion);
    // The status of a call that another user's lock refuses: 1, or 0 with the DMS error.
    HRESULT RefuseWhileLockedByOther(short* pnStatus);

    std::wstring m_strLibrary;
    LONG m_lNumber = 0;
    ColumnMap m_newValues;         // values of a new profile until it is stored
    std::wstring m_strExtension;   // content extension of a new profile's first version
    bool m_bStoredEarly = false;
};

// The columns of a profile: the stored ones and the computed "%CheckLocked" and
// "%GetProfileLockInfo".
class CColumns : public CDmsObject<IColumns>
{
public:
    DMS_QI_TABLE(CColumns, IColumns)

    IProfilePtr m_spProfile;  // a CProfile

    STDMETHODIMP get_Item(VARIANT vName, IColumn** ppColumn) override;
    STDMETHODIMP get_Count(LONG* plCount) override;
    STDMETHODIMP Commit() override;
};

class CColumn : public CDmsObject<IColumn>
{
public:
    DMS_QI_TABLE(CColumn, IColumn)

    IProfilePtr m_spProfile;  // a CProfile
    std::wstring m_strName;

    STDMETHODIMP get_Name(BSTR* pbstrName) override;
    STDMETHODIMP get_Computed(VARIANT_BOOL* pbComputed) override;
    STDMETHODIMP get_Value(VARIANT* pvValue) override;
    STDMETHODIMP put_Value(VARIANT vValue) override;
    DMS_RESERVED(3) DMS_RESERVED(4)
};

// The folder (project) a profile is filed in: at most one, kept as the profile value "Folder".
class CFolderLink : public CDmsObject<IFolderLink>
{
public:
    DMS_QI_TABLE(CFolderLink, IFolderLink)

    IProfilePtr m_spProfile;  // a CProfile

    STDMETHODIMP get_Count(LONG* plCount) override;
    STDMETHODIMP LinkToProject(IProject* pProject) override;
    DMS_RESERVED(2)
};

class CProject : public CDmsObject<IProject>
{
public:
    DMS_QI_TABLE(CProject, IProject)

    std::wstring m_strName;

    STDMETHODIMP get_Name(BSTR* pbstrName) override;
    STDMETHODIMP get_ProjectID(LONG* plID) override;
    STDMETHODIMP AddDocument(VARIANT vDocument, short* pnStatus) override;
};

// The versions and attachments of a profile, in creation order, by label or 1-based index.
class CVersions : public CDmsObject<IVersions>
{
public:
    DMS_QI_TABLE(CVersions, IVersions)

    std::wstring m_strLibrary;
    LONG m_lNumber = 0;

    STDMETHODIMP get_Item(VARIANT vKey, IVersion** ppVersion) override;
    STDMETHODIMP get_Count(LONG* plCount) override;
};

// One version or attachment: its content in the server store and the client cache, and the
// document's lock.
class CVersion : public CDmsObject<IVersion>
{
public:
    DMS_QI_TABLE(CVersion, IVersion)

    std::wstring m_strLibrary;
    LONG m_lNumber = 0;
    std::wstring m_strLabel;

    STDMETHODIMP get_Comment(BSTR* pbstrComment) override;
    STDMETHODIMP put_Comment(BSTR bstrComment) override;
    STDMETHODIMP get_Author(BSTR* pbstrAuthor) override;
    STDMETHODIMP put_Typist(BSTR bstrTypist) override;
    STDMETHODIMP get_Typist(BSTR* pbstrTypist) override;
    STDMETHODIMP get_Date(DATE* pdtDate) override;
    STDMETHODIMP get_Label(BSTR* pbstrLabel) override;
    STDMETHODIMP GetProfile(IProfile** ppProfile) override;
    STDMETHODIMP Fetch(LONG lFlags) override;
    STDMETHODIMP Open(LONG lMode) override;
    STDMETHODIMP get_CanNewVersion(VARIANT_BOOL* pbCan) override;
    STDMETHODIMP get_CanNewSubversion(VARIANT_BOOL* pbCan) override;
    STDMETHODIMP get_FilePath(BSTR* pbstrPath) override;
    STDMETHODIMP NewSubversion(LONG lFlags, BSTR bstrComment, VARIANT vAuthor, VARIANT vTypist, LONG lReserved1,
                               LONG lReserved2, IVersion** ppVersion) override;
    STDMETHODIMP Prepare(LONG lFlags, short* pnStatus) override;
    STDMETHODIMP UploadFile(LONG lFlags) override;
    STDMETHODIMP NewVersion(LONG lFlags, BSTR bstrComment, VARIANT vAuthor, VARIANT vTypist, LONG lReserved1,
                            LONG lReserved2, IVersion** ppVersion) override;
    STDMETHODIMP LockVersionForEdit(LONG lFlags, short* pnStatus) override;
    STDMETHODIMP UnlockVersion(LONG lFlags, short* pnStatus) override;
    STDMETHODIMP Delete() override;

    DMS_RESERVED(15) DMS_RESERVED(16) DMS_RESERVED(17) DMS_RESERVED(18) DMS_RESERVED(21) DMS_RESERVED(22)
    DMS_RESERVED(23) DMS_RESERVED(25) DMS_RESERVED(28) DMS_RESERVED(29) DMS_RESERVED(30)

private:
    // The version's catalog record; a failure (the version was deleted) when it is gone.
    HRESULT Record(VersionRecord* pRecord);
    // One text field of the catalog record, read or written as the named method.
    HRESULT GetRecordText(const wchar_t* pszMethod, std::wstring VersionRecord::*pField, BSTR* pbstr);
    HRESULT SetRecordText(const wchar_t* pszMethod, const wchar_t* pszValueName, BSTR bstrValue);
    // Any other field of the catalog record, read as the named method.
    template <class T, class Read>
    HRESULT GetRecordValue(const wchar_t* pszMethod, T* pOut, T empty, Read read)
    {
        DMS_ENTER_OUT(pszMethod, pOut, empty);
        VersionRecord record;
        HRESULT hr = Record(&record);
        if (SUCCEEDED(hr))
            *pOut = read(record);
        return hr;
    }
    HRESULT AddVersionFrom(const std::wstring& strLabel, BSTR bstrComment, const VARIANT& vAuthor,
                           const VARIANT& vTypist, bool bCopyContent, IVersion** ppVersion);
};

// The document selection form: shows nothing, answers from the form script.
class CSelectForm : public CDmsObject<ISelectForm>
{
public:
    DMS_QI_TABLE(CSelectForm, ISelectForm)

    STDMETHODIMP get_Title(BSTR* pbstrTitle) override;
    STDMETHODIMP put_Title(BSTR bstrTitle) override;
    STDMETHODIMP get_Profiles(IChosenProfiles** ppProfiles) override;
    STDMETHODIMP Show(LONG lMode, short* pnStatus) override;
    DMS_RESERVED(3) DMS_RESERVED(4) DMS_RESERVED(5) DMS_RESERVED(7) DMS_RESERVED(8) DMS_RESERVED(9)
    DMS_RESERVED(10) DMS_RESERVED(11) DMS_RESERVED(12)

private:
    std::wstring m_strTitle;
    std::vector<std::pair<std::wstring, LONG>> m_chosen;
};

class CChosenProfiles : public CDmsObject<IChosenProfiles>
{
public:
    DMS_QI_TABLE(CChosenProfiles, IChosenProfiles)

    std::vector<std::pair<std::wstring, LONG>> m_chosen;

    STDMETHODIMP get_Item(VARIANT vIndex, IProfile** ppProfile) override;
    STDMETHODIMP get_Count(LONG* plCount) override;
};

// The DM 5 profile form: collects field values, and on a confirmed Show stores the new profile.
class CDM5ProfileForm : public CDmsObject<IDM5ProfileForm>
{
public:
    DMS_QI_TABLE(CDM5ProfileForm, IDM5ProfileForm)

    std::wstring m_strLibrary;

    STDMETHODIMP SetField(BSTR bstrName, VARIANT vValue) override;
    STDMETHODIMP Show(LONG lFlags, VARIANT vExtension, IDispatch** ppProfile, VARIANT_BOOL* pbOK) override;
    DMS_RESERVED(1) DMS_RESERVED(2) DMS_RESERVED(3) DMS_RESERVED(4)

private:
    ColumnMap m_fields;
};

// A history event to be recorded with IProfile::AddHistory.
class CHistoryEvent : public CDmsObject<IHistoryEvent>
{
public:
    DMS_QI_TABLE(CHistoryEvent, IHistoryEvent)

    CHistoryEvent();
    ~CHistoryEvent() override;
    STDMETHODIMP get_Text(VARIANT* pvText) override;
    STDMETHODIMP put_Text(VARIANT vText) override;
    STDMETHODIMP get_Number1(LONG* plValue) override;
    STDMETHODIMP put_Number1(LONG lValue) override;
    STDMETHODIMP get_Number2(LONG* plValue) override;
    STDMETHODIMP put_Number2(LONG lValue) override;
    STDMETHODIMP get_UserName(VARIANT* pvUser) override;
    STDMETHODIMP put_UserName(VARIANT vUser) override;
    DMS_RESERVED(3) DMS_RESERVED(4) DMS_RESERVED(5) DMS_RESERVED(6) DMS_RESERVED(9) DMS_RESERVED(10)
    DMS_RESERVED(13) DMS_RESERVED(14) DMS_RESERVED(15) DMS_RESERVED(16)

private:
    VARIANT m_vText;
    VARIANT m_vUser;
    LONG m_lNumber1 = 0;
    LONG m_lNumber2 = 0;
};

// The client's session component; the logon is process-wide.
class CSession : public CDmsObject<IDMSession>
{
public:
    DMS_QI_TABLE(CSession, IDMSession)

    STDMETHODIMP Logon(LONG lFlags) override;
    STDMETHODIMP get_LoggedOn(VARIANT_BOOL* pbLoggedOn) override;
};

}  // namespace dms_standin
