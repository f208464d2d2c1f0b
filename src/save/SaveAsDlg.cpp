#include "save/SaveAsDlg.h"

#include <exception>

#include "dms/AppWrapper.h"
#include "dms/DmsValues.h"
#include "framework/ActivationContextLoader.h"
#include "framework/Handles.h"
#include "framework/Logging.h"
#include "framework/Messaging.h"
#include "save/FileFormats.h"
#include "save/FileTypeCombo.h"

namespace {

// The message display's button set, branding and type for the library question.
constexpr int MESSAGE_BUTTONS_YES_NO_CANCEL = 3;
constexpr int MESSAGE_BRANDING = 3;
constexpr int MESSAGE_TYPE_QUESTION = 1;
constexpr int MESSAGE_NO_NUMBER = -1;

CStdStr LibraryName(ILibraryPtr pLib)
{
    _bstr_t bstrName;
    DmsCheck(pLib->get_Name(bstrName.GetAddress()));
    return DmsText(bstrName);
}

ILibraryPtr CurrentLibraryOf(IApplicationPtr pApp)
{
    ILibraryPtr pLib;
    DmsCheck(pApp->get_CurrentLibrary(&pLib));
    return pLib;
}

}  // namespace

void LogLibrary(const wchar_t* pszFormat, ILibraryPtr pLib)
{
    try
    {
        CStdStr strMessage(pszFormat);
        strMessage.Replace(L"%s", pLib ? LibraryName(pLib) : CStdStr(L"<null library>"));
        LOG_INFO(L"LogLibrary", strMessage);
    }
    catch (...)
    {
        LOG_ERROR(L"LogLibrary", L"Logging of library info failed.");
    }
}

CSaveAsDlg::CSaveAsDlg(long lHelpContext, const CStdStr& strHelpSource)
    : m_strHelpSource(strHelpSource), m_lHelpContext(lHelpContext)
{
}

CSaveAsDlg::~CSaveAsDlg() = default;

HRESULT CSaveAsDlg::InitSaveAsDlg(bool bVersionFound, IVersionPtr pVer, IProfilePtr& pProf, long lFlags,
                                  long* pFormatIndex, const CStdStr& strFormatList)
{
    // A DMS failure here is the caller's to report: it raises, as every DMS read does.
    if (bVersionFound)
    {
        if (!pProf)
            pProf = ProfileOf(pVer);
        m_strVersionLabel = VersionLabelOf(pVer);
        _bstr_t bstrComment;
        DmsCheck(pVer->get_Comment(bstrComment.GetAddress()));
        m_strComment = DmsText(bstrComment);
        m_strDescription = m_strComment;
        DmsCheck(pProf->get_DocNumber(&m_lDocNumber));
    }
    if (!PrepareSaveAsDlg(bVersionFound, lFlags, pFormatIndex, strFormatList))
    {
        LOG_ERROR(L"CSaveAsDlg::InitSaveAsDlg", L"GetSaveInfo() : PrepareSaveAsDlg() failed");
        return E_FAIL;
    }
    PreselectChoiceAndType();
    return S_OK;
}

bool CSaveAsDlg::PrepareSaveAsDlg(bool bVersionFound, long lFlags, long* pFormatIndex, const CStdStr& strFormatList)
{
    if ((lFlags & SAVE_OPTION_ANY_CHOICE) == 0 || !pFormatIndex)
        return false;
    m_bNewVersion = m_bNewSubversion = m_bReplaceOriginal = m_bUseSaveAsType = false;
    m_bAttachment = m_bLibraryList = m_bNewDocument = false;
    if (lFlags & SAVE_OPTION_NEW_DOCUMENT)
    {
        m_bNewDocument = true;
        m_bLibraryList = true;
        m_bUseSaveAsType = true;
    }
    else if (!bVersionFound)
    {
        return false;
    }
    if (bVersionFound)
    {
        if (lFlags & SAVE_OPTION_NEW_VERSION)
            m_bNewVersion = m_bNewSubversion = true;
        if (lFlags & SAVE_OPTION_ATTACHMENT)
            m_bAttachment = m_bUseSaveAsType = true;
        if (lFlags & SAVE_OPTION_REPLACE)
            m_bReplaceOriginal = true;
    }
    m_bSilent = (lFlags & SAVE_OPTION_SILENT) != 0;
    m_strFormatList = strFormatList;
    m_nFormatIndex = *pFormatIndex;
    return true;
}

int CSaveAsDlg::GetDefaultChoice() const
{
    if (m_bAttachment)
        return SAVE_CHOICE_ATTACHMENT;
    if (m_bNewDocument)
        return SAVE_CHOICE_NEW_DOCUMENT;
    if (m_bNewVersion)
        return SAVE_CHOICE_NEW_VERSION;
    if (m_bNewSubversion)
        return SAVE_CHOICE_NEW_SUBVERSION;
    if (m_bReplaceOriginal)
        return SAVE_CHOICE_REPLACE_ORIGINAL;
    return SAVE_CHOICE_NONE;
}

bool CSaveAsDlg::IsChoiceAvailable(int nChoice) const
{
    switch (nChoice)
    {
    case SAVE_CHOICE_NEW_DOCUMENT:
        return m_bNewDocument;
    case SAVE_CHOICE_NEW_VERSION:
        return m_bNewVersion;
    case SAVE_CHOICE_REPLACE_ORIGINAL:
        return m_bReplaceOriginal;
    case SAVE_CHOICE_ATTACHMENT:
        return m_bAttachment;
    case SAVE_CHOICE_NEW_SUBVERSION:
        return m_bNewSubversion;
    default:
        return false;
    }
}

void CSaveAsDlg::PreselectChoiceAndType()
{
    SetUserChoice(GetDefaultChoice());
    // A silent save takes the same file type as the dialog would preselect, so the control's
    // selection is read here, from a control without a window that serves only this reading.
    // Without the control the type stays empty.
    try
    {
        CActivationContextLoader context;
        ICVFileTypeComboPtr pCombo = FileTypeCombo::CreateWindowless();
        if (pCombo)
        {
            FileTypeCombo::FillFormats(pCombo, m_strFormatList, m_nFormatIndex);
            m_strSelectedType = FileTypeCombo::GetSelectedType(pCombo);
        }
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(L"CSaveAsDlg::PreselectChoiceAndType", e);
    }
    catch (const std::exception& e)
    {
        LOG_ERROR(L"CSaveAsDlg::PreselectChoiceAndType", e);
    }
}

CStdStr CSaveAsDlg::GetSaveExtension(const CStdStr& strFormatList, long* pFormatIndex,
                                     const CStdStr& strDocExtension) const
{
    const CFileFormats formats(strFormatList.c_str());
    const CStdStr strIndexExtension = formats.GetExtForIndex(*pFormatIndex);
    if (m_bUseSaveAsType)
    {
        *pFormatIndex = m_nFormatIndex;
        const size_t dot = m_strSelectedType.rfind(L'.');
        return dot == CStdStr::npos ? m_strSelectedType : CStdStr(m_strSelectedType.substr(dot + 1));
    }
    // The record's own extension stands when the list gives it the same format (or does not
    // know it and the format is the first).
    if (!strDocExtension.empty() && formats.FindFormat(strDocExtension.c_str(), 1) == *pFormatIndex)
        return strDocExtension;
    return strIndexExtension;
}

void CSaveAsDlg::PrepareToShow(HWND hParent)
{
    m_hHostWnd = hParent;
    m_pLib = nullptr;
}

ILibraryPtr CSaveAsDlg::GetSelectedLibrary()
{
    const wchar_t* const pszFunction = L"CSaveAsDlg::GetSelectedLibrary";
    if (m_pLib)
    {
        LogLibrary(L"m_pLib already set, using it : %s", m_pLib);
        m_hrLibraryLookup = S_OK;
        return m_pLib;
    }
    IApplicationPtr pApp;
    try
    {
        pApp = OpenDmsApplication();
        if (!pApp)
            _com_issue_error(E_POINTER);
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(pszFunction, e);
        m_hrLibraryLookup = E_FAIL;
        return nullptr;
    }

    try
    {
        if (SaveToLocalDMSRegFix() || m_strLibraryName.empty())
        {
            LOG_INFO(pszFunction, L"reg fix enabled or dialog not shown (index -1), using current library");
            m_pLib = CurrentLibraryOf(pApp);
            LogLibrary(L"Got current library from application : %s", m_pLib);
            m_hrLibraryLookup = m_pLib ? S_OK : E_FAIL;
            return m_pLib;
        }
        m_pLib = LibraryNamed(pApp, m_strLibraryName);
        LogLibrary(L"Got library from collection : %s", m_pLib);
        if (!m_pLib)
        {
            // A name that matches no library is no answer of the user's: the save fails.
            m_hrLibraryLookup = E_FAIL;
            return nullptr;
        }
    }
    catch (...)
    {
        LOG_ERROR(pszFunction, L"Failed to retrieve selected Library");
        m_pLib = nullptr;
        // Nobody may be asked during a silent save: the save fails instead.
        m_hrLibraryLookup = E_FAIL;
        if (m_bSilent)
            return nullptr;
        OfferCurrentLibrary(pApp);
    }
    LogLibrary(L"Returning this library from GetSelectedLibary() : %s", m_pLib);
    if (m_pLib)
        m_hrLibraryLookup = S_OK;
    return m_pLib;
}

// The library of the application's collection whose name is strName; none when no name matches.
ILibraryPtr CSaveAsDlg::LibraryNamed(IApplicationPtr pApp, const CStdStr& strName)
{
    ILibrariesPtr pLibraries;
    DmsCheck(pApp->get_Libraries(&pLibraries));
    if (!pLibraries)
        DmsCheck(E_POINTER);
    long lCount = 0;
    DmsCheck(pLibraries->get_Count(&lCount));
    for (long i = 1; i <= lCount; ++i)
    {
        ILibraryPtr pLib;
        DmsCheck(pLibraries->get_Item(_variant_t(i), &pLib));
        const CStdStr strLibrary = LibraryName(pLib);
        LOG_INFO(L"CSaveAsDlg::GetSelectedLibrary",
                 CStdStr::Format(L"Checking libraries collection : index=%d, name = %ls", static_cast<int>(i),
                                 strLibrary.c_str()));
        if (strLibrary == strName)
        {
            LOG_INFO(L"CSaveAsDlg::GetSelectedLibrary", L"Library name match - selecting library");
            return pLib;
        }
    }
    return nullptr;
}

// After the library could not be found, asks the user whether to save into the current library;
// a "no" is the user's cancel.
void CSaveAsDlg::OfferCurrentLibrary(IApplicationPtr pApp)
{
    try
    {
        if (DisplayLibraryRetrieveFailedMsg(pApp) == IDYES)
        {
            m_pLib = CurrentLibraryOf(pApp);
            LogLibrary(L"Got current library in response to an exception : %s", m_pLib);
        }
        else
        {
            m_hrLibraryLookup = S_FALSE;  // the user declined: a cancel
        }
    }
    catch (...)
    {
        LOG_ERROR(L"CSaveAsDlg::GetSelectedLibrary", L"Failed to retrieve the current library");
        m_pLib = nullptr;
    }
}

int CSaveAsDlg::DisplayLibraryRetrieveFailedMsg(IApplicationPtr pApp)
{
    if (!pApp)
        _com_issue_error(E_POINTER);
    ILibraryPtr pCurrent = CurrentLibraryOf(pApp);
    if (!pCurrent)
        _com_issue_error(E_POINTER);
    const CStdStr strText = CStdStr::Format(
        L"Unable to retrieve selected library, would you like to save to current library: %ls ?",
        LibraryName(pCurrent).c_str());
    const Corvane::Logging::LogSite site = LOG_SITE;
    // Owned by the host's window: the dialog itself is closed by the time a library is looked up.
    return Corvane::Messaging::ShowMessage(m_hHostWnd, strText, MESSAGE_BUTTONS_YES_NO_CANCEL, MESSAGE_BRANDING,
                                           MESSAGE_TYPE_QUESTION, CStdStr(), MESSAGE_NO_NUMBER,
                                           CStdStr(site.source.data(), site.source.size()), site.line,
                                           L"CSaveAsDlg::DisplayLibraryRetrieveFailedMsg");
}

bool CSaveAsDlg::SaveToLocalDMSRegFix()
{
    const wchar_t* const pszFunction = L"CSaveAsDlg::SaveToLocalDMSRegFix";
    CRegKey key;
    DWORD dwValue = 0;
    DWORD dwType = 0;
    DWORD cb = sizeof(dwValue);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, HOST_SETTINGS_KEY, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS ||
        RegQueryValueExW(key.Get(), SAVE_TO_LOCAL_DMS_REG_FIX, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue),
                         &cb) != ERROR_SUCCESS ||
        dwType != REG_DWORD)
    {
        LOG_INFO(pszFunction, L"SaveLocal reg key not present - returning false");
        return false;
    }
    if (dwValue != 0)
    {
        LOG_INFO(pszFunction, L"SaveLocal reg key present and non zero - returning true");
        return true;
    }
    LOG_INFO(pszFunction, L"SaveLocal reg key present and Zero - returning false");
    return false;
}
