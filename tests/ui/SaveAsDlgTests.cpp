// The Save As dialog's window driven as a user drives it, and what it writes back into the
// dialog's state (whose own rules the unit tests cover). Needs a display (Xvfb) and the host-suite
// stand-ins beside the test program (the Save As Type control comes through their activation context).
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "DialogDriving.h"
#include "DmsStandInControl.h"
#include "TestSupport.h"
#include "dms/AppWrapper.h"
#include "operations/PDDocProviderHelper.h"
#include "save/SaveAsDlg.h"
#include "ui/SaveAsDlgWindow.h"
#include "ui/UiResources.h"

namespace {

using namespace dialog_driving;

const wchar_t kFormats[] = L"Word Document (*.doc)|*.doc|Rich Text (*.rtf)|*.rtf|Plain Text (*.txt)|*.txt";

// The choices' radio buttons in the order of their choice numbers, 1 to 5.
const int kChoiceButtons[] = {IDC_SAVEAS_NEW_DOCUMENT, IDC_SAVEAS_NEW_VERSION, IDC_SAVEAS_REPLACE_ORIGINAL,
                              IDC_SAVEAS_ATTACHMENT, IDC_SAVEAS_NEW_SUBVERSION};

// The list of the hosted Save As Type control; null when no control is hosted.
HWND FileTypeList(HWND hDlg)
{
    HWND hHost = FindWindowExW(hDlg, nullptr, L"AtlAxWin100", nullptr);
    return hHost ? FindWindowExW(hHost, nullptr, L"ComboBox", nullptr) : nullptr;
}

// What the user sees: number|label|description|comment|library/entries/enabled|the enabled
// choices' numbers|the checked one|the Save As Type selection (1: the first format)/enabled.
std::wstring Look(HWND hDlg)
{
    auto state = [](HWND hWnd) { return IsWindowEnabled(hWnd) ? L"/on" : L"/off"; };
    std::wstring s;
    for (int nID : {IDC_SAVEAS_NUMBER, IDC_SAVEAS_VERSION_LABEL, IDC_SAVEAS_DESCRIPTION})
        s += Text(GetDlgItem(hDlg, nID)) + L"|";
    HWND hComment = GetDlgItem(hDlg, IDC_SAVEAS_COMMENT), hLibraries = GetDlgItem(hDlg, IDC_SAVEAS_LIBRARIES);
    s += (Text(hComment) == SAVEAS_DEFAULT_COMMENT ? L"default" : Text(hComment)) + state(hComment) + L"|";
    s += Text(hLibraries) + L"/" + std::to_wstring(SendMessageW(hLibraries, CB_GETCOUNT, 0, 0)) + state(hLibraries);
    std::wstring strEnabled = L"|", strChecked = L"|";
    for (int i = 0; i < 5; ++i)
    {
        const wchar_t szChoice[] = {static_cast<wchar_t>(L'1' + i), 0};
        strEnabled += Enabled(hDlg, kChoiceButtons[i]) ? szChoice : L"";
        strChecked += IsDlgButtonChecked(hDlg, kChoiceButtons[i]) == BST_CHECKED ? szChoice : L"";
    }
    HWND hList = FileTypeList(hDlg);
    return s + strEnabled + strChecked + L"|" + std::to_wstring(SendMessageW(hList, CB_GETCURSEL, 0, 0) + 1) +
           state(hList);
}

// A DMS with three libraries (MAIN current) and one document with version 2, the host suite
// beside the test program, and a host window that owns the dialog.
class SaveAsDlgTest : public ::testing::Test
{
protected:
    SaveAsDlgTest() : m_programLocation(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options", L"ProgramLocation") {}

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        m_programLocation.SetString(testing_support::ProgramFolder());
        ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
        ASSERT_EQ(S_OK, StandIn_Reset());
        for (const wchar_t* pszLibrary : {L"MAIN", L"ARCHIVE", L"LEGAL"})
            ASSERT_EQ(S_OK, StandIn_AddLibrary(pszLibrary));
        ASSERT_EQ(S_OK, StandIn_AddDocument(L"MAIN", L"Budget", L"MS WORD", "x", 1, &m_lDocNumber));
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"MAIN", m_lDocNumber, L"2", "y", 1, L"Second draft"));
        ASSERT_EQ(S_OK, OpenDmsApplication()->SetCurrentLibrary(_bstr_t(L"MAIN")));
        m_hHost = CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_TRUE(m_hHost != nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(m_hHost);
        StandIn_ClearFaults();
        CAppWrapper::Instance().ReleaseDispatch();
        CoUninitialize();
    }

    // InitSaveAsDlg for the document's version 2, or without a version.
    HRESULT Init(CSaveAsDlg& dlg, bool bVersion, long lMask, long lFormatIndex)
    {
        IProfilePtr pProfile;
        IVersionPtr pVersion =
            bVersion ? m_helper.GetVersion(L"PowerDocs://MAIN/" + std::to_wstring(m_lDocNumber) + L"/2") : nullptr;
        return dlg.InitSaveAsDlg(bVersion, pVersion, pProfile, lMask, &lFormatIndex, kFormats);
    }

    // Shows dlg modally on this thread, owned by the host window, while operate acts on it.
    INT_PTR Run(CSaveAsDlg& dlg, const std::function<void(HWND)>& operate)
    {
        INT_PTR nResult = 0;
        dlg.PrepareToShow(m_hHost);
        DriveDialog([&] { nResult = m_window.ShowModal(dlg, m_hHost); }, operate);
        return nResult;
    }

    testing_support::ScopedRegValue m_programLocation;
    CPDDocProviderHelper m_helper;
    CSaveAsDlgWindow m_window;
    LONG m_lDocNumber = 0;
    HWND m_hHost = nullptr;
};

// Opened, the dialog shows the version, enables the mask's buttons, checks the default (Attachment
// before New Document), preselects the current library and the document's format. A click on a
// choice puts the default comment back, enables the libraries for New Document only and frees the
// type for New Document and Attachment (others put it back on the format). OK writes back the
// choice, the comment, the typed library name and the type.
TEST_F(SaveAsDlgTest, ShowsTheStateAndWritesBackWhatEachButtonAndFieldSays)
{
    // By choice: the mask, what Look shows after the version when the dialog opens and after the
    // choice's click (and, for New Document, a library typed).
    const struct { long lMask; const wchar_t *pszOpened, *pszClicked; } rows[] = {
        {0x2, L"default/on|MAIN/3/on|1|1|2/on", L"default/on|archive/3/on|1|1|3/on"},
        {0x4, L"default/on|MAIN/3/off|25|2|2/off", L"default/on|MAIN/3/off|25|2|2/off"},
        {0x8, L"default/on|MAIN/3/off|3|3|2/off", L"default/on|MAIN/3/off|3|3|2/off"},
        {0x3, L"default/on|MAIN/3/off|14|4|2/on", L"default/on|MAIN/3/off|14|4|3/on"},
        {0x4, L"default/on|MAIN/3/off|25|2|2/off", L"default/on|MAIN/3/off|25|5|2/off"}};
    for (int nChoice = 1; nChoice <= 5; ++nChoice)
    {
        const bool bNewDocument = nChoice == SAVE_CHOICE_NEW_DOCUMENT, bChoosesType = nChoice == 1 || nChoice == 4;
        const std::wstring strVersion = bNewDocument ? L"|||" : std::to_wstring(m_lDocNumber) + L"|2|Second draft|";
        SCOPED_TRACE(testing::Message() << "choice " << nChoice);
        CSaveAsDlg dlg(0, L"");
        ASSERT_EQ(S_OK, Init(dlg, !bNewDocument, rows[nChoice - 1].lMask, 2));
        EXPECT_EQ(IDOK, Run(dlg, [&](HWND hDlg) {
                      EXPECT_EQ(m_hHost, GetWindow(hDlg, GW_OWNER));
                      EXPECT_EQ(strVersion + rows[nChoice - 1].pszOpened, Look(hDlg));
                      Type(GetDlgItem(hDlg, IDC_SAVEAS_COMMENT), L"Overwritten by the click");
                      SendMessageW(FileTypeList(hDlg), CB_SETCURSEL, 2, 0);
                      Click(hDlg, kChoiceButtons[nChoice - 1]);
                      if (bNewDocument)
                          Type(FindWindowExW(GetDlgItem(hDlg, IDC_SAVEAS_LIBRARIES), nullptr, L"Edit", nullptr),
                               L"archive");
                      EXPECT_EQ(strVersion + rows[nChoice - 1].pszClicked, Look(hDlg));
                      Type(GetDlgItem(hDlg, IDC_SAVEAS_COMMENT), L"Fixed the totals");
                      Click(hDlg, IDOK);
                  }));
        EXPECT_EQ(nChoice, dlg.GetUserChoice());
        EXPECT_EQ(L"Fixed the totals", dlg.GetComment());
        EXPECT_EQ(bNewDocument ? L"archive" : L"MAIN", dlg.GetLibraryName());
        EXPECT_EQ(bChoosesType ? 3 : 2, dlg.GetFormatIndex());
        EXPECT_EQ(bChoosesType ? L"*.txt" : L"*.rtf", dlg.GetSelectedType());
    }
}

TEST_F(SaveAsDlgTest, AFailingLibraryListClosesTheDialogAsFailed)
{
    CSaveAsDlg dlg(0, L"");
    ASSERT_EQ(S_OK, Init(dlg, true, 0x4, 1));
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"ILibraries::Count", E_ACCESSDENIED, 0, 1, TRUE));
    bool bShown = false;
    EXPECT_EQ(SAVEAS_DLG_FAILED, Run(dlg, [&](HWND) { bShown = true; }));
    EXPECT_FALSE(bShown);
}

TEST_F(SaveAsDlgTest, WithoutTheControlTheDialogStillDecidesAndHelpKeepsItOpen)
{
    // No host suite where the option points: no activation context, no Save As Type control.
    m_programLocation.SetString(testing_support::ProgramFolder() + L"\\NoHostSuiteHere");
    CSaveAsDlg dlg(42, L"NoSuchHelp");
    ASSERT_EQ(S_OK, Init(dlg, true, 0x1 | 0x4, 2));
    bool bOpenAfterHelp = false;
    EXPECT_EQ(IDOK, Run(dlg, [&](HWND hDlg) {
                  Click(hDlg, IDC_SAVEAS_NEW_SUBVERSION);
                  PostMessageW(hDlg, WM_COMMAND, IDC_SAVEAS_LIBRARIES_BUTTON, 0);
                  Click(hDlg, IDC_SAVEAS_HELP);
                  Sleep(200);
                  bOpenAfterHelp = IsWindow(hDlg) && IsWindowVisible(hDlg);
                  Type(GetDlgItem(hDlg, IDC_SAVEAS_COMMENT), L"Small fix");
                  EXPECT_EQ(nullptr, FileTypeList(hDlg));
                  Click(hDlg, IDOK);
              }));
    EXPECT_TRUE(bOpenAfterHelp);
    EXPECT_EQ(SAVE_CHOICE_NEW_SUBVERSION, dlg.GetUserChoice());
    EXPECT_EQ(L"Small fix", dlg.GetComment());
    EXPECT_EQ(2, dlg.GetFormatIndex());
    EXPECT_EQ(L"", dlg.GetSelectedType());
}

TEST_F(SaveAsDlgTest, TwoHundredOpeningsLeakNoWindowGdiOrComObject)
{
    // Live Save As Type controls; -1 while the control's module was never loaded.
    auto comboObjects = [] {
        auto pfn = reinterpret_cast<LONG(__cdecl*)()>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"CmFileCombo.dll"), "StandIn_FileComboLiveObjects")));
        return pfn ? pfn() : -1L;
    };
    // Wine's DC cache still moves by a few dozen objects on a loaded machine; a leak of even one
    // object per opening adds 200.
    ExpectNoLeaks(
        [&] {
            CSaveAsDlg dlg(0, L"");
            EXPECT_EQ(S_OK, Init(dlg, true, 0x1 | 0x2 | 0x4, 2));
            EXPECT_EQ(IDOK, Run(dlg, [](HWND hDlg) {
                          Click(hDlg, IDC_SAVEAS_NEW_VERSION);
                          Click(hDlg, IDOK);
                      }));
        },
        [&] { return StandIn_LiveObjects() + comboObjects(); }, 50);
    EXPECT_EQ(0, comboObjects()) << "the control was created, and none outlives its dialog";
}

}  // namespace
