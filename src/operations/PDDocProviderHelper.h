#pragma once
// CPDDocProviderHelper: the DMS logic behind CDocProvider. One instance lives exactly as long
// as its provider object; it keeps no DMS connection, only the state that outlives a call
// (installed flag, calling application, help source and context, attachment-label option, and
// what a save leaves for its later steps). Operations are called on the apartment thread.
// The virtual operations keep their slot order: hosts of the logic object rely on it.
#include <windows.h>

#include <comdef.h>

#include <memory>
#include <vector>

#include "dms/DmsTypes.h"
#include "framework/StdStr.h"
#include "framework/TakeGuard.h"
#include "records/CVDocNonCom.h"

struct CProfileReads;

class CSaveAsDlg;
class ISaveAsDlgWindow;

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
    virtual IProfilePtr GetProfileUsingProfileSelectForm(ILibraryPtr pLibrary, IProjectPtr& pProject,
                                                         const CVDocNonCom& doc);
    virtual void SetProfileColumns(IProfilePtr pProfile, const CVDocNonCom& doc);         // 40
    virtual void SaveProfile(IProfilePtr pProfile);
    virtual void AddComment(const CSaveAsDlg& dlg, IVersionPtr pVersion);                  // 42

    // Version lookup: the version a document ID names, or an empty pointer with the reason
    // left as the thread's error description. Raises only when the DMS cannot be opened.
    IVersionPtr GetVersion(CStdStr strDocID);
    // The same, handing out the profile the version was found in (when it is found), so that
    // the caller need not ask the version for it again.
    IVersionPtr GetVersion(CStdStr strDocID, IProfilePtr& pProfile);
    // One named column's value of a profile; the integer 0 when it cannot be read.
    _variant_t GetColumnValue(IProfilePtr pProfile, CStdStr strColumn);

    // A DMS object's own error as a result code: the default when it reports none.
    HRESULT GetReturnCode(IVersionPtr pVersion, const CStdStr& strContext, HRESULT hrDefault);
    HRESULT GetReturnCode(IProfilePtr pProfile, const CStdStr& strContext, HRESULT hrDefault);

    // Lock state of a profile: 0 not locked, 1 by the current DMS user, 2 by another user,
    // with the owner's name for 1 and 2.
    long GetProfileLockStatus(IProfilePtr pProfile, CStdStr& strOwner);
    long GetProfileLockStatus(CProfileReads& profile, CStdStr& strOwner);
    // The lock state as GetProfileLockStatus answers it, raising when the DMS cannot tell it:
    // for a caller that must not give back a check-out it did not take.
    long CheckedLockState(IProfilePtr pProfile);
    long CheckedLockState(CProfileReads& profile);
    bool IsDocumentLocked(IProfilePtr pProfile);
    long GetPowerDocsProfileStatus(IProfilePtr pProfile);
    long GetPowerDocsProfileStatus(CProfileReads& profile);
    CStdStr GetProfileLockOwner(IProfilePtr pProfile);
    // Check-out and check-in of a version.
    // pProfile: the version's profile when the caller has it, else null.
    HRESULT LockVersion(IVersionPtr pVersion, IProfilePtr pProfile = nullptr);
    HRESULT UnlockVersion(IVersionPtr pVersion);
    HRESULT UnlockDocument(IVersionPtr pVersion, IProfilePtr pProfile);
    HRESULT xxLockProfile(IProfilePtr pProfile);
    HRESULT xxLockProfileAndDoc(IProfilePtr pProfile);

    // The creating routines of a save. Each leaves doc naming the new DMS object, with Flags 1
    // only when the call really holds it checked out, and gives back on every failure what it
    // took. SaveAsNewDocument replaces pProfile and pVersion by the new ones; SaveAsVersion and
    // SaveDocumentAsAttachment work on the version the document came from.
    HRESULT SaveAsNewDocument(CVDocNonCom& doc, IApplicationPtr pApp, IProfilePtr& pProfile, IVersionPtr& pVersion,
                              CSaveAsDlg& dlg);
    HRESULT SaveAsVersion(CVDocNonCom& doc, IProfilePtr pProfile, IVersionPtr pVersion, const CSaveAsDlg& dlg);
    HRESULT SaveDocumentAsAttachment(IProfilePtr pProfile, IVersionPtr pVersion, const CSaveAsDlg& dlg,
                                     CVDocNonCom& doc);
    // The profile form of a new document, telling a cancel from a failure: hrForm is S_OK with
    // the new profile, S_FALSE when the user cancelled, a failure code when the DMS failed.
    IProfilePtr GetProfileUsingProfileSelectForm(ILibraryPtr pLibrary, IProjectPtr& pProject, const CVDocNonCom& doc,
                                                 HRESULT& hrForm);

    // The window that GetSaveInfo shows its dialog in. Without one, only a silent save works:
    // a save that needs the dialog answers E_UNEXPECTED.
    void SetSaveAsDlgWindow(std::unique_ptr<ISaveAsDlgWindow> pWindow);

    // Attachments: the label of a file extension (three characters unless extended labels are
    // on), and the forced replacement of a version's content by doc.LocalFile.
    CStdStr CreateAttachmentLabelFromExtension(const CStdStr& strExtension) const;
    HRESULT ForceReplaceFileInProfileWithNewFile(IVersionPtr pVersion, CVDocNonCom& doc);

    // The application ID that the library registers for a file extension (case ignored); the
    // viewer's ID for "XDF" and "RDF", "MS WORD" when none does. Raises DMS errors.
    CStdStr GetAppIDForExtension(ILibraryPtr pLibrary, const CStdStr& strExtension);

    bool ShouldResolveFileNames();
    // The host's option, read at each use: the host can change it at any time.
    bool UseExtendedAttachmentLabels() const;

    CPDDocProviderHelper(const CPDDocProviderHelper&) = delete;
    CPDDocProviderHelper& operator=(const CPDDocProviderHelper&) = delete;

protected:
    bool IsInstalled();
    CStdStr GetCurrentUser();
    // Fills a record from a version. nOffline: 1 or 0 when the caller already knows whether
    // the DMS works offline, -1 to ask. pProfile: the version's profile and columns as far as
    // the caller has read them (and receives what this call reads), or null.
    bool PopulateDocumentProperties(CVDocNonCom& doc, IVersionPtr pVersion, int nOffline = -1,
                                    CProfileReads* pProfile = nullptr);
    // The two halves of a record: what every version of a profile shares (read once when a
    // profile's versions are listed), and what is the version's own. Both raise DMS errors.
    struct CProfileFields
    {
        CStdStr strLibrary;
        long lNumber = 0;
    };
    CProfileFields PopulateProfileFields(CVDocNonCom& doc, CProfileReads& profile, bool bOffline);
    void PopulateVersionFields(CVDocNonCom& doc, IVersionPtr pVersion, const CStdStr& strLabel,
                               const CProfileFields& fields);
    // PopulateVersionFields for one version of a list: false (logged) when the DMS cannot tell.
    bool PopulateVersion(CVDocNonCom& doc, IVersionPtr pVersion, const CStdStr& strLabel,
                         const CProfileFields& fields);
    // True when the version is an attachment: its label is not empty and does not begin with a
    // decimal digit. Raises E_POINTER for a missing version.
    bool IsAttachment(IVersionPtr pVersion);

    // Related documents: checks the record of a file to attach to pTarget (filling an empty
    // Extension from the file name); the extension of a record's local file, three characters at
    // most, in lower case; the attachment a profile keeps for an extension, or none.
    HRESULT CheckRelateDocumentParameters(CVDocNonCom& doc, IVersionPtr pTarget);
    bool SetExtensionFromLocalFile(CVDocNonCom& doc);
    IVersionPtr GetRelatedItemWithExtensionFromProfile(IProfilePtr pProfile, const CStdStr& strExtension);
    // Whether the current user may delete versions in the library; false when it cannot be read.
    bool CanDeleteVersions(ILibraryPtr pLibrary);
    // One string of a file's version resource; "" when the file or the value is missing.
    CStdStr GetResourceString(const CStdStr& strFile, const CStdStr& strKey);

    // The save decision after the dialog: runs the routine of the user's choice. E_UNEXPECTED for
    // a dialog that did not answer OK or Cancel, or a choice that nothing offers.
    HRESULT PerformAppropriateSaveDocument(INT_PTR nDialogResult, CSaveAsDlg& dlg, IProfilePtr& pProf,
                                           IVersionPtr& pVer, IApplicationPtr pApp, CVDocNonCom& doc);
    HRESULT ReplaceOriginal(IVersionPtr pVer, CVDocNonCom& doc);
    HRESULT ChooseSaveFormat(CSaveAsDlg& dlg, const CStdStr& strFormats, long* plFormatIndex, const CVDocNonCom& doc,
                             IProfilePtr pProf);
    // SaveDocument's two ways of writing, for the client generations; bHeld: the document is
    // checked out already (by the record or by the user) and stays so.
    HRESULT SaveIntoDm5(CVDocNonCom& doc, IVersionPtr pVersion, IProfilePtr pProfile, bool bHeld);
    HRESULT SaveIntoDm6(CVDocNonCom& doc, IVersionPtr pVersion, bool bHeld);
    IVersionPtr MakeVersionFrom(IVersionPtr pVersion, const CStdStr& strComment, CTakeGuard& guard, bool bHeld);
    IProfilePtr MakeImportProfile(ILibraryPtr pLibrary, const CStdStr& strName, CTakeGuard& guard);
    // The shared steps of the creating routines of a save (see the save-as area).
    enum class MadeForSave
    {
        Nothing,   // the target existed already
        Version,   // a new version, subversion or attachment
        Document,  // a new document
    };
    HRESULT TakeForSave(CProfileReads& profile, IVersionPtr pVersion, CTakeGuard& guard, CTakeGuard::Take& took,
                        bool& bHeld);
    long CheckOutForSave(IVersionPtr pTarget, CTakeGuard& guard, CTakeGuard::Take took, bool bHeld);
    HRESULT CheckVersionRights(IVersionPtr pVersion, bool bSubversion);
    // pProfile: the made version's profile and columns when the caller has them (online).
    HRESULT FillMadeRecord(CVDocNonCom& doc, IVersionPtr pMade, long lFlags, MadeForSave made, bool bHeld,
                           CProfileReads* pProfile = nullptr);
    IVersionPtr MakeAttachment(IProfilePtr pProfile, IVersionPtr pVersion, const CStdStr& strLabel,
                               const CSaveAsDlg& dlg, const CVDocNonCom& doc);
    // What a save decision made and the host's save has not yet written: a failed SaveDocument
    // into it, or its close without one, deletes it, so that nothing empty is left behind.
    void RememberMade(const CStdStr& strDocID, MadeForSave made, bool bTookCheckOut);
    bool IsMade(const CStdStr& strDocID) const;
    bool IsDiscarded(const CStdStr& strDocID) const;
    HRESULT DiscardMade(CVDocNonCom& doc);
    HRESULT WriteDocument(CVDocNonCom& doc);
    IVersionPtr AttachFile(IProfilePtr pProfile, IVersionPtr pTarget, CVDocNonCom& doc, CTakeGuard& guard);
    void FileNewProfile(IProfilePtr pProfile, IProjectPtr pProject);
    IProfilePtr Dm6ProfileForm(ILibraryPtr pLibrary, IProjectPtr& pProject, CTakeGuard& guard);
    IProfilePtr Dm5ProfileForm(IDM5LibraryFormsPtr pForms, const CVDocNonCom& doc, CTakeGuard& guard);
    // GetDocument's two ways of handing out a file.
    CStdStr WorkingCopyOf(IVersionPtr pVersion, const CStdStr& strWorkingCopy);
    HRESULT FetchPrivateCopy(IVersionPtr pVersion, CProfileReads& profile, long lFlags, CVDocNonCom& doc);
    // CloseDocument's check-in on DM 5 of a record checked out through the provider.
    HRESULT CheckInDm5(IVersionPtr pVersion, const CStdStr& strLocal);

    std::unique_ptr<ISaveAsDlgWindow> m_pSaveAsDlgWindow;
    bool m_bInstalled = false;
    CStdStr m_strCallingApplication;
    CStdStr m_strExtension;  // extension of the file last fetched or to be saved
    CStdStr m_strAppID;      // DMS application ID that the save decision chose
    CStdStr m_strHelpSource;
    struct CMadeForSave
    {
        CStdStr strDocID;
        MadeForSave made;
        bool bTookCheckOut;  // the save decision checked it out, and its discarding gives that back
    };
    std::vector<CMadeForSave> m_made;   // made by a save decision, not yet written
    std::vector<CStdStr> m_discarded;   // made, then deleted after a failed save: saving into it fails
    long m_lHelpContext = 0;
};
