// CPDDocProviderHelper: choosing a document or a version through the DMS's own forms, and
// having the DMS make a new profile through its profile forms.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/AppWrapper.h"
#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "local/DocID.h"
#include "framework/ComPtr.h"
#include "dms/DmsCall.h"
#include "dms/DmsTakes.h"
#include "framework/TakeGuard.h"
#include "framework/Logging.h"
#include "local/OfflineDocIDResolver.h"
#include "framework/ComModule.h"
#include "ui/UiResources.h"


namespace {

const wchar_t kProfileForm[] = L"CPDDocProviderHelper::GetProfileUsingProfileSelectForm";

CStdStr ChooseVersionTitle()
{
    return ComModule::LoadResourceString(IDS_CHOOSE_VERSION, L"Choose version");
}

long VersionCountOf(IProfilePtr pProfile)
{
    IVersionsPtr pVersions;
    DmsCheck(pProfile->get_Versions(&pVersions));
    if (!pVersions)
        _com_issue_error(E_POINTER);
    return CheckedVersionCount(pVersions);
}

// The version the user picks in the DMS's version chooser; empty when none was picked.
IVersionPtr ChooseVersion(IProfilePtr pProfile)
{
    IVersionPtr pVersion;
    DmsCheck(pProfile->ChooseVersion(DMS_CHOOSE_VERSION, _bstr_t(ChooseVersionTitle().c_str()), &pVersion));
    return pVersion;
}

// The ID of a chosen version.
CStdStr SelectedDocID(IProfilePtr pProfile, IVersionPtr pVersion)
{
    long lNumber = 0;
    DmsCheckNumber(pProfile, pProfile->get_DocNumber(&lNumber));
    if (!pVersion)
        _com_issue_error(E_POINTER);
    const CStdStr strLabel = VersionLabelOf(pVersion);
    const CStdStr strLibrary = LibraryNameOf(pProfile);
    // An ID is never made of values the DMS did not give.
    if (strLibrary.empty() || lNumber <= 0 || strLabel.empty())
        DmsCheck(E_PD_NO_DOCUMENT_FOR_ID);
    return FormatDocID(DOCID_SCHEME, strLibrary, lNumber, strLabel);
}

// An object out of a VARIANT as the interface of Ptr; empty when the VARIANT holds none.
template <class Ptr>
Ptr ObjectFromVariant(const _variant_t& v)
{
    Ptr p;
    if (v.vt == VT_EMPTY || v.vt == VT_NULL)
        return p;
    if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN)
    {
        if (v.punkVal)
            v.punkVal->QueryInterface(p.GetIID(), reinterpret_cast<void**>(&p));
        return p;
    }
    _variant_t vObject(v);
    if (FAILED(VariantChangeType(&vObject, &vObject, 0, VT_DISPATCH)))
        vObject.ChangeType(VT_UNKNOWN);
    if (vObject.punkVal)
        vObject.punkVal->QueryInterface(p.GetIID(), reinterpret_cast<void**>(&p));
    return p;
}

// The ID of the profile that the selection form chose, at the version the user picks when it
// has several, else at its current version.
CStdStr ChosenDocID(ISelectFormPtr pForm)
{
    IChosenProfilesPtr pChosen;
    DmsCheck(pForm->get_Profiles(&pChosen));
    if (!pChosen)
        DmsCheck(E_POINTER);
    long lChosen = 0;
    DmsCheck(pChosen->get_Count(&lChosen));
    IProfilePtr pProfile;
    DmsCheck(pChosen->get_Item(_variant_t(1L, VT_I4), &pProfile));
    if (!pProfile)
        DmsCheck(E_POINTER);
    IVersionPtr pVersion;
    if (VersionCountOf(pProfile) > 1)
        pVersion = ChooseVersion(pProfile);
    else
        DmsCheck(pProfile->get_CurrentVersion(&pVersion));
    return SelectedDocID(pProfile, pVersion);
}

}  // namespace

HRESULT CPDDocProviderHelper::SelectDocument(long lParentWnd, CStdStr, CStdStr& strDocID)
{
    HRESULT hrPending = E_FAIL;
    if (!m_bInstalled)
    {
        LOG_ERROR(L"CPDDocProviderHelper::SelectDocument", L"SelectDocument() = E_PD_NOT_INSTALLED");
        return E_PD_NOT_INSTALLED;
    }
    // A failure to create the application is not this operation's to handle.
    IApplicationPtr pApp = OpenDmsApplication();
    try
    {
        DmsCheck(pApp->put_ParentWindow(lParentWnd));
        ISelectFormPtr pForm;
        DmsCheck(CreateDmsObject(CLSID_SelectForm, __uuidof(ISelectForm), reinterpret_cast<void**>(&pForm)));
        short nStatus = DMS_FORM_CANCELLED;
        DmsCheck(pForm->Show(DMS_SELECT_FORM_SHOW, &nStatus));
        // The form's status is the answer until a document ID is formed: 1 (S_FALSE) after a
        // confirmed form, any other value than 0 and 1 as it stands, sign-extended.
        hrPending = static_cast<HRESULT>(static_cast<long>(nStatus));
        if (nStatus == DMS_FORM_CANCELLED)
        {
            strDocID.clear();
            hrPending = S_FALSE;
        }
        else if (nStatus == DMS_FORM_CONFIRMED)
        {
            CStdStr strID = ChosenDocID(pForm);
            if (WorkingOffLine())
                strID = OfflineDocIDResolver().ResolveToOnlineDocID(strID, GetCurrentUser());
            strDocID = strID;
            hrPending = S_OK;
        }
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::SelectDocument", L"SelectDocument() = " + ComErrorMessage(e.Error()));
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::SelectDocument", L"SelectDocument() : Unknown Error");
    }
    // The DMS's later forms must not open over a window the host may have closed.
    DmsCheck(pApp->put_ParentWindow(DMS_NO_PARENT_WINDOW));
    return hrPending;
}

HRESULT CPDDocProviderHelper::SelectDocumentEx(long lParentWnd, CStdStr strFilter, CStdStr strDocID,
                                               CStdStr& strSelectedID)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    CAppWrapper::Instance().EnsureAppIsMarshalled();
    IApplicationPtr pApp;
    const HRESULT hrCreate =
        CreateDmsObject(CLSID_Application, __uuidof(IApplication), reinterpret_cast<void**>(&pApp));
    if (FAILED(hrCreate) || !pApp)
    {
        const HRESULT hr = FAILED(hrCreate) ? hrCreate : E_POINTER;
        LOG_ERROR(L"CPDDocProviderHelper::SelectDocumentEx",
                  CStdStr::Format(L"PowerDOCS Application object not created %lx, %ls", static_cast<unsigned long>(hr),
                                  ComErrorMessage(hr).c_str()));
        return E_PD_NOT_INSTALLED;
    }
    DmsCheck(pApp->put_ParentWindow(lParentWnd));

    // Without a document, or with nothing to choose among, the document selection form is shown.
    IVersionPtr pVersion = GetVersion(strDocID);
    if (!pVersion)
        return SelectDocument(lParentWnd, strFilter, strSelectedID);
    IProfilePtr pProfile = ProfileOf(pVersion);
    if (VersionCountOf(pProfile) <= 1)
        return SelectDocument(lParentWnd, strFilter, strSelectedID);
    IVersionPtr pChosen = ChooseVersion(pProfile);
    if (!pChosen)
        return SelectDocument(lParentWnd, strFilter, strSelectedID);
    strSelectedID = SelectedDocID(pProfile, pChosen);
    return S_OK;
}

IProfilePtr CPDDocProviderHelper::GetProfileUsingProfileSelectForm(ILibraryPtr pLibrary, IProjectPtr& pProject,
                                                                   const CVDocNonCom& doc)
{
    HRESULT hrForm = S_OK;
    return GetProfileUsingProfileSelectForm(pLibrary, pProject, doc, hrForm);
}

// The new profile of a save through the DMS's profile form. Only the user's own cancel is
// S_FALSE; a DMS error on the way to the form or inside it is a failure. A profile that the form
// already stored is deleted again on every way out without one: the caller never sees it, so
// nothing else would.
IProfilePtr CPDDocProviderHelper::GetProfileUsingProfileSelectForm(ILibraryPtr pLibrary, IProjectPtr& pProject,
                                                                   const CVDocNonCom& doc, HRESULT& hrForm)
{
    hrForm = S_FALSE;
    CTakeGuard guard(kProfileForm);
    try
    {
        if (!pLibrary)
            DmsCheck(E_POINTER);
        IProfilePtr pProfile;
        if (IsDM6Installed())
        {
            pProfile = Dm6ProfileForm(pLibrary, pProject, guard);
        }
        else if (IDM5LibraryFormsPtr pForms = pLibrary)
        {
            // This form fills the profile itself: its columns are not set here.
            pProfile = Dm5ProfileForm(pForms, doc, guard);
            hrForm = pProfile ? S_OK : S_FALSE;
            guard.Commit();
            return pProfile;
        }
        else
        {
            DmsCheckNumber(pLibrary, pLibrary->NewProfile(DMS_NEW_PROFILE_FORM, _variant_t(m_strAppID.c_str()), &pProfile));
            if (!pProfile)
                DmsCheck(E_POINTER);
            TookNewProfile(guard, pProfile);
        }
        if (!pProfile)
            return nullptr;
        SetProfileColumns(pProfile, doc);
        VARIANT_BOOL bOK = VARIANT_FALSE;
        DmsCheckNumber(pProfile, pProfile->FinishForm(DMS_FINISH_FORM, &bOK));
        if (bOK == VARIANT_FALSE)
            return nullptr;
        hrForm = S_OK;
        guard.Commit();
        return pProfile;
    }
    catch (...)
    {
        // The DMS's own "cancelled" is the user's answer, not a failure.
        hrForm = CaughtFailure(kProfileForm);
        if (hrForm == E_PD_USER_CANCELLED)
            hrForm = S_FALSE;
        else if (SUCCEEDED(hrForm))
            hrForm = E_FAIL;
        return nullptr;
    }
}

// DM 6: the library's own profile form, which may file the profile in a folder; null when the
// user cancelled. A library without the form is a failure.
IProfilePtr CPDDocProviderHelper::Dm6ProfileForm(ILibraryPtr pLibrary, IProjectPtr& pProject, CTakeGuard& guard)
{
    IDM6LibraryFormsPtr pForms(pLibrary);
    if (!pForms)
        DmsCheck(E_NOINTERFACE);
    _variant_t vProject, vProfile;
    short nStatus = 0;
    DmsCheckNumber(pForms, pForms->NewProfileForm(DMS_NEW_PROFILE_FORM, _variant_t(m_strAppID.c_str()), &vProject,
                                                  &vProfile, _variant_t(), &nStatus));
    IProfilePtr pProfile = ObjectFromVariant<IProfilePtr>(vProfile);
    if (!pProfile)
        return nullptr;
    TookNewProfile(guard, pProfile);
    pProject = ObjectFromVariant<IProjectPtr>(vProject);
    if (pProject)
    {
        IFolderLinkPtr pLink;
        DmsCheckNumber(pProfile, pProfile->get_FolderLink(&pLink));
        if (!pLink)
            DmsCheck(E_POINTER);
        DmsCheckNumber(pLink, pLink->LinkToProject(pProject));
    }
    return pProfile;
}

// DM 5: the profile form filled with the application, name and type; null when the user
// cancelled.
IProfilePtr CPDDocProviderHelper::Dm5ProfileForm(IDM5LibraryFormsPtr pForms, const CVDocNonCom& doc, CTakeGuard& guard)
{
    IDM5ProfileFormPtr pForm;
    DmsCheckNumber(pForms, pForms->NewProfileForm(&pForm));
    if (!pForm)
        DmsCheck(E_POINTER);
    const _variant_t vAppID(m_strAppID.c_str());
    DmsCheckNumber(pForm, pForm->SetField(_bstr_t(L"APPLICATION"), vAppID));
    DmsCheckNumber(pForm, pForm->SetField(_bstr_t(L"APP_ID"), vAppID));
    DmsCheckNumber(pForm, pForm->SetField(_bstr_t(L"DOCNAME"), _variant_t(doc.GetName().c_str())));
    DmsCheckNumber(pForm, pForm->SetField(_bstr_t(L"TYPE_ID"), _variant_t(L"DEFAULT")));
    CDispatchPtr pMade;
    VARIANT_BOOL bOK = VARIANT_FALSE;
    DmsCheckNumber(pForm, pForm->Show(DMS_DM5_FORM_SHOW, _variant_t(m_strExtension.c_str()), &pMade, &bOK));
    const IProfilePtr pProfile(pMade);
    if (pProfile)
        TookNewProfile(guard, pProfile);
    return bOK == VARIANT_FALSE ? nullptr : pProfile;
}

void CPDDocProviderHelper::SetProfileColumns(IProfilePtr pProfile, const CVDocNonCom& doc)
{
    if (!pProfile)
        _com_issue_error(E_POINTER);
    try
    {
        IColumnsPtr pColumns = ColumnsOf(pProfile);
        auto setColumn = [&](const wchar_t* pszName, const CStdStr& strValue) {
            IColumnPtr pColumn;
            DmsCheck(pColumns->get_Item(_variant_t(pszName), &pColumn));
            if (!pColumn)
                _com_issue_error(E_POINTER);
            DmsCheck(pColumn->put_Value(_variant_t(strValue.c_str())));
        };
        setColumn(L"APP_ID", m_strAppID);
        setColumn(L"DOCNAME", doc.GetName());
        DmsCheck(pColumns->Commit());
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CPDDocProviderHelper::SetProfileColumns",
                  L"CPDDocProviderHelper::SetProfileColumns com error caught and rethrown :" +
                      ComErrorMessage(e.Error()));
        throw;
    }
}
