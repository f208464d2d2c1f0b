// CPDDocProviderHelper: finding the DMS version a document ID names, reading profile columns,
// and turning a DMS object's own error into a result code.
#include "operations/PDDocProviderHelper.h"

#include "dms/AppWrapper.h"
#include "dms/DmsCall.h"
#include "dms/DmsValues.h"
#include "dms/DmsErrors.h"
#include "local/DocID.h"
#include "framework/Logging.h"


namespace {

// Logs a not-found message at information level and leaves it as the error description.
void ReportNotFound(const CStdStr& strMessage)
{
    LOG_INFO(L"CPDDocProviderHelper::GetVersion", strMessage);
    PopulateErrorInfo(strMessage);
}

// Publishes what a DMS object reports about its last error, or answers hrDefault.
HRESULT ReturnCodeOf(IUnknown* pObject, const CStdStr& strContext, HRESULT hrDefault)
{
    DmsError error = ReadDmsError(pObject);
    if (error.lNumber == 0)
        return hrDefault;
    CStdStr strMessage = strContext + error.strDescription;
    LOG_INFO(L"CPDDocProviderHelper::GetReturnCode", strMessage);
    PopulateErrorInfo(strMessage);
    return ConvertPowerDocsErrorCodeToHRESULT(error.lNumber);
}

// The version of a profile that a label names; its current version for an empty label.
IVersionPtr VersionOfProfile(IProfilePtr pProfile, const CStdStr& strLabel)
{
    if (!pProfile)
        DmsCheck(E_POINTER);
    IVersionPtr pVersion;
    if (strLabel.empty())
    {
        DmsCheck(pProfile->get_CurrentVersion(&pVersion));
        return pVersion;
    }
    IVersionsPtr pVersions;
    DmsCheck(pProfile->get_Versions(&pVersions));
    if (!pVersions)
        DmsCheck(E_POINTER);
    DmsCheck(pVersions->get_Item(_variant_t(strLabel.c_str()), &pVersion));
    return pVersion;
}

}  // namespace

IVersionPtr CPDDocProviderHelper::GetVersion(CStdStr strDocID)
{
    IProfilePtr pProfile;
    return GetVersion(strDocID, pProfile);
}

IVersionPtr CPDDocProviderHelper::GetVersion(CStdStr strDocID, IProfilePtr& pFoundIn)
{
    DocIDFields fields;
    if (ParseDocID(strDocID, fields) != DocIDForm::Scheme)
    {
        PopulateErrorInfo(L"Unable to parse the document id");
        return nullptr;
    }
    const CStdStr& strLibrary = fields.strLibrary;
    const long lDocNumber = fields.Number();
    const CStdStr& strLabel = fields.strVersion;

    IApplicationPtr pApp = OpenDmsApplication();
    ILibrariesPtr pLibraries;
    // A DMS without a libraries collection cannot be opened: raised, not a not-found.
    DmsCheckNumber(pApp, pApp->get_Libraries(&pLibraries));
    if (!pLibraries)
        DmsCheck(E_POINTER);

    // Each step that fails is a not-found with its own description, never an exception.
    auto step = [&](auto find, const CStdStr& strWhat) {
        try
        {
            find();
            return true;
        }
        catch (const _com_error& e)
        {
            ReportNotFound(CStdStr::Format(L"%ls not found for docID, %ls, HR = %lx", strWhat.c_str(),
                                           strDocID.c_str(), static_cast<unsigned long>(e.Error())));
            return false;
        }
    };
    ILibraryPtr pLibrary;
    IProfilePtr pProfile;
    IVersionPtr pVersion;
    const bool bFound =
        step([&] { DmsCheck(pLibraries->get_Item(_variant_t(strLibrary.c_str()), &pLibrary)); },
             L"Library " + strLibrary) &&
        step(
            [&] {
                if (!pLibrary)
                    _com_issue_error(E_POINTER);
                DmsCheck(pLibrary->GetProfile(_variant_t(lDocNumber, VT_I4), &pProfile));
            },
            CStdStr::Format(L"Profile for docnum %ld", lDocNumber)) &&
        step([&] { pVersion = VersionOfProfile(pProfile, strLabel); },
             CStdStr::Format(L"Version %ls for docnum %ld", strLabel.c_str(), lDocNumber));
    if (!bFound)
        return nullptr;
    pFoundIn = pProfile;
    return pVersion;
}

HRESULT CPDDocProviderHelper::TranslateOdmaID(CStdStr strOdmaID, CStdStr& strDocID)
{
    const HRESULT hr = ::TranslateOdmaID(strOdmaID, strDocID);
    if (FAILED(hr))
        LOG_ERROR(L"CPDDocProviderHelper::TranslateOdmaID", L"TranslateOdmaID() = Find(\"::odma\\pcdocs\\\") FAILED");
    else
        LOG_INFO(L"CPDDocProviderHelper::TranslateOdmaID", L"TranslateOdmaID() : ID = " + LowerCase(strOdmaID));
    return hr;
}

_variant_t CPDDocProviderHelper::GetColumnValue(IProfilePtr pProfile, CStdStr strColumn)
{
    try
    {
        return ReadColumn(ColumnsOf(pProfile), strColumn.c_str());
    }
    catch (...)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetColumnValue", L"Caught unknown error");
        return _variant_t(0L, VT_I4);
    }
}

HRESULT CPDDocProviderHelper::GetReturnCode(IVersionPtr pVersion, const CStdStr& strContext, HRESULT hrDefault)
{
    if (!pVersion)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetReturnCode",
                 CStdStr(L"PowerDocs GetReturnCode() called with NULL version pointer"));
        return E_POINTER;
    }
    return ReturnCodeOf(pVersion, strContext, hrDefault);
}

HRESULT CPDDocProviderHelper::GetReturnCode(IProfilePtr pProfile, const CStdStr& strContext, HRESULT hrDefault)
{
    if (!pProfile)
    {
        LOG_ERROR(L"CPDDocProviderHelper::GetReturnCode",
                 CStdStr(L"PowerDocs GetReturnCode() called with NULL profile pointer"));
        return E_POINTER;
    }
    return ReturnCodeOf(pProfile, strContext, hrDefault);
}
