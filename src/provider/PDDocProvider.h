#pragma once
// CDocProvider: the COM object that hosts create. It checks, converts and forwards: every
// method turns BSTRs and CVDOCUMENTs into CStdStr values and records, calls one operation of
// its CPDDocProviderHelper, converts the results back and turns exceptions into HRESULTs.
// Single-threaded model: calls arrive on the creating apartment's thread.
#include <windows.h>
#include <oaidl.h>

#include <memory>

#include <corvane/CorvaneHost.h>

#include "framework/ComObject.h"
#include "operations/PDDocProviderHelper.h"


class CDocProvider : public IDocProvider,
                     public ICVComponent,
                     public ICVDiagnostics,
                     public ICVErrorInfo,
                     public ICVQueryInfo,
                     public ICVRegistration,
                     public ICVCustomCommand2,
                     public ICVDocumentProvider7,
                     public ICVHelpDefinition
{
public:
    CDocProvider();
    virtual ~CDocProvider();
    static const QITableEntry* GetQITable();

    // IDispatch (IDocProvider): described by the registered type library.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // ICVComponent
    STDMETHODIMP GetName(BSTR* pbstrName) override;
    STDMETHODIMP GetShortDescription(BSTR* pbstrDescription) override;
    STDMETHODIMP GetVersion(long* plMajor, long* plMinor, long* plBuild, long* plRevision) override;

    // ICVDiagnostics
    STDMETHODIMP GetDiagnosticsInfo(BSTR* pbstrInfo) override;
    STDMETHODIMP ExamineError(HRESULT hrError, GUID guidSource, BSTR* pbstrReport) override;
    STDMETHODIMP FixError(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbFixed) override;

    // ICVErrorInfo
    STDMETHODIMP GetErrorDescription(HRESULT hrError, GUID guidSource, BSTR* pbstrDescription) override;
    STDMETHODIMP GetHelpFile(HRESULT hrError, GUID guidSource, BSTR* pbstrHelpFile) override;
    STDMETHODIMP GetHelpContext(HRESULT hrError, GUID guidSource, long* plContext) override;
    STDMETHODIMP CanDiagnose(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbCan) override;
    STDMETHODIMP CanAutofix(HRESULT hrError, GUID guidSource, VARIANT_BOOL* pbCan) override;

    // ICVQueryInfo
    STDMETHODIMP GetSystemInfo(BSTR* pbstrInfo) override;
    STDMETHODIMP GetCVDependencies(long* plCount, CVFILEINFO* pFileInfo) override;

    // ICVRegistration
    STDMETHODIMP RegisterDefault() override;
    STDMETHODIMP RegisterWith(BSTR bstrGroup, BSTR bstrSubgroup, BSTR bstrName, long lFlags) override;
    STDMETHODIMP Refresh() override;
    STDMETHODIMP UnRegisterAll() override;

    // ICVCustomCommand2
    STDMETHODIMP GetCustomCommands(BSTR* pbstrCommands) override;
    STDMETHODIMP InvokeCustomCommand(long lCommand, long lParentWnd) override;
    STDMETHODIMP GetCustomCommandState(long lCommand, BSTR bstrDocID, long* plState) override;

    // ICVDocumentProvider7, slots 3 to 35
    STDMETHODIMP SelectDocument(long lParentWnd, BSTR bstrFilter, BSTR* pbstrDocID) override;
    STDMETHODIMP OpenDocument(CVDOCUMENT* pDoc) override;
    STDMETHODIMP GetSaveInfo(long lParentWnd, BSTR bstrFormats, long lSaveOptions, long* plFormatIndex,
                             CVDOCUMENT* pDoc) override;
    STDMETHODIMP CloseDocument(CVDOCUMENT* pDoc, long lFlags) override;
    STDMETHODIMP GetDocument(BSTR bstrDocID, long lMode, CVDOCUMENT* pDoc) override;
    STDMETHODIMP SaveDocument(CVDOCUMENT* pDoc, long lFlags) override;
    STDMETHODIMP VersionDocument(BSTR* pbstrDocID, BSTR bstrComment) override;
    STDMETHODIMP DisplayProfile(BSTR bstrDocID, long lParentWnd) override;
    STDMETHODIMP GetDocIDDescription(BSTR bstrDocID, BSTR* pbstrDescription) override;
    STDMETHODIMP SetCallingApplication(BSTR bstrApplication) override;
    STDMETHODIMP AddHistoryEvent(BSTR bstrDocID, long lEventType, long lParam1, long lParam2, BSTR bstrApplication,
                                 BSTR bstrComment) override;
    STDMETHODIMP SelectDocumentEx(long lParentWnd, BSTR bstrFilter, BSTR bstrDocID, BSTR* pbstrSelectedID) override;
    STDMETHODIMP GetLatestVersion(BSTR* pbstrDocID) override;
    STDMETHODIMP GetRelatedDocuments(BSTR bstrDocID, long* plCount, CVDOCUMENT** ppDocs) override;
    STDMETHODIMP GetVersions(BSTR bstrDocID, long* plCount, CVDOCUMENTVERSION** ppVersions) override;
    STDMETHODIMP RelateDocument(CVDOCUMENT* pDoc, BSTR bstrParentID) override;
    STDMETHODIMP DeleteDocument(BSTR bstrDocID) override;
    STDMETHODIMP TranslateOdmaID(BSTR bstrOdmaID, BSTR* pbstrDocID) override;
    STDMETHODIMP GetDocumentLockStatus(BSTR bstrDocID, long* plStatus, BSTR* pbstrOwner) override;
    STDMETHODIMP LockDocument(BSTR bstrDocID, long lLock) override;
    STDMETHODIMP LockDocumentAsOtherUserForTesting(BSTR bstrDocID, BSTR bstrUser, BSTR bstrPassword,
                                                   long lLock) override;
    STDMETHODIMP ImportDocument(CVDOCUMENT* pDoc, short nFlags) override;
    STDMETHODIMP GetCurrentDmsUser(BSTR bstrDocID, BSTR* pbstrUser) override;
    STDMETHODIMP GetCapabilities(BSTR bstrDocID, long lReserved, long* plFlags) override;
    STDMETHODIMP SaveDocumentEx(CVDOCUMENT* pDoc, long lFlags, BSTR bstrOptions, long* plResult) override;
    STDMETHODIMP SetHostWindow(long lParentWnd) override;
    STDMETHODIMP SetHostOptions(long lOptions) override;
    STDMETHODIMP Resolve(CVDOCUMENT* pDoc) override;
    STDMETHODIMP CanResolve(VARIANT_BOOL* pbCanResolve) override;
    STDMETHODIMP ResetState() override;
    STDMETHODIMP GetDocumentProperty(BSTR bstrDocID, BSTR bstrProperty, VARIANT* pvValue) override;
    STDMETHODIMP IsDmsInOfflineMode(BSTR bstrDocID, VARIANT_BOOL* pbOffline) override;
    STDMETHODIMP SetDocumentProperty(BSTR bstrDocID, BSTR bstrProperty, VARIANT vValue) override;

    // ICVHelpDefinition
    STDMETHODIMP GetHelpSource(BSTR* pbstrSource) override;
    STDMETHODIMP SetHelpSource(BSTR bstrSource) override;
    STDMETHODIMP GetHelpContext(long* plContext) override;
    STDMETHODIMP SetHelpContext(long lContext) override;

    // True when the DMS client's "InstallPath" value exists; checked anew on every call.
    bool GetValidClient();

private:
    std::unique_ptr<CPDDocProviderHelper> m_pHelper;
    bool m_bValidClient = false;
};
