#include "DmsObjects.h"

namespace dms_standin {

namespace {
const wchar_t* const kRightNames[] = {L"User.DeleteVersions", L"User.DeleteDocuments", L"User.EditProfiles"};
}  // namespace

// ---- CLibrary ----

STDMETHODIMP CLibrary::get_Application(IApplication** ppApp)
{
    DMS_ENTER_OUT(L"ILibrary::Application", ppApp, nullptr);
    return OpenApplication(ppApp);
}

STDMETHODIMP CLibrary::get_UserID(BSTR* pbstrUser)
{
    DMS_ENTER_OUT(L"ILibrary::UserID", pbstrUser, nullptr);
    return ReturnString(CCatalog::CurrentUser(), pbstrUser);
}

STDMETHODIMP CLibrary::GetProfile(VARIANT vDocNumber, IProfile** ppProfile)
{
    DMS_ENTER_OUT(L"ILibrary::GetProfile", ppProfile, nullptr);
    VARIANT number;
    VariantInit(&number);
    if (FAILED(VariantChangeType(&number, &vDocNumber, 0, VT_I4)))
        return Fail(DISP_E_TYPEMISMATCH, 3, L"A document number is expected");
    const LONG lNumber = V_I4(&number);
    if (!CCatalog::ProfileExists(m_strName, lNumber))
        return Fail(DISP_E_BADINDEX, 3,
                    L"Document " + std::to_wstring(lNumber) + L" not found in library " + m_strName);
    return OpenProfile(m_strName, lNumber, ppProfile);
}

STDMETHODIMP CLibrary::get_Description(BSTR* pbstrText)
{
    DMS_ENTER_OUT(L"ILibrary::Description", pbstrText, nullptr);
    return ReturnString(L"Library " + m_strName, pbstrText);
}

STDMETHODIMP CLibrary::get_ProfileCount(LONG* plCount)
{
    DMS_ENTER_OUT(L"ILibrary::ProfileCount", plCount, 0);
    *plCount = static_cast<LONG>(CCatalog::Profiles(m_strName).size());
    return S_OK;
}

STDMETHODIMP CLibrary::get_Name(BSTR* pbstrName)
{
    DMS_ENTER_OUT(L"ILibrary::Name", pbstrName, nullptr);
    return ReturnString(m_strName, pbstrName);
}

STDMETHODIMP CLibrary::GetApplicationExtension(BSTR bstrAppID, BSTR* pbstrExtension)
{
    DMS_ENTER_OUT(L"ILibrary::GetApplicationExtension", pbstrExtension, nullptr);
    const std::wstring strAppID = bstrAppID ? bstrAppID : L"";
    std::wstring strExtension;
    if (!CCatalog::ApplicationExtension(strAppID, &strExtension))
        return Fail(DISP_E_BADINDEX, 3, L"Application not found: " + strAppID);
    return ReturnString(strExtension, pbstrExtension);
}

STDMETHODIMP CLibrary::GetApplicationID(BSTR bstrExtension, BSTR* pbstrAppID)
{
    DMS_ENTER_OUT(L"ILibrary::GetApplicationID", pbstrAppID, nullptr);
    const std::wstring strExtension = bstrExtension ? bstrExtension : L"";
    std::wstring strAppID;
    if (!CCatalog::ApplicationForExtension(strExtension, &strAppID))
        return Fail(DISP_E_BADINDEX, 3, L"No application for the extension " + strExtension);
    return ReturnString(strAppID, pbstrAppID);
}

STDMETHODIMP CLibrary::get_Rights(IRights** ppRights)
{
    DMS_ENTER_OUT(L"ILibrary::Rights", ppRights, nullptr);
    return CreateDmsObject<CRights>(ppRights, [&](CRights& rights) { rights.m_strLibrary = m_strName; });
}

// With the profile-form flags 0xF0 the argument is the new profile's application; with any
// other flags it names the form the profile is made from.
STDMETHODIMP CLibrary::NewProfile(LONG lFlags, VARIANT vAppID, IProfile** ppProfile)
{
    DMS_ENTER_OUT(L"ILibrary::NewProfile", ppProfile, nullptr);
    std::wstring strText;
    VariantText(vAppID, &strText);
    const bool bForm = lFlags != 0xF0;
    return CreateDmsObject<CProfile>(ppProfile, [&](CProfile& profile) {
        profile.InitNew(m_strName, bForm ? std::wstring() : strText, L"");
        if (bForm)
            profile.SetValue(L"FormName", strText);
    });
}

STDMETHODIMP CLibrary::get_Forms(IForms** ppForms)
{
    DMS_ENTER_OUT(L"ILibrary::Forms", ppForms, nullptr);
    return CreateDmsObject<CForms>(ppForms, [&](CForms& forms) { forms.m_forms = CCatalog::Forms(m_strName); });
}

STDMETHODIMP CLibrary::get_Applications(IApplications** ppApps)
{
    DMS_ENTER_OUT(L"ILibrary::Applications", ppApps, nullptr);
    return CreateDmsObject<CApplications>(ppApps, [](CApplications& apps) { apps.m_apps = CCatalog::Applications(); });
}

// ---- CForms, CForm, CApplications, CApplicationEntry ----

namespace {

// The 0-based position of a 1-based numeric index into n items, or -1 when it is out of range.
LONG ItemIndex(const VARIANT& vIndex, size_t n)
{
    LONG lIndex = 0;
    if (!VariantNumber(vIndex, &lIndex) || lIndex < 1 || static_cast<size_t>(lIndex) > n)
        return -1;
    return lIndex - 1;
}

}  // namespace

STDMETHODIMP CForms::get_Item(VARIANT vIndex, IForm** ppForm)
{
    DMS_ENTER_OUT(L"IForms::Item", ppForm, nullptr);
    const LONG i = ItemIndex(vIndex, m_forms.size());
    if (i < 0)
        return Fail(DISP_E_BADINDEX, 3, L"Form index out of range");
    return CreateDmsObject<CForm>(ppForm, [&](CForm& form) { form.m_form = m_forms[i]; });
}

STDMETHODIMP CForms::get_Count(LONG* plCount)
{
    DMS_ENTER_OUT(L"IForms::Count", plCount, 0);
    *plCount = static_cast<LONG>(m_forms.size());
    return S_OK;
}

STDMETHODIMP CForm::get_Name(BSTR* pbstrName)
{
    DMS_ENTER_OUT(L"IForm::Name", pbstrName, nullptr);
    return ReturnString(m_form.strName, pbstrName);
}

STDMETHODIMP CForm::get_Type(LONG* plType)
{
    DMS_ENTER_OUT(L"IForm::Type", plType, 0);
    *plType = m_form.lType;
    return S_OK;
}

STDMETHODIMP CApplications::get_Item(VARIANT vIndex, IApplicationEntry** ppEntry)
{
    DMS_ENTER_OUT(L"IApplications::Item", ppEntry, nullptr);
    const LONG i = ItemIndex(vIndex, m_apps.size());
    if (i < 0)
        return Fail(DISP_E_BADINDEX, 3, L"Application index out of range");
    return CreateDmsObject<CApplicationEntry>(ppEntry, [&](CApplicationEntry& entry) { entry.m_app = m_apps[i]; });
}

STDMETHODIMP CApplications::get_Count(LONG* plCount)
{
    DMS_ENTER_OUT(L"IApplications::Count", plCount, 0);
    *plCount = static_cast<LONG>(m_apps.size());
    return S_OK;
}

STDMETHODIMP CApplicationEntry::get_ApplicationID(BSTR* pbstrAppID)
{
    DMS_ENTER_OUT(L"IApplicationEntry::ApplicationID", pbstrAppID, nullptr);
    return ReturnString(m_app.first, pbstrAppID);
}

STDMETHODIMP CApplicationEntry::get_Extension(BSTR* pbstrExtension)
{
    DMS_ENTER_OUT(L"IApplicationEntry::Extension", pbstrExtension, nullptr);
    return ReturnString(m_app.second, pbstrExtension);
}

// The DM 6 form: on "ok" hands out a new profile (stored when it is saved or finished) and,
// for "ok <folder>", a folder to file it in. "stored" does the same with the profile stored at
// once, as a form that saves before its last step does.
STDMETHODIMP CLibrary::NewProfileForm(LONG, VARIANT vAppID, VARIANT* pvProject, VARIANT* pvProfile, VARIANT,
                                      short* pnStatus)
{
    if (!pvProject || !pvProfile || !pnStatus)
        return E_POINTER;
    VariantInit(pvProject);
    VariantInit(pvProfile);
    *pnStatus = 0;
    DMS_ENTER_ANSWERING(L"IDM6LibraryForms::NewProfileForm");
    std::wstring strVerb, strFolder;
    if (!NextFormAnswer(&strVerb, &strFolder) || (strVerb != L"ok" && strVerb != L"stored"))
    {
        SetError(1, L"The profile form was cancelled");
        return S_OK;
    }
    std::wstring strAppID;
    VariantText(vAppID, &strAppID);
    IProfile* pProfile = nullptr;
    HRESULT hr = CreateDmsObject<CProfile>(&pProfile, [&](CProfile& profile) {
        profile.InitNew(m_strName, strAppID, L"");
        if (strVerb == L"stored")
            profile.StoreEarly();
    });
    if (FAILED(hr))
        return hr;
    V_VT(pvProfile) = VT_DISPATCH;
    V_DISPATCH(pvProfile) = pProfile;
    if (!strFolder.empty())
    {
        IProject* pProject = nullptr;
        hr = CreateDmsObject<CProject>(&pProject, [&](CProject& project) { project.m_strName = strFolder; });
        if (FAILED(hr))
        {
            VariantClear(pvProfile);
            return hr;
        }
        V_VT(pvProject) = VT_DISPATCH;
        V_DISPATCH(pvProject) = pProject;
    }
    *pnStatus = 1;
    return S_OK;
}

STDMETHODIMP CLibrary::NewProfileForm(IDM5ProfileForm** ppForm)
{
    DMS_ENTER_OUT(L"IDM5LibraryForms::NewProfileForm", ppForm, nullptr);
    return CreateDmsObject<CDM5ProfileForm>(ppForm, [&](CDM5ProfileForm& form) { form.m_strLibrary = m_strName; });
}

// ---- CRights, CRight ----

STDMETHODIMP CRights::get_Item(VARIANT vKey, IRight** ppRight)
{
    DMS_ENTER_OUT(L"IRights::Item", ppRight, nullptr);
    std::wstring strName;
    LONG lIndex = 0;
    if (VariantNumber(vKey, &lIndex))
    {
        if (lIndex < 1 || lIndex > static_cast<LONG>(sizeof(kRightNames) / sizeof(kRightNames[0])))
            return Fail(DISP_E_BADINDEX, 3, L"Right index out of range");
        strName = kRightNames[lIndex - 1];
    }
    else if (!VariantText(vKey, &strName))
        return Fail(DISP_E_TYPEMISMATCH, 3, L"A right is looked up by name or index");
    bool bKnown = false;
    for (const wchar_t* pszName : kRightNames)
        if (EqualsNoCase(pszName, strName))
        {
            strName = pszName;
            bKnown = true;
        }
    if (!bKnown)
        return Fail(DISP_E_BADINDEX, 3, L"Right not found: " + strName);
    const bool bGranted = CCatalog::LibraryRight(m_strLibrary, strName);
    return CreateDmsObject<CRight>(ppRight, [&](CRight& right) {
        right.m_strName = strName;
        right.m_bGranted = bGranted;
    });
}

STDMETHODIMP CRights::get_Count(LONG* plCount)
{
    DMS_ENTER_OUT(L"IRights::Count", plCount, 0);
    *plCount = static_cast<LONG>(sizeof(kRightNames) / sizeof(kRightNames[0]));
    return S_OK;
}

STDMETHODIMP CRight::get_Value(VARIANT* pvValue)
{
    if (!pvValue)
        return E_POINTER;
    VariantInit(pvValue);
    DMS_ENTER_ANSWERING(L"IRight::Value");
    V_VT(pvValue) = VT_BOOL;
    V_BOOL(pvValue) = m_bGranted ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CRight::get_Name(BSTR* pbstrName)
{
    DMS_ENTER_OUT(L"IRight::Name", pbstrName, nullptr);
    return ReturnString(m_strName, pbstrName);
}

// ---- CDM5ProfileForm ----

STDMETHODIMP CDM5ProfileForm::SetField(BSTR bstrName, VARIANT vValue)
{
    DMS_ENTER(L"IDM5ProfileForm::SetField");
    std::wstring strValue;
    VariantText(vValue, &strValue);
    process_state::RecordForm(L"dm5-field " + std::wstring(bstrName ? bstrName : L"") + L"=" + strValue);
    m_fields[bstrName ? bstrName : L""] = strValue;
    return S_OK;
}

// On "ok" the form stores the profile, as a user confirming the form would.
STDMETHODIMP CDM5ProfileForm::Show(LONG, VARIANT vExtension, IDispatch** ppProfile, VARIANT_BOOL* pbOK)
{
    if (!ppProfile || !pbOK)
        return E_POINTER;
    *ppProfile = nullptr;
    *pbOK = VARIANT_FALSE;
    DMS_ENTER_ANSWERING(L"IDM5ProfileForm::Show");
    std::wstring strVerb, strArgument;
    if (!NextFormAnswer(&strVerb, &strArgument) || strVerb != L"ok")
    {
        SetError(1, L"The profile form was cancelled");
        return S_OK;
    }
    auto field = [&](const wchar_t* pszName) {
        auto it = m_fields.find(pszName);
        return it == m_fields.end() ? std::wstring() : it->second;
    };
    std::wstring strAppID = field(L"APP_ID");
    if (strAppID.empty())
        strAppID = field(L"APPLICATION");
    std::wstring strExtension;
    VariantText(vExtension, &strExtension);
    IProfile* pProfile = nullptr;
    HRESULT hr = CreateDmsObject<CProfile>(&pProfile, [&](CProfile& profile) {
        profile.InitNew(m_strLibrary, strAppID, strExtension);
        for (const auto& f : m_fields)
            if (f.first != L"APPLICATION")
                profile.SetValue(f.first, f.second);
        profile.Store();
    });
    if (FAILED(hr))
        return hr;
    *ppProfile = pProfile;  // IProfile is an IDispatch
    *pbOK = VARIANT_TRUE;
    return S_OK;
}

// ---- CProject ----

STDMETHODIMP CProject::get_Name(BSTR* pbstrName)
{
    DMS_ENTER_OUT(L"IProject::Name", pbstrName, nullptr);
    return ReturnString(m_strName, pbstrName);
}

STDMETHODIMP CProject::get_ProjectID(LONG* plID)
{
    DMS_ENTER_OUT(L"IProject::ProjectID", plID, 0);
    *plID = 1;
    return S_OK;
}

// Files a profile in this folder; the folder is remembered on the profile as a link is.
STDMETHODIMP CProject::AddDocument(VARIANT vDocument, short* pnStatus)
{
    DMS_ENTER_OUT(L"IProject::AddDocument", pnStatus, 0);
    if (V_VT(&vDocument) != VT_DISPATCH || !V_DISPATCH(&vDocument))
        return Fail(DISP_E_TYPEMISMATCH, 3, L"A folder takes a profile object");
    IProfilePtr spProfile(V_DISPATCH(&vDocument));
    if (!spProfile)
        return Fail(E_NOINTERFACE, 3, L"A folder takes a profile object");
    static_cast<CProfile*>(spProfile.GetInterfacePtr())->SetValue(L"Folder", m_strName);
    *pnStatus = 1;
    return S_OK;
}

}  // namespace dms_standin
