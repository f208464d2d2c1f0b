#pragma once
// CPDDocProviderHelper: the DMS logic behind CDocProvider. One instance lives exactly as long
// as its provider object; it keeps no DMS connection, only the state that outlives a call
// (installed flag, calling application, help source and context, attachment-label option, and
// what a save leaves for its later steps). Operations are called on the apartment thread.
// The virtual operations keep their slot order: hosts of the logic object rely on it.
#include <windows.h>

#include <vector>

#include "framework/StdStr.h"
#include "provider/CVDocNonCom.h"

struct ILibrary;
struct IProject;
struct IProfile;
struct IVersion;
class CSaveAsDlg;

class CPDDocProviderHelper
{
public:
    CPDDocProviderHelper();
    virtual ~CPDDocProviderHelper();                                                      // 0

    virtual HRESULT STDMETHODCALLTYPE InvokeCustomCommand(long lCommand, long lParentWnd); // 1
    virtual HRESULT STDMETHODCALLTYPE RegisterDefault();
    virtual HRESULT STDMETHODCALLTYPE UnRegisterAll();
    virtual HRESULT STDMETHODCALLTYPE GetCVDependencies(long* plCount, CVFileInfoNoCom& info);
    virtual HRESULT STDMETHODCALLTYPE GetSystemInfo(CStdStr& strInfo);                   // 5
    virtual HRESULT STDMETHODCALLTYPE GetName(CStdStr& strName);
    virtual HRESULT STDMETHODCALLTYPE GetShortDescription(CStdStr& strDescription);
    virtual HRESULT STDMETHODCALLTYPE SelectDocument(long lParentWnd, CStdStr strFilter, CStdStr& strDocID);
    virtual HRESULT STDMETHODCALLTYPE OpenDocument(CVDocNonCom& doc);
    virtual HRESULT STDMETHODCALLTYPE GetSaveInfo(long lParentWnd, CStdStr strFormats, long lSaveOptions,
                                                  long* plFormatIndex, CVDocNonCom& doc); // 10
    virtual HRESULT STDMETHODCALLTYPE CloseDocument(CVDocNonCom& doc, long lFlags);
    virtual HRESULT STDMETHODCALLTYPE GetDocument(CStdStr strDocID, long lMode, CVDocNonCom& doc);
    virtual HRESULT STDMETHODCALLTYPE SaveDocument(CVDocNonCom& doc, long lFlags);
    virtual HRESULT STDMETHODCALLTYPE VersionDocument(CStdStr& strDocID, CStdStr strComment);
    virtual HRESULT STDMETHODCALLTYPE DisplayProfile(CStdStr strDocID, long lParentWnd);  // 15
    virtual HRESULT STDMETHODCALLTYPE GetDocIDDescription(CStdStr strDocID, CStdStr& strDescription);
    virtual HRESULT STDMETHODCALLTYPE SetCallingApplication(CStdStr strApplication);
    virtual HRESULT STDMETHODCALLTYPE AddHistoryEvent(CStdStr strDocID, long lEventType, long lParam1, long lParam2,
                                                      CStdStr strApplication, CStdStr strComment);
    virtual HRESULT STDMETHODCALLTYPE SelectDocumentEx(long lParentWnd, CStdStr strFilter, CStdStr strDocID,
                                                       CStdStr& strSelectedID);
    virtual HRESULT STDMETHODCALLTYPE GetLatestVersion(CStdStr& strDocID);                // 20
    virtual HRESULT STDMETHODCALLTYPE GetRelatedDocuments(CStdStr strDocID, long* plCount,
                                                          std::vector<CVDocNonCom>& docs);
    virtual HRESULT STDMETHODCALLTYPE GetVersions(CStdStr strDocID, long* plCount,
                                                  std::vector<CVDocumentVersionNoCom>& versions);
    virtual HRESULT STDMETHODCALLTYPE RelateDocument(CVDocNonCom& doc, CStdStr strParentID);
    virtual HRESULT STDMETHODCALLTYPE DeleteDocument(CStdStr strDocID);
    virtual HRESULT STDMETHODCALLTYPE TranslateOdmaID(CStdStr strOdmaID, CStdStr& strDocID); // 25
    virtual HRESULT STDMETHODCALLTYPE GetDocumentLockStatus(CStdStr strDocID, long* plStatus, CStdStr& strOwner);
    virtual HRESULT STDMETHODCALLTYPE LockDocument(CStdStr strDocID, long lLock);
    virtual HRESULT STDMETHODCALLTYPE LockDocumentAsOtherUserForTesting(CStdStr strDocID, CStdStr strUser,
                                                                        CStdStr strPassword, long lLock);
    virtual HRESULT STDMETHODCALLTYPE ImportDocument(CVDocNonCom& doc, short nFlags);
    virtual HRESULT STDMETHODCALLTYPE GetCurrentDmsUser(CStdStr strDocID, CStdStr& strUser); // 30
    virtual HRESULT STDMETHODCALLTYPE GetCapabilities(CStdStr strDocID, long lReserved, long* plFlags);
    virtual bool STDMETHODCALLTYPE WorkingOffLine();
    virtual HRESULT GetHelpSource(CStdStr& strSource);                                     // 33
    virtual HRESULT SetHelpSource(CStdStr strSource);
    virtual HRESULT GetHelpContext(long& lContext);                                        // 35
    virtual HRESULT SetHelpContext(long lContext);
    virtual bool IsDM5Installed();
    virtual bool IsDM6Installed();
    virtual IProfile* GetProfileUsingProfileSelectForm(ILibrary* pLibrary, IProject** ppProject,
                                                       const CVDocNonCom& doc);
    virtual void SetProfileColumns(IProfile* pProfile, const CVDocNonCom& doc);           // 40
    virtual void SaveProfile(IProfile* pProfile);
    virtual void AddComment(const CSaveAsDlg& dlg, IVersion* pVersion);                    // 42

    CPDDocProviderHelper(const CPDDocProviderHelper&) = delete;
    CPDDocProviderHelper& operator=(const CPDDocProviderHelper&) = delete;

protected:
    CStdStr m_strCallingApplication;
    CStdStr m_strHelpSource;
    long m_lHelpContext = 0;
};
