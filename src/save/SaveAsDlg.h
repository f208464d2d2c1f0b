#pragma once
// CSaveAsDlg: the state and rules of the provider's Save As dialog, kept apart from its window
// so that a save can be decided, and tested, without one. It holds what the host allows (the
// option flags prepared from the save-options mask), the format list and index, the document's
// number, label and description, and what the user chose (choice, comment, file type,
// library). The window (ISaveAsDlgWindow) shows it and gives the user's answers back, both
// through the public members below; the state holds nothing of the window.
// One object serves one save on the host's thread: constructed, InitSaveAsDlg, optionally
// shown, then read.
#include <windows.h>

#include "dms/DmsTypes.h"
#include "framework/StdStr.h"
#include "save/SaveAsDlgBase.h"

class CSaveAsDlg;

// The dialog's window. ShowModal shows dlg modally, owned by hParent, and answers IDOK, IDCANCEL
// or SAVEAS_DLG_FAILED (the library list could not be filled, or the window not be created).
class ISaveAsDlgWindow
{
public:
    virtual ~ISaveAsDlgWindow() = default;
    virtual INT_PTR ShowModal(CSaveAsDlg& dlg, HWND hParent) = 0;
};

constexpr INT_PTR SAVEAS_DLG_FAILED = -1;

// Host settings key and the value that makes a new document go to the current library.
constexpr wchar_t HOST_SETTINGS_KEY[] = L"Software\\Corvane\\Studio\\Settings";
constexpr wchar_t SAVE_TO_LOCAL_DMS_REG_FIX[] = L"SaveToLocalDMSRegFixEnabled";

// Help context shown when the host gave none.
constexpr long SAVEAS_DEFAULT_HELP_CONTEXT = 187;

class CSaveAsDlg : public SaveAsDlgBase
{
public:
    CSaveAsDlg(long lHelpContext, const CStdStr& strHelpSource);
    ~CSaveAsDlg() override;
    CSaveAsDlg(const CSaveAsDlg&) = delete;
    CSaveAsDlg& operator=(const CSaveAsDlg&) = delete;

    // Reads the found version's number, label and comment, prepares the options from the mask
    // and preselects the default choice and file type. S_OK, or E_FAIL when the mask allows
    // nothing; raises _com_error when the version or its profile cannot be read.
    HRESULT InitSaveAsDlg(bool bVersionFound, IVersionPtr pVer, IProfilePtr& pProf, long lFlags, long* pFormatIndex,
                          const CStdStr& strFormatList);
    // Turns the save-options mask into the option flags; false when the mask allows nothing.
    bool PrepareSaveAsDlg(bool bVersionFound, long lFlags, long* pFormatIndex, const CStdStr& strFormatList);
    // The first available of Attachment, New Document, New Version, New Subversion, Replace
    // Original; SAVE_CHOICE_NONE when nothing is available.
    int GetDefaultChoice() const;
    // The extension the saved file takes (see the rule in the source); may set *pFormatIndex to
    // the index chosen in the Save As Type control.
    CStdStr GetSaveExtension(const CStdStr& strFormatList, long* pFormatIndex, const CStdStr& strDocExtension) const;

    // Called before the window shows the dialog, owned by hParent (which also owns any later
    // question). A library found for an earlier answer is forgotten: this showing names its own.
    void PrepareToShow(HWND hParent);

    // What the window shows: the found version's number (0 without one), label and comment
    // (its description), the format list and the index preselected in it, and the help.
    long GetDocNumber() const { return m_lDocNumber; }
    const CStdStr& GetVersionLabel() const { return m_strVersionLabel; }
    const CStdStr& GetDescription() const { return m_strDescription; }
    const CStdStr& GetFormatList() const { return m_strFormatList; }
    // The host's help context, or the dialog's own when the host gave none.
    long GetHelpContext() const { return m_lHelpContext > 0 ? m_lHelpContext : SAVEAS_DEFAULT_HELP_CONTEXT; }
    const CStdStr& GetHelpSource() const { return m_strHelpSource; }

    // The library for a new document: the one already found, the current library (registry
    // fix or dialog not shown), or the one named in the dialog; null when none is to be used.
    ILibraryPtr GetSelectedLibrary();
    // How the last GetSelectedLibrary ended: S_OK with a library, S_FALSE when the user declined
    // the current library (a cancel), E_FAIL when no library was found: no name matched, no
    // current library, or the lookup failed where nobody may be asked (a silent save).
    HRESULT GetLibraryLookupResult() const { return m_hrLibraryLookup; }
    const CStdStr& GetComment() const { return m_strComment; }
    // The comment as a silent save, or a caller that asked the user itself, gives it.
    void SetComment(const CStdStr& strComment) { m_strComment = strComment; }
    // The Save As Type control's selection at OK: its pattern (e.g. "*.doc") and its index in
    // the format list.
    void SelectType(const CStdStr& strType, long nFormatIndex)
    {
        m_strSelectedType = strType;
        m_nFormatIndex = nFormatIndex;
    }
    // The user's answers at OK, with the choice already set: the comment, the typed library
    // name, and whether the Save As Type selection decides the extension (New Document and
    // Attachment choose a type; the other choices keep the document's).
    void Accept(const CStdStr& strComment, const CStdStr& strLibraryName)
    {
        m_strComment = strComment;
        m_strLibraryName = strLibraryName;
        const int nChoice = GetUserChoice();
        m_bUseSaveAsType = nChoice == SAVE_CHOICE_NEW_DOCUMENT || nChoice == SAVE_CHOICE_ATTACHMENT;
    }
    bool SaveToLocalDMSRegFix();

    // The host window that owns the dialog and its questions (null until set).
    void SetHostWindow(HWND hWnd) { m_hHostWnd = hWnd; }

    // Read by the save routines.
    long GetFormatIndex() const { return m_nFormatIndex; }
    const CStdStr& GetSelectedType() const { return m_strSelectedType; }
    const CStdStr& GetLibraryName() const { return m_strLibraryName; }
    bool UsesSaveAsType() const { return m_bUseSaveAsType; }
    // Whether the prepared options offer a choice (its radio button is enabled).
    bool IsChoiceAvailable(int nChoice) const;
    bool IsLibraryListAllowed() const { return m_bLibraryList; }
    bool IsSilent() const { return m_bSilent; }

private:
    void PreselectChoiceAndType();
    ILibraryPtr LibraryNamed(IApplicationPtr pApp, const CStdStr& strName);
    void OfferCurrentLibrary(IApplicationPtr pApp);
    int DisplayLibraryRetrieveFailedMsg(IApplicationPtr pApp);

    ILibraryPtr m_pLib;
    CStdStr m_strFormatList;
    long m_nFormatIndex = 0;
    bool m_bNewVersion = false;
    bool m_bNewSubversion = false;
    bool m_bReplaceOriginal = false;
    bool m_bUseSaveAsType = false;
    bool m_bAttachment = false;
    bool m_bLibraryList = false;
    bool m_bNewDocument = false;
    CStdStr m_strVersionLabel;
    CStdStr m_strDescription;
    CStdStr m_strComment;
    CStdStr m_strSelectedType;
    CStdStr m_strLibraryName;
    long m_lDocNumber = 0;
    CStdStr m_strHelpSource;
    long m_lHelpContext = 0;
    bool m_bSilent = false;
    HWND m_hHostWnd = nullptr;
    HRESULT m_hrLibraryLookup = S_FALSE;
};

// Logs strFormat as information under "LogLibrary" with the library's name (or "<null library>")
// filled in. Never raises.
void LogLibrary(const wchar_t* pszFormat, ILibraryPtr pLib);
