#include "provider/PDDocProvider.h"

#include "framework/ComPtr.h"

#include <corvane/QuendrelResults.h>

#include "framework/Handles.h"
#include "framework/Logging.h"
#include "local/ClientKeys.h"
#include "local/DocIDResolver.h"
#include "local/PowerDocsRegReader.h"
#include "provider/CVComponent.h"
#include "records/ResultCodes.h"
#include "ui/SaveAsDlgWindow.h"

using namespace Corvane::Logging;

// Frees the BSTRs of an array element that could not be handed out.
void FreeStructStrings(CVDOCUMENT& d)
{
    for (BSTR* p : {&d.bstrDocID, &d.bstrLocalFile, &d.bstrName, &d.bstrExtension, &d.bstrAppID, &d.bstrTypeID,
                    &d.bstrAuthorID, &d.bstrTypistID})
        CScopedBstr dropped(std::exchange(*p, nullptr));
}

void FreeStructStrings(CVDOCUMENTVERSION& v)
{
    CScopedBstr dropped(std::exchange(v.bstrVersion, nullptr));
    FreeStructStrings(v.cvDocument);
}

namespace {

// Logs a failure caught at a method's boundary under "CDocProvider::<method>".
void LogBoundary(const LogSite& site, const wchar_t* pszMethod, const CStdStr& strMessage) noexcept
{
    try
    {
        LogError(site, (CStdStr(L"CDocProvider::") + pszMethod).c_str(), strMessage);
    }
    catch (...)
    {
    }
}

// Runs a method's body; a _com_error gives its HRESULT, anything else E_FAIL, both logged.
template <class F>
HRESULT Boundary(const wchar_t* pszMethod, F&& body) noexcept
{
    try
    {
        return body();
    }
    catch (const _com_error& e)
    {
        LogBoundary(LOG_SITE, pszMethod, FormatHResult(e.Error()));
        return e.Error();
    }
    catch (...)
    {
        LogBoundary(LOG_SITE, pszMethod, L"Unknown Error");
        return E_FAIL;
    }
}

// True when every out pointer a method would write is there; a method checks this before it
// does anything, so that a missing one costs the host nothing and is never written.
template <class... Pointers>
bool OutPointersPresent(Pointers... pointers)
{
    return ((pointers != nullptr) && ...);
}

// An out BSTR receives the result string whatever the operation returned. A missing place
// for a successful answer is the caller's error.
HRESULT PutBstr(BSTR* pbstr, const CStdStr& str, HRESULT hr)
{
    if (!pbstr)
        return FAILED(hr) ? hr : E_POINTER;
    *pbstr = BstrFromStdStr(str);
    return hr;
}

// A document record goes back to the host only when the operation succeeded.
HRESULT PutDocument(CVDOCUMENT* pDoc, const CVDocNonCom& doc, HRESULT hr)
{
    if (FAILED(hr))
        return hr;
    return doc.ToCom(pDoc);
}

// Hands a list of records to the host as one CoTaskMemAlloc'ed array of count elements.
// Nothing is handed out when filling fails; the host never sees a half-filled array.
template <class Struct, class Record>
HRESULT PutArray(Struct** ppArray, long lCount, const std::vector<Record>& records)
{
    if (!ppArray)
        return E_POINTER;
    *ppArray = nullptr;
    if (lCount == 0)
        return S_OK;
    if (lCount < 0 || static_cast<size_t>(lCount) > records.size())
        return E_UNEXPECTED;
    CCoTaskMem block(CoTaskMemAlloc(sizeof(Struct) * static_cast<size_t>(lCount)));
    if (!block)
        return E_OUTOFMEMORY;
    auto* pArray = static_cast<Struct*>(block.Get());
    ZeroMemory(pArray, sizeof(Struct) * static_cast<size_t>(lCount));
    struct FreeElements
    {
        Struct* p;
        long n;
        ~FreeElements()
        {
            for (long i = 0; p && i < n; ++i)
                FreeStructStrings(p[i]);
        }
    } cleanup{pArray, lCount};
    for (long i = 0; i < lCount; ++i)
    {
        HRESULT hr = records[static_cast<size_t>(i)].ToCom(&pArray[i]);
        if (FAILED(hr))
            return hr;
    }
    cleanup.p = nullptr;
    *ppArray = static_cast<Struct*>(block.Detach());
    return S_OK;
}

// A list method's answer: the logic object fills a list of records and the count, then the
// list goes to the host all or nothing. Anything thrown on the way is logged at the method's
// site as "Caught unknown error" and gives E_FAIL.
template <class Record, class Struct, class Fill>
HRESULT PutList(const LogSite& site, const wchar_t* pszMethod, long* plCount, Struct** ppArray, Fill fill)
{
    if (!OutPointersPresent(plCount, ppArray))
        return E_POINTER;
    try
    {
        std::vector<Record> records;
        HRESULT hr = fill(records);
        if (FAILED(hr))
            return hr;
        return PutArray(ppArray, *plCount, records);
    }
    catch (...)
    {
        LogBoundary(site, pszMethod, L"Caught unknown error");
        return E_FAIL;
    }
}

}  // namespace

// The provider methods that reach the logic object: no DMS client, no call.
#define PROVIDER_METHOD(name, ...)                  \
    Boundary(name, [&]() -> HRESULT {               \
        if (!GetValidClient())                      \
            return E_NO_DMS_CLIENT;                 \
        __VA_ARGS__                                 \
    })

// The provider methods that take a host record, hand it to one operation of the logic object
// and give it back filled on success; without a record there is nothing to do.
#define RECORD_METHOD(name, pDoc, operation)          \
    PROVIDER_METHOD(name, {                           \
        if (!OutPointersPresent(pDoc))                \
            return E_POINTER;                         \
        CVDocNonCom doc(pDoc);                        \
        return PutDocument(pDoc, doc, operation);     \
    })

const QITableEntry* CDocProvider::GetQITable()
{
    static const QITableEntry table[] = {
        QI_ENTRY(CDocProvider, IDocProvider),
        QI_ENTRY_IID(CDocProvider, IID_IDispatch, IDocProvider),
        QI_ENTRY(CDocProvider, ICVComponent),
        QI_ENTRY(CDocProvider, ICVDiagnostics),
        QI_ENTRY(CDocProvider, ICVErrorInfo),
        QI_ENTRY(CDocProvider, ICVQueryInfo),
        QI_ENTRY(CDocProvider, ICVRegistration),
        QI_ENTRY_IID(CDocProvider, IID_ICVCustomCommand, ICVCustomCommand2),
        QI_ENTRY(CDocProvider, ICVCustomCommand2),
        QI_ENTRY_IID(CDocProvider, IID_ICVDocumentProvider, ICVDocumentProvider7),
        QI_ENTRY_IID(CDocProvider, IID_ICVDocumentProvider2, ICVDocumentProvider7),
        QI_ENTRY_IID(CDocProvider, IID_ICVDocumentProvider3, ICVDocumentProvider7),
        QI_ENTRY_IID(CDocProvider, IID_ICVDocumentProvider4, ICVDocumentProvider7),
        QI_ENTRY_IID(CDocProvider, IID_ICVDocumentProvider5, ICVDocumentProvider7),
        QI_ENTRY_IID(CDocProvider, IID_ICVDocumentProvider6, ICVDocumentProvider7),
        QI_ENTRY(CDocProvider, ICVDocumentProvider7),
        QI_ENTRY(CDocProvider, ICVHelpDefinition),
        {nullptr, 0},
    };
    return table;
}

CDocProvider::CDocProvider() : m_pHelper(new CPDDocProviderHelper)
{
    m_pHelper->SetSaveAsDlgWindow(std::make_unique<CSaveAsDlgWindow>());
}
CDocProvider::~CDocProvider() = default;

bool CDocProvider::GetValidClient()
{
    CRegKey key;
    bool bValid = false;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CLIENT_ROOT_KEY, 0, KEY_READ, key.Receive()) ==
        ERROR_SUCCESS)
    {
        // Any type and length will do: a too-small buffer still proves that the value exists.
        BYTE probe[4];
        DWORD cb = sizeof(probe);
        LONG rc = RegQueryValueExW(key.Get(), CLIENT_INSTALL_PATH, nullptr, nullptr, probe, &cb);
        bValid = rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
    }
    m_bValidClient = bValid;
    LOG_INFO(L"CDocProvider::GetValidClient",
            bValid ? L"Valid Hummingbird client found" : L"Invalid Hummingbird client found");
    return bValid;
}

// --- IDispatch -------------------------------------------------------------------------

STDMETHODIMP CDocProvider::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

STDMETHODIMP CDocProvider::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0)
        return DISP_E_BADINDEX;
    CTypeLibPtr pTypeLib;
    HRESULT hr = LoadRegTypeLib(LIBID_QuendrelLib, 1, 0, lcid, &pTypeLib);
    if (FAILED(hr))
        return hr;
    return pTypeLib->GetTypeInfoOfGuid(IID_IDocProvider, ppTInfo);
}

STDMETHODIMP CDocProvider::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId)
{
    CTypeInfoPtr pTypeInfo;
    HRESULT hr = GetTypeInfo(0, lcid, &pTypeInfo);
    if (FAILED(hr))
        return hr;
    return DispGetIDsOfNames(pTypeInfo, rgszNames, cNames, rgDispId);
}

STDMETHODIMP CDocProvider::Invoke(DISPID dispIdMember, REFIID, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                                  VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    CTypeInfoPtr pTypeInfo;
    HRESULT hr = GetTypeInfo(0, lcid, &pTypeInfo);
    if (FAILED(hr))
        return hr;
    return DispInvoke(static_cast<IDocProvider*>(this), pTypeInfo, dispIdMember, wFlags, pDispParams, pVarResult,
                      pExcepInfo, puArgErr);
}

// --- ICVComponent ----------------------------------------------------------------------

STDMETHODIMP CDocProvider::GetName(BSTR* pbstrName)
{
    return Boundary(L"GetName", [&] {
        CStdStr strName;
        HRESULT hr = m_pHelper->GetName(strName);
        return PutBstr(pbstrName, strName, hr);
    });
}

STDMETHODIMP CDocProvider::GetShortDescription(BSTR* pbstrDescription)
{
    return Boundary(L"GetShortDescription", [&] {
        CStdStr strDescription;
        HRESULT hr = m_pHelper->GetShortDescription(strDescription);
        return PutBstr(pbstrDescription, strDescription, hr);
    });
}

STDMETHODIMP CDocProvider::GetVersion(long* plMajor, long* plMinor, long* plBuild, long* plRevision)
{
    return CCVComponent::GetVersion(plMajor, plMinor, plBuild, plRevision);
}

// --- ICVDiagnostics --------------------------------------------------------------------

STDMETHODIMP CDocProvider::GetDiagnosticsInfo(BSTR*) { return E_NOTIMPL; }

STDMETHODIMP CDocProvider::ExamineError(HRESULT hrError, GUID guidSource, BSTR* pbstrReport)
{
    return CCVDiagnostics::ExamineError(hrError, guidSource, pbstrReport);
}

STDMETHODIMP CDocProvider::FixError(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbFixed)
{
    return CCVDiagnostics::FixError(hrError, guidSource, pbFixed);
}

// --- ICVErrorInfo ----------------------------------------------------------------------

STDMETHODIMP CDocProvider::GetErrorDescription(HRESULT hrError, GUID guidSource, BSTR* pbstrDescription)
{
    return Boundary(L"GetErrorDescription", [&]() -> HRESULT {
        if (IsComponentFacility(hrError))
        {
            if (!IsDescribedComponentCode(hrError))
            {
                LOG_ERROR(L"CDocProvider::GetErrorDescription",
                         CStdStr(L"GetErrorDescription() failed"));
                return S_OK;
            }
            if (!pbstrDescription)
                return E_POINTER;
            *pbstrDescription = BstrFromStdStr(ComponentErrorText(hrError));
            return S_OK;
        }
        // Codes of other facilities are the component manager's to describe.
        CCVErrorInfo::GetErrorDescription(hrError, guidSource, pbstrDescription);
        return S_OK;
    });
}

STDMETHODIMP CDocProvider::GetHelpFile(HRESULT hrError, GUID guidSource, BSTR* pbstrHelpFile)
{
    return CCVErrorInfo::GetHelpFile(hrError, guidSource, pbstrHelpFile);
}

STDMETHODIMP CDocProvider::GetHelpContext(HRESULT, GUID, long*) { return E_NOTIMPL; }

STDMETHODIMP CDocProvider::CanDiagnose(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbCan)
{
    return CCVErrorInfo::CanDiagnose(hrError, guidSource, pbCan);
}

STDMETHODIMP CDocProvider::CanAutofix(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbCan)
{
    return CCVErrorInfo::CanAutofix(hrError, guidSource, pbCan);
}

// --- ICVQueryInfo ----------------------------------------------------------------------

STDMETHODIMP CDocProvider::GetSystemInfo(BSTR* pbstrInfo)
{
    return Boundary(L"GetSystemInfo", [&] {
        CStdStr strInfo;
        HRESULT hr = m_pHelper->GetSystemInfo(strInfo);
        return PutBstr(pbstrInfo, strInfo, hr);
    });
}

STDMETHODIMP CDocProvider::GetCVDependencies(long* plCount, CVFILEINFO* pFileInfo)
{
    return Boundary(L"GetCVDependencies", [&]() -> HRESULT {
        CVFileInfoNoCom info;
        HRESULT hr = m_pHelper->GetCVDependencies(plCount, info);
        if (FAILED(hr))
            return hr;
        hr = info.ToCom(pFileInfo);
        return FAILED(hr) ? hr : S_OK;
    });
}

// --- ICVRegistration -------------------------------------------------------------------

STDMETHODIMP CDocProvider::RegisterDefault()
{
    return Boundary(L"RegisterDefault", [&] { return m_pHelper->RegisterDefault(); });
}

STDMETHODIMP CDocProvider::RegisterWith(BSTR, BSTR, BSTR, long) { return S_OK; }
STDMETHODIMP CDocProvider::Refresh() { return S_OK; }

STDMETHODIMP CDocProvider::UnRegisterAll()
{
    return Boundary(L"UnRegisterAll", [&] { return m_pHelper->UnRegisterAll(); });
}

// --- ICVCustomCommand2 -----------------------------------------------------------------

STDMETHODIMP CDocProvider::GetCustomCommands(BSTR*) { return E_NOTIMPL; }

STDMETHODIMP CDocProvider::InvokeCustomCommand(long lCommand, long lParentWnd)
{
    return Boundary(L"InvokeCustomCommand", [&] { return m_pHelper->InvokeCustomCommand(lCommand, lParentWnd); });
}

STDMETHODIMP CDocProvider::GetCustomCommandState(long, BSTR, long*) { return E_NOTIMPL; }

// --- ICVDocumentProvider7 --------------------------------------------------------------

STDMETHODIMP CDocProvider::SelectDocument(long lParentWnd, BSTR bstrFilter, BSTR* pbstrDocID)
{
    return PROVIDER_METHOD(L"SelectDocument", {
        if (!OutPointersPresent(pbstrDocID))
            return E_POINTER;
        CStdStr strDocID;
        HRESULT hr = m_pHelper->SelectDocument(lParentWnd, StdStrFromBstr(bstrFilter), strDocID);
        return PutBstr(pbstrDocID, strDocID, hr);
    });
}

STDMETHODIMP CDocProvider::OpenDocument(CVDOCUMENT* pDoc)
{
    return RECORD_METHOD(L"OpenDocument", pDoc, m_pHelper->OpenDocument(doc));
}

STDMETHODIMP CDocProvider::GetSaveInfo(long lParentWnd, BSTR bstrFormats, long lSaveOptions, long* plFormatIndex,
                                       CVDOCUMENT* pDoc)
{
    return PROVIDER_METHOD(L"GetSaveInfo", {
        if (!OutPointersPresent(plFormatIndex, pDoc))
            return E_POINTER;
        CVDocNonCom doc(pDoc);
        HRESULT hr = m_pHelper->GetSaveInfo(lParentWnd, StdStrFromBstr(bstrFormats), lSaveOptions, plFormatIndex, doc);
        if (hr == S_FALSE)
            return S_FALSE;  // the user cancelled: the host's record stays as it was
        return PutDocument(pDoc, doc, hr);
    });
}

STDMETHODIMP CDocProvider::CloseDocument(CVDOCUMENT* pDoc, long lFlags)
{
    return RECORD_METHOD(L"CloseDocument", pDoc, m_pHelper->CloseDocument(doc, lFlags));
}

STDMETHODIMP CDocProvider::GetDocument(BSTR bstrDocID, long lMode, CVDOCUMENT* pDoc)
{
    return PROVIDER_METHOD(L"GetDocument", {
        if (!OutPointersPresent(pDoc))
            return E_POINTER;
        CVDocNonCom doc(pDoc);
        HRESULT hr = m_pHelper->GetDocument(StdStrFromBstr(bstrDocID), lMode, doc);
        if (FAILED(hr) && m_pHelper->WorkingOffLine())
            return S_DMS_OFFLINE;
        return PutDocument(pDoc, doc, hr);
    });
}

STDMETHODIMP CDocProvider::SaveDocument(CVDOCUMENT* pDoc, long lFlags)
{
    return PROVIDER_METHOD(L"SaveDocument", {
        if (!OutPointersPresent(pDoc))
            return E_POINTER;
        CVDocNonCom doc(pDoc);
        HRESULT hr;
        try
        {
            hr = m_pHelper->SaveDocument(doc, lFlags);
        }
        catch (const _com_error& e)
        {
            LogBoundary(LOG_SITE, L"SaveDocument", FormatHResult(e.Error()));
            return e.Error();
        }
        catch (...)
        {
            LogBoundary(LOG_SITE, L"SaveDocument", L"Caught unknown error");
            return E_FAIL;
        }
        return PutDocument(pDoc, doc, hr);
    });
}

STDMETHODIMP CDocProvider::VersionDocument(BSTR* pbstrDocID, BSTR bstrComment)
{
    return PROVIDER_METHOD(L"VersionDocument", {
        if (!OutPointersPresent(pbstrDocID))
            return E_POINTER;
        CStdStr strDocID = StdStrFromBstr(pbstrDocID);
        CScopedBstr dropped(std::exchange(*pbstrDocID, nullptr));
        HRESULT hr = m_pHelper->VersionDocument(strDocID, StdStrFromBstr(bstrComment));
        return PutBstr(pbstrDocID, strDocID, hr);
    });
}

STDMETHODIMP CDocProvider::DisplayProfile(BSTR bstrDocID, long lParentWnd)
{
    return PROVIDER_METHOD(L"DisplayProfile", { return m_pHelper->DisplayProfile(StdStrFromBstr(bstrDocID), lParentWnd); });
}

STDMETHODIMP CDocProvider::GetDocIDDescription(BSTR bstrDocID, BSTR* pbstrDescription)
{
    return PROVIDER_METHOD(L"GetDocIDDescription", {
        if (!OutPointersPresent(pbstrDescription))
            return E_POINTER;
        CStdStr strDescription;
        HRESULT hr = m_pHelper->GetDocIDDescription(StdStrFromBstr(bstrDocID), strDescription);
        return PutBstr(pbstrDescription, strDescription, hr);
    });
}

STDMETHODIMP CDocProvider::SetCallingApplication(BSTR bstrApplication)
{
    return PROVIDER_METHOD(L"SetCallingApplication",
                           { return m_pHelper->SetCallingApplication(StdStrFromBstr(bstrApplication)); });
}

STDMETHODIMP CDocProvider::AddHistoryEvent(BSTR bstrDocID, long lEventType, long lParam1, long lParam2,
                                           BSTR bstrApplication, BSTR bstrComment)
{
    return PROVIDER_METHOD(L"AddHistoryEvent", {
        return m_pHelper->AddHistoryEvent(StdStrFromBstr(bstrDocID), lEventType, lParam1, lParam2,
                                          StdStrFromBstr(bstrApplication), StdStrFromBstr(bstrComment));
    });
}

STDMETHODIMP CDocProvider::SelectDocumentEx(long lParentWnd, BSTR bstrFilter, BSTR bstrDocID, BSTR* pbstrSelectedID)
{
    return PROVIDER_METHOD(L"SelectDocumentEx", {
        if (!OutPointersPresent(pbstrSelectedID))
            return E_POINTER;
        CStdStr strSelectedID;
        HRESULT hr = m_pHelper->SelectDocumentEx(lParentWnd, StdStrFromBstr(bstrFilter), StdStrFromBstr(bstrDocID),
                                                 strSelectedID);
        return PutBstr(pbstrSelectedID, strSelectedID, hr);
    });
}

STDMETHODIMP CDocProvider::GetLatestVersion(BSTR* pbstrDocID)
{
    return PROVIDER_METHOD(L"GetLatestVersion", {
        if (!OutPointersPresent(pbstrDocID))
            return E_POINTER;
        // The incoming BSTR stays the host's: it is overwritten, not freed.
        CStdStr strDocID = StdStrFromBstr(pbstrDocID);
        HRESULT hr = m_pHelper->GetLatestVersion(strDocID);
        return PutBstr(pbstrDocID, strDocID, hr);
    });
}

STDMETHODIMP CDocProvider::GetRelatedDocuments(BSTR bstrDocID, long* plCount, CVDOCUMENT** ppDocs)
{
    return PROVIDER_METHOD(L"GetRelatedDocuments", {
        return PutList<CVDocNonCom>(LOG_SITE, L"GetRelatedDocuments", plCount, ppDocs, [&](auto& docs) {
            return m_pHelper->GetRelatedDocuments(StdStrFromBstr(bstrDocID), plCount, docs);
        });
    });
}

STDMETHODIMP CDocProvider::GetVersions(BSTR bstrDocID, long* plCount, CVDOCUMENTVERSION** ppVersions)
{
    return PROVIDER_METHOD(L"GetVersions", {
        return PutList<CVDocumentVersionNoCom>(LOG_SITE, L"GetVersions", plCount, ppVersions, [&](auto& versions) {
            return m_pHelper->GetVersions(StdStrFromBstr(bstrDocID), plCount, versions);
        });
    });
}

STDMETHODIMP CDocProvider::RelateDocument(CVDOCUMENT* pDoc, BSTR bstrParentID)
{
    return RECORD_METHOD(L"RelateDocument", pDoc, m_pHelper->RelateDocument(doc, StdStrFromBstr(bstrParentID)));
}

STDMETHODIMP CDocProvider::DeleteDocument(BSTR bstrDocID)
{
    return PROVIDER_METHOD(L"DeleteDocument", { return m_pHelper->DeleteDocument(StdStrFromBstr(bstrDocID)); });
}

STDMETHODIMP CDocProvider::TranslateOdmaID(BSTR bstrOdmaID, BSTR* pbstrDocID)
{
    return PROVIDER_METHOD(L"TranslateOdmaID", {
        if (!OutPointersPresent(pbstrDocID))
            return E_POINTER;
        CStdStr strDocID;
        HRESULT hr = m_pHelper->TranslateOdmaID(StdStrFromBstr(bstrOdmaID), strDocID);
        hr = PutBstr(pbstrDocID, strDocID, hr);
        return m_pHelper->WorkingOffLine() ? S_DMS_OFFLINE : hr;
    });
}

STDMETHODIMP CDocProvider::GetDocumentLockStatus(BSTR bstrDocID, long* plStatus, BSTR* pbstrOwner)
{
    return PROVIDER_METHOD(L"GetDocumentLockStatus", {
        if (!OutPointersPresent(plStatus, pbstrOwner))
            return E_POINTER;
        CStdStr strOwner;
        HRESULT hr = m_pHelper->GetDocumentLockStatus(StdStrFromBstr(bstrDocID), plStatus, strOwner);
        return PutBstr(pbstrOwner, strOwner, hr);
    });
}

STDMETHODIMP CDocProvider::LockDocument(BSTR bstrDocID, long lLock)
{
    return PROVIDER_METHOD(L"LockDocument", { return m_pHelper->LockDocument(StdStrFromBstr(bstrDocID), lLock); });
}

STDMETHODIMP CDocProvider::LockDocumentAsOtherUserForTesting(BSTR bstrDocID, BSTR bstrUser, BSTR bstrPassword,
                                                             long lLock)
{
    return PROVIDER_METHOD(L"LockDocumentAsOtherUserForTesting", {
        return m_pHelper->LockDocumentAsOtherUserForTesting(StdStrFromBstr(bstrDocID), StdStrFromBstr(bstrUser),
                                                            StdStrFromBstr(bstrPassword), lLock);
    });
}

STDMETHODIMP CDocProvider::ImportDocument(CVDOCUMENT* pDoc, short nFlags)
{
    return RECORD_METHOD(L"ImportDocument", pDoc, m_pHelper->ImportDocument(doc, nFlags));
}

STDMETHODIMP CDocProvider::GetCurrentDmsUser(BSTR bstrDocID, BSTR* pbstrUser)
{
    return PROVIDER_METHOD(L"GetCurrentDmsUser", {
        if (!OutPointersPresent(pbstrUser))
            return E_POINTER;
        CStdStr strUser;
        HRESULT hr = m_pHelper->GetCurrentDmsUser(StdStrFromBstr(bstrDocID), strUser);
        return PutBstr(pbstrUser, strUser, hr);
    });
}

STDMETHODIMP CDocProvider::GetCapabilities(BSTR bstrDocID, long lReserved, long* plFlags)
{
    return PROVIDER_METHOD(L"GetCapabilities",
                           { return m_pHelper->GetCapabilities(StdStrFromBstr(bstrDocID), lReserved, plFlags); });
}

STDMETHODIMP CDocProvider::SaveDocumentEx(CVDOCUMENT*, long, BSTR, long*)
{
    return PROVIDER_METHOD(L"SaveDocumentEx", { return E_NOTIMPL; });
}

STDMETHODIMP CDocProvider::SetHostWindow(long) { return E_NOTIMPL; }
STDMETHODIMP CDocProvider::SetHostOptions(long) { return E_NOTIMPL; }

STDMETHODIMP CDocProvider::Resolve(CVDOCUMENT* pDoc)
{
    return PROVIDER_METHOD(L"Resolve", {
        if (!m_pHelper->ShouldResolveFileNames())
            return E_INVALIDARG;
        if (!pDoc)
        {
            LogBoundary(LOG_SITE, L"Resolve", L"Returning E_POINTER because CVDOCUMENT* is invalid");
            return E_POINTER;
        }
        CVDocNonCom doc(pDoc);
        if (doc.GetLocalFile().empty())
        {
            LogBoundary(LOG_SITE, L"Resolve", L"Returning E_INVALIDARG because bstrLocalfile is empty");
            return E_INVALIDARG;
        }
        DocIDResolver resolver(doc.GetLocalFile(), PowerDocsRegReader().GetShadowPathStructureRootFolder());
        if (!resolver.ResolvedOK())
        {
            LogBoundary(LOG_SITE, L"Resolve",
                        L"Returning E_INVALIDARG because could not extract libname/documentnum/vernum from file path");
            return E_INVALIDARG;
        }
        doc.SetDocID(resolver.AsDocID());
        HRESULT hr = doc.ToCom(pDoc);
        if (FAILED(hr))
            return hr;
        return m_pHelper->WorkingOffLine() ? S_DMS_OFFLINE : S_OK;
    });
}

STDMETHODIMP CDocProvider::CanResolve(VARIANT_BOOL* pbCanResolve)
{
    if (!pbCanResolve)
        return E_POINTER;
    *pbCanResolve = VARIANT_TRUE;
    return S_OK;
}

STDMETHODIMP CDocProvider::ResetState() { return S_OK; }
STDMETHODIMP CDocProvider::GetDocumentProperty(BSTR, BSTR, VARIANT*) { return E_NOTIMPL; }

STDMETHODIMP CDocProvider::IsDmsInOfflineMode(BSTR, VARIANT_BOOL* pbOffline)
{
    return PROVIDER_METHOD(L"IsDmsInOfflineMode", {
        if (!pbOffline)
            return E_POINTER;
        *pbOffline = m_pHelper->WorkingOffLine() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

STDMETHODIMP CDocProvider::SetDocumentProperty(BSTR, BSTR, VARIANT) { return E_NOTIMPL; }

// --- ICVHelpDefinition -----------------------------------------------------------------

STDMETHODIMP CDocProvider::GetHelpSource(BSTR* pbstrSource)
{
    return Boundary(L"GetHelpSource", [&]() -> HRESULT {
        CStdStr strSource;
        HRESULT hr = m_pHelper->GetHelpSource(strSource);
        if (FAILED(hr))
            return hr;
        if (!pbstrSource)
            return E_POINTER;
        ReplaceBstr(pbstrSource, strSource);
        return hr;
    });
}

STDMETHODIMP CDocProvider::SetHelpSource(BSTR bstrSource)
{
    return Boundary(L"SetHelpSource", [&] { return m_pHelper->SetHelpSource(StdStrFromBstr(bstrSource)); });
}

STDMETHODIMP CDocProvider::GetHelpContext(long* plContext)
{
    return Boundary(L"GetHelpContext", [&]() -> HRESULT {
        if (!plContext)
            return E_POINTER;
        return m_pHelper->GetHelpContext(*plContext);
    });
}

STDMETHODIMP CDocProvider::SetHelpContext(long lContext)
{
    return Boundary(L"SetHelpContext", [&] { return m_pHelper->SetHelpContext(lContext); });
}
