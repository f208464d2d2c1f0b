// CPDDocProviderHelper: the save decision. GetSaveInfo asks the user (or the mask, for a silent
// save) how a document is to be saved, prepares the DMS target of that choice and leaves the
// record naming it for the host's following SaveDocument.
#include "operations/PDDocProviderHelper.h"

#include <corvane/QuendrelResults.h>

#include "dms/AppWrapper.h"
#include "dms/DmsCall.h"
#include "dms/DmsValues.h"
#include "framework/Logging.h"
#include "operations/PDHistoryHelper.h"
#include "save/SaveAsDlg.h"

namespace {

const wchar_t kGetSaveInfo[] = L"CPDDocProviderHelper::GetSaveInfo";
const wchar_t kPerformSave[] = L"CPDDocProviderHelper::PerformAppropriateSaveDocument";
const wchar_t kOriginalReplaced[] = L"Original replaced";

}  // namespace

void CPDDocProviderHelper::SetSaveAsDlgWindow(std::unique_ptr<ISaveAsDlgWindow> pWindow)
{
    m_pSaveAsDlgWindow = std::move(pWindow);
}

HRESULT CPDDocProviderHelper::GetSaveInfo(long lParentWnd, CStdStr strFormats, long lFlags, long* plFormatIndex,
                                          CVDocNonCom& doc)
{
    if (!m_bInstalled)
        return E_PD_NOT_INSTALLED;
    if (!plFormatIndex)
        return E_POINTER;

    // Once the user has answered, a failure must never read as success: the record would still
    // name the version the document came from, and the host's following save would overwrite it.
    bool bAnswered = false;
    try
    {
        IApplicationPtr pApp = OpenDmsApplication();
        if (!pApp)
            _com_issue_error(E_POINTER);
        DmsCheck(pApp->put_ParentWindow(lParentWnd));

        IProfilePtr pProf;
        IVersionPtr pVer = GetVersion(doc.GetDocID(), pProf);
        CSaveAsDlg dlg(m_lHelpContext, m_strHelpSource);
        const HRESULT hrInit = dlg.InitSaveAsDlg(pVer != nullptr, pVer, pProf, lFlags, plFormatIndex, strFormats);
        if (FAILED(hrInit))
            return hrInit;

        INT_PTR nResult = IDOK;
        if (!dlg.IsSilent())
        {
            const HWND hParent = reinterpret_cast<HWND>(static_cast<LONG_PTR>(lParentWnd));
            dlg.PrepareToShow(hParent);
            nResult = m_pSaveAsDlgWindow ? m_pSaveAsDlgWindow->ShowModal(dlg, hParent) : SAVEAS_DLG_FAILED;
            if (nResult == IDCANCEL)
                return S_FALSE;
        }
        bAnswered = true;

        // Only a choice the dialog offered prepares anything.
        if (nResult == IDOK && dlg.IsChoiceAvailable(dlg.GetUserChoice()))
        {
            const HRESULT hr = ChooseSaveFormat(dlg, strFormats, plFormatIndex, doc, pProf);
            if (hr != S_OK)
                return hr;
        }
        return PerformAppropriateSaveDocument(nResult, dlg, pProf, pVer, pApp, doc);
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(kGetSaveInfo, L"Caught unknown error");
        return bAnswered && FAILED(e.Error()) ? e.Error() : E_FAIL;
    }
    catch (...)
    {
        LOG_ERROR(kGetSaveInfo, L"Caught unknown error");
        return E_FAIL;
    }
}

// The extension of the user's choice and the DMS application that the target's library
// registers for it (m_strExtension, m_strAppID). S_FALSE when the user said no to the current
// library; E_FAIL when no library answers.
HRESULT CPDDocProviderHelper::ChooseSaveFormat(CSaveAsDlg& dlg, const CStdStr& strFormats, long* plFormatIndex,
                                               const CVDocNonCom& doc, IProfilePtr pProf)
{
    const CStdStr strExtension = dlg.GetSaveExtension(strFormats, plFormatIndex, doc.GetExtension());
    ILibraryPtr pLibrary;
    if (dlg.GetUserChoice() == SAVE_CHOICE_NEW_DOCUMENT)
    {
        pLibrary = dlg.GetSelectedLibrary();
        // Only the user's own "no" to the current library is a cancel; a name that matches no
        // library, or a list that failed, leaves the document unsaved.
        if (!pLibrary)
            return dlg.GetLibraryLookupResult() == S_FALSE ? S_FALSE : E_FAIL;
    }
    else
    {
        if (!pProf)
            DmsCheck(E_POINTER);
        DmsCheckNumber(pProf, pProf->get_Library(&pLibrary));
    }
    m_strAppID = GetAppIDForExtension(pLibrary, strExtension);
    m_strExtension = strExtension;
    return S_OK;
}

HRESULT CPDDocProviderHelper::PerformAppropriateSaveDocument(INT_PTR nDialogResult, CSaveAsDlg& dlg,
                                                             IProfilePtr& pProf, IVersionPtr& pVer,
                                                             IApplicationPtr pApp, CVDocNonCom& doc)
{
    if (nDialogResult == IDCANCEL)
        return S_FALSE;
    if (nDialogResult == IDOK && dlg.IsChoiceAvailable(dlg.GetUserChoice()))
    {
        switch (dlg.GetUserChoice())
        {
        case SAVE_CHOICE_NEW_DOCUMENT:
            return SaveAsNewDocument(doc, pApp, pProf, pVer, dlg);
        case SAVE_CHOICE_NEW_VERSION:
        case SAVE_CHOICE_NEW_SUBVERSION:
            return SaveAsVersion(doc, pProf, pVer, dlg);
        case SAVE_CHOICE_ATTACHMENT:
            return SaveDocumentAsAttachment(pProf, pVer, dlg, doc);
        case SAVE_CHOICE_REPLACE_ORIGINAL:
            return ReplaceOriginal(pVer, doc);
        default:
            break;
        }
    }
    // A dialog that could not be shown, or a choice that was not offered: nothing was prepared.
    LOG_ERROR(kPerformSave, L"GetSaveInfo() : unknown");
    return E_UNEXPECTED;
}

// The original version takes the new content at the host's following save: only its date is
// refreshed here, and the replacement is entered in its history. A history entry the DMS refuses
// is logged and does not stop the save.
HRESULT CPDDocProviderHelper::ReplaceOriginal(IVersionPtr pVer, CVDocNonCom& doc)
{
    if (!pVer)
        _com_issue_error(E_POINTER);
    DATE dtDate = 0;
    DmsCheck(pVer->get_Date(&dtDate));
    doc.SetVersionDate(dtDate);
    try
    {
        CPDHistoryHelper<IProfilePtr> history;
        history.AddHistoryEntry(ProfileOf(pVer), kOriginalReplaced, GetCurrentUser());
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(kPerformSave, e);
    }
    return S_OK;
}
