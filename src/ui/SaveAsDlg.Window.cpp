// The Save As dialog's window (CSaveAsDlgWindow); logs as the dialog it shows.
#include "ui/SaveAsDlgWindow.h"

#include <exception>
#include <vector>

#include "dms/AppWrapper.h"
#include "dms/DmsValues.h"
#include "framework/ActivationContextLoader.h"
#include "framework/Logging.h"
#include "local/Help.h"
#include "save/FileTypeCombo.h"
#include "ui/AxHost.h"
#include "ui/UiResources.h"

namespace {

constexpr COLORREF BACKGROUND_COLOUR = RGB(0xFF, 0xFF, 0xFF);

CStdStr ControlText(HWND hControl)
{
    std::vector<wchar_t> text(SAVEAS_MAX_TEXT + 1, L'\0');
    GetWindowTextW(hControl, text.data(), static_cast<int>(text.size()));
    return CStdStr(text.data());
}

}  // namespace

CSaveAsDlgWindow::CSaveAsDlgWindow() : m_backgroundBrush(CreateSolidBrush(BACKGROUND_COLOUR)) {}

CSaveAsDlgWindow::~CSaveAsDlgWindow() = default;

INT_PTR CSaveAsDlgWindow::ShowModal(CSaveAsDlg& dlg, HWND hParent)
{
    m_pDlg = &dlg;
    INT_PTR nResult = DoModal(IDD_SAVEAS, hParent);
    // The controls are gone with the window; the control object goes with them.
    m_hCommentEdit = nullptr;
    m_hLibraryCombo = nullptr;
    m_hFileTypeHost = nullptr;
    m_pFileTypeCombo = nullptr;
    m_pDlg = nullptr;
    return nResult;
}

BOOL CSaveAsDlgWindow::OnInitDialog()
{
    CSaveAsDlg& dlg = *m_pDlg;
    m_hCommentEdit = GetDlgItem(m_hWnd, IDC_SAVEAS_COMMENT);
    m_hLibraryCombo = GetDlgItem(m_hWnd, IDC_SAVEAS_LIBRARIES);
    EnableWindow(m_hLibraryCombo, dlg.IsLibraryListAllowed());
    if (!PopulateLibrariesCombo())
    {
        // Closed as failed, not as cancelled: the save must answer a failure.
        EndDialog(m_hWnd, SAVEAS_DLG_FAILED);
        return TRUE;
    }

    // Each choice's radio button: enabled when offered, checked when preselected.
    const struct
    {
        int nChoice;
        int nID;
    } choiceButtons[] = {{SAVE_CHOICE_NEW_DOCUMENT, IDC_SAVEAS_NEW_DOCUMENT},
                         {SAVE_CHOICE_REPLACE_ORIGINAL, IDC_SAVEAS_REPLACE_ORIGINAL},
                         {SAVE_CHOICE_NEW_VERSION, IDC_SAVEAS_NEW_VERSION},
                         {SAVE_CHOICE_NEW_SUBVERSION, IDC_SAVEAS_NEW_SUBVERSION},
                         {SAVE_CHOICE_ATTACHMENT, IDC_SAVEAS_ATTACHMENT}};
    const int nChoice = dlg.GetDefaultChoice();
    for (const auto& c : choiceButtons)
    {
        EnableWindow(GetDlgItem(m_hWnd, c.nID), dlg.IsChoiceAvailable(c.nChoice));
        CheckDlgButton(m_hWnd, c.nID, c.nChoice == nChoice ? BST_CHECKED : BST_UNCHECKED);
    }
    dlg.SetUserChoice(nChoice);
    UpdateControls();

    const long lDocNumber = dlg.GetDocNumber();
    SetDlgItemTextW(m_hWnd, IDC_SAVEAS_NUMBER, lDocNumber > 0 ? CStdStr::Format(L"%ld", lDocNumber).c_str() : L"");
    SetDlgItemTextW(m_hWnd, IDC_SAVEAS_VERSION_LABEL, dlg.GetVersionLabel().c_str());
    SetDlgItemTextW(m_hWnd, IDC_SAVEAS_DESCRIPTION, dlg.GetDescription().c_str());

    HostFileTypeCombo();
    return TRUE;
}

bool CSaveAsDlgWindow::PopulateLibrariesCombo()
{
    const wchar_t* const pszFunction = L"CSaveAsDlg::PopulateLibrariesCombo";
    try
    {
        IApplicationPtr pApp = OpenDmsApplication();
        if (!pApp)
            _com_issue_error(E_POINTER);
        ILibrariesPtr pLibraries;
        DmsCheck(pApp->get_Libraries(&pLibraries));
        if (!pLibraries)
            _com_issue_error(E_POINTER);

        SendMessageW(m_hLibraryCombo, CB_RESETCONTENT, 0, 0);
        long lCount = 0;
        DmsCheck(pLibraries->get_Count(&lCount));
        for (long i = 1; i <= lCount; ++i)
        {
            ILibraryPtr pLib;
            DmsCheck(pLibraries->get_Item(_variant_t(i), &pLib));
            if (!pLib)
                _com_issue_error(E_POINTER);
            _bstr_t bstrName;
            DmsCheck(pLib->get_Name(bstrName.GetAddress()));
            const CStdStr strName = DmsText(bstrName);
            LOG_INFO(pszFunction, CStdStr::Format(L"Adding library to combo, index=%d, name = %ls", static_cast<int>(i),
                                                  strName.c_str()));
            SendMessageW(m_hLibraryCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strName.c_str()));
        }

        ILibraryPtr pCurrent;
        DmsCheck(pApp->get_CurrentLibrary(&pCurrent));
        if (pCurrent)
        {
            _bstr_t bstrCurrent;
            DmsCheck(pCurrent->get_Name(bstrCurrent.GetAddress()));
            const CStdStr strCurrent = DmsText(bstrCurrent);
            SendMessageW(m_hLibraryCombo, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(strCurrent.c_str()));
        }
        LogLibrary(L"Set the default library in the combo to :", pCurrent);
        return true;
    }
    catch (...)
    {
        LOG_ERROR(pszFunction, L"Caught unknown error");
        return false;
    }
}

void CSaveAsDlgWindow::UpdateControls()
{
    const CSaveAsDlg& dlg = *m_pDlg;
    SetWindowTextW(m_hCommentEdit, dlg.GetCommentEnabled() ? SAVEAS_DEFAULT_COMMENT : L"");
    EnableWindow(m_hCommentEdit, dlg.GetCommentEnabled());
    EnableWindow(m_hLibraryCombo, dlg.GetLibraryListEnabled());
}

void CSaveAsDlgWindow::OnChoice(int nChoice, bool bFileTypeFree)
{
    CSaveAsDlg& dlg = *m_pDlg;
    dlg.SetUserChoice(nChoice);
    if (m_pFileTypeCombo)
    {
        try
        {
            if (!bFileTypeFree)
                FileTypeCombo::FillFormats(m_pFileTypeCombo, dlg.GetFormatList(), dlg.GetFormatIndex());
            FileTypeCombo::EnableControl(m_pFileTypeCombo, bFileTypeFree);
        }
        catch (const _com_error& e)
        {
            LOG_ERROR(L"CSaveAsDlg::OnChoice", e);
        }
    }
    UpdateControls();
}

void CSaveAsDlgWindow::OnCommand(WORD wID, WORD wNotifyCode, HWND hControl)
{
    switch (wID)
    {
    case IDC_SAVEAS_NEW_DOCUMENT:
    case IDC_SAVEAS_ATTACHMENT:
    case IDC_SAVEAS_NEW_VERSION:
    case IDC_SAVEAS_NEW_SUBVERSION:
    case IDC_SAVEAS_REPLACE_ORIGINAL:
        if (wNotifyCode != BN_CLICKED)
            return;
        if (wID == IDC_SAVEAS_NEW_DOCUMENT)
            OnChoice(SAVE_CHOICE_NEW_DOCUMENT, true);
        else if (wID == IDC_SAVEAS_ATTACHMENT)
            OnChoice(SAVE_CHOICE_ATTACHMENT, true);
        else if (wID == IDC_SAVEAS_NEW_VERSION)
            OnChoice(SAVE_CHOICE_NEW_VERSION, false);
        else if (wID == IDC_SAVEAS_NEW_SUBVERSION)
            OnChoice(SAVE_CHOICE_NEW_SUBVERSION, false);
        else
            OnChoice(SAVE_CHOICE_REPLACE_ORIGINAL, false);
        return;
    case IDC_SAVEAS_HELP:
        OnHelp();
        return;
    case IDC_SAVEAS_LIBRARIES_BUTTON:
        return;  // hidden and disabled: nothing to do
    default:
        CModalDialog::OnCommand(wID, wNotifyCode, hControl);
    }
}

void CSaveAsDlgWindow::OnOK()
{
    CSaveAsDlg& dlg = *m_pDlg;
    if (m_pFileTypeCombo)
    {
        try
        {
            const CStdStr strType = FileTypeCombo::GetSelectedType(m_pFileTypeCombo);
            dlg.SelectType(strType, FileTypeCombo::GetSelectedIndex(m_pFileTypeCombo));
        }
        catch (const _com_error& e)
        {
            LOG_ERROR(L"CSaveAsDlg::OnOK", e);
        }
    }
    const CStdStr strLibraryName = ControlText(m_hLibraryCombo);
    LOG_INFO(L"CSaveAsDlg::OnOK", CStdStr::Format(L"Setting selected index from combo box to (note zero based) : %ls",
                                                  strLibraryName.c_str()));
    dlg.Accept(ControlText(m_hCommentEdit), strLibraryName);
    EndDialog(m_hWnd, IDOK);
}

void CSaveAsDlgWindow::OnHelp()
{
    ShowHelp(m_pDlg->GetHelpContext(), m_pDlg->GetHelpSource());
}

void CSaveAsDlgWindow::HostFileTypeCombo()
{
    const wchar_t* const pszFunction = L"CSaveAsDlg::HostFileTypeCombo";
    const CSaveAsDlg& dlg = *m_pDlg;
    try
    {
        CActivationContextLoader context;
        if (!AxHost::Init())
        {
            LOG_ERROR(pszFunction, L"The ActiveX host window class is not available");
            return;
        }
        HWND hPlaceholder = GetDlgItem(m_hWnd, IDC_SAVEAS_FILE_TYPE);
        RECT rc = {};
        GetWindowRect(hPlaceholder, &rc);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        // WS_EX_CONTROLPARENT lets Tab reach the control's own window inside the host.
        m_hFileTypeHost = CreateWindowExW(WS_EX_CONTROLPARENT, AxHost::HOST_WINDOW_CLASS, FILE_TYPE_COMBO_PROGID,
                                          WS_CHILD | WS_VISIBLE | WS_TABSTOP, rc.left, rc.top, rc.right - rc.left,
                                          rc.bottom - rc.top, m_hWnd,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_SAVEAS_FILE_TYPE)),
                                          UiResourceModule(), nullptr);
        if (!m_hFileTypeHost)
        {
            LOG_ERROR(pszFunction, HRESULT_FROM_WIN32(GetLastError()));
            return;
        }
        // Right after the placeholder in the tab order.
        SetWindowPos(m_hFileTypeHost, hPlaceholder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        CComRef<IUnknown> pUnknown;
        if (FAILED(AxHost::GetControl(m_hFileTypeHost, pUnknown.Receive())) || !pUnknown)
        {
            LOG_ERROR(pszFunction, L"The Save As Type control could not be created");
            DestroyWindow(m_hFileTypeHost);
            m_hFileTypeHost = nullptr;
            return;
        }
        ICVFileTypeComboPtr pCombo;
        if (FAILED(pUnknown->QueryInterface(__uuidof(ICVFileTypeCombo), reinterpret_cast<void**>(&pCombo))))
            return;
        m_pFileTypeCombo = pCombo;
        FileTypeCombo::FillFormats(m_pFileTypeCombo, dlg.GetFormatList(), dlg.GetFormatIndex());
        FileTypeCombo::EnableControl(m_pFileTypeCombo, dlg.UsesSaveAsType());
    }
    catch (const _com_error& e)
    {
        LOG_ERROR(pszFunction, e);
    }
    catch (const std::exception& e)
    {
        LOG_ERROR(pszFunction, e);
    }
}

bool CSaveAsDlgWindow::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult)
{
    switch (uMsg)
    {
    case WM_CTLCOLORDLG:
        *pResult = reinterpret_cast<INT_PTR>(m_backgroundBrush.Get());
        return true;
    case WM_CTLCOLORSTATIC:
        // The bottom band keeps the system colour.
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_SAVEAS_BOTTOM_BAND)
            return false;
        SetBkColor(reinterpret_cast<HDC>(wParam), BACKGROUND_COLOUR);
        *pResult = reinterpret_cast<INT_PTR>(m_backgroundBrush.Get());
        return true;
    default:
        return false;
    }
}
