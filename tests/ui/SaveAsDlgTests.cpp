// The Save As dialog driven as a user drives it: the dialog runs modally on the test thread
// while a second thread finds its window, clicks, types and presses buttons; the test then
// reads what the dialog left for the save. Needs a display (the suite runs inside Xvfb) and
// the host-suite stand-ins beside the test program (the Save As Type control comes through
// their activation context).
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
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

using testing_support::ScopedRegValue;
using namespace dialog_driving;

const wchar_t kFormats[] = L"Word Document (*.doc)|*.doc|Rich Text (*.rtf)|*.rtf|Plain Text (*.txt)|*.txt";
const wchar_t kOptionsKey[] = L"SOFTWARE\\Corvane\\Options";
const wchar_t kMessagingKey[] = L"SOFTWARE\\Corvane\\StandIns\\Messaging";

// The list of the hosted Save As Type control; null when no control is hosted.
HWND FileTypeList(HWND hDlg)
{
    HWND hHost = FindWindowExW(hDlg, nullptr, L"AtlAxWin100", nullptr);
    return hHost ? FindWindowExW(hHost, nullptr, L"ComboBox", nullptr) : nullptr;
}

long FileTypeSelection(HWND hList)
{
    return static_cast<long>(SendMessageW(hList, CB_GETCURSEL, 0, 0)) + 1;
}

// The radio button that is checked, as its save choice (0 when none).
int CheckedChoice(HWND hDlg)
{
    const struct
    {
        int nID;
        int nChoice;
    } buttons[] = {{IDC_SAVEAS_NEW_DOCUMENT, 1}, {IDC_SAVEAS_NEW_VERSION, 2}, {IDC_SAVEAS_REPLACE_ORIGINAL, 3},
                   {IDC_SAVEAS_ATTACHMENT, 4},   {IDC_SAVEAS_NEW_SUBVERSION, 5}};
    for (const auto& b : buttons)
        if (IsDlgButtonChecked(hDlg, b.nID) == BST_CHECKED)
            return b.nChoice;
    return 0;
}

// The enabled radio buttons as choice digits in the order 1..5, e.g. "25".
std::string EnabledChoices(HWND hDlg)
{
    const int ids[] = {IDC_SAVEAS_NEW_DOCUMENT, IDC_SAVEAS_NEW_VERSION, IDC_SAVEAS_REPLACE_ORIGINAL,
                       IDC_SAVEAS_ATTACHMENT, IDC_SAVEAS_NEW_SUBVERSION};
    std::string s;
    for (int i = 0; i < 5; ++i)
        if (Enabled(hDlg, ids[i]))
            s += char('1' + i);
    return s;
}

// Shows dlg modally on this thread, owned by hHost, while operate acts on its window.
INT_PTR RunDialog(CSaveAsDlg& dlg, HWND hHost, const std::function<void(HWND)>& operate, bool* pbForced = nullptr,
                  ISaveAsDlgWindow* pWindow = nullptr)
{
    CSaveAsDlgWindow window;
    INT_PTR nResult = 0;
    dlg.PrepareToShow(hHost);
    DriveDialog([&] { nResult = (pWindow ? *pWindow : window).ShowModal(dlg, hHost); }, operate, pbForced);
    return nResult;
}

std::wstring LibraryNameOf(ILibraryPtr pLib)
{
    if (!pLib)
        return L"<null>";
    _bstr_t bstr;
    pLib->get_Name(bstr.GetAddress());
    return bstr.length() ? static_cast<const wchar_t*>(bstr) : L"";
}

DWORD MessagingDword(const wchar_t* pszName, DWORD dwDefault = 0)
{
    DWORD dw = dwDefault;
    DWORD cb = sizeof(dw);
    RegGetValueW(HKEY_CURRENT_USER, kMessagingKey, pszName, RRF_RT_REG_DWORD, nullptr, &dw, &cb);
    return dw;
}

std::wstring MessagingString(const wchar_t* pszName)
{
    wchar_t sz[512] = {};
    DWORD cb = sizeof(sz);
    RegGetValueW(HKEY_CURRENT_USER, kMessagingKey, pszName, RRF_RT_REG_SZ, nullptr, sz, &cb);
    return sz;
}

ULONGLONG MessagingParent()
{
    ULONGLONG ull = 0;
    DWORD cb = sizeof(ull);
    RegGetValueW(HKEY_CURRENT_USER, kMessagingKey, L"LastParent", RRF_RT_REG_QWORD, nullptr, &ull, &cb);
    return ull;
}

void ScriptAnswer(DWORD dwAnswer)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, kMessagingKey, L"Answer1", REG_DWORD, &dwAnswer, sizeof(dwAnswer));
}

// ---- the fixture: a DMS with three libraries and one document, the host suite beside us ----

class SaveAsDlgTest : public ::testing::Test
{
protected:
    SaveAsDlgTest()
        : m_programLocation(HKEY_CURRENT_USER, kOptionsKey, L"ProgramLocation"),
          m_regFix(HKEY_LOCAL_MACHINE, HOST_SETTINGS_KEY, SAVE_TO_LOCAL_DMS_REG_FIX)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        m_programLocation.SetString(testing_support::ProgramFolder());
        m_regFix.Delete();
        RegDeleteTreeW(HKEY_CURRENT_USER, kMessagingKey);
        ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
        ASSERT_EQ(S_OK, StandIn_Reset());
        for (const wchar_t* pszLibrary : {L"MAIN", L"ARCHIVE", L"LEGAL"})
            ASSERT_EQ(S_OK, StandIn_AddLibrary(pszLibrary));
        ASSERT_EQ(S_OK, StandIn_AddDocument(L"MAIN", L"Budget", L"MS WORD", "x", 1, &m_lDocNumber));
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"MAIN", m_lDocNumber, L"2", "y", 1, L"Second draft"));
        SetCurrentLibrary(L"MAIN");
        m_hHost = CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_TRUE(m_hHost != nullptr);
    }

    void TearDown() override
    {
        if (m_hHost)
            DestroyWindow(m_hHost);
        StandIn_ClearFaults();
        RegDeleteTreeW(HKEY_CURRENT_USER, kMessagingKey);
        CoUninitialize();
    }

    static void SetCurrentLibrary(const wchar_t* pszLibrary)
    {
        IApplicationPtr pApp;
        ASSERT_EQ(S_OK, CreateDmsObject(CLSID_Application, __uuidof(IApplication), reinterpret_cast<void**>(&pApp)));
        ASSERT_EQ(S_OK, pApp->SetCurrentLibrary(_bstr_t(pszLibrary)));
    }

    IVersionPtr Version(const wchar_t* pszLabel)
    {
        return m_helper.GetVersion(L"PowerDocs://MAIN/" + std::to_wstring(m_lDocNumber) + L"/" + pszLabel);
    }

    // InitSaveAsDlg for the document's version 2 (or without a version).
    HRESULT Init(CSaveAsDlg& dlg, bool bVersion, long lMask, long lFormatIndex)
    {
        IVersionPtr pVersion = bVersion ? Version(L"2") : nullptr;
        IProfilePtr pProfile;
        long lIndex = lFormatIndex;
        return dlg.InitSaveAsDlg(bVersion, pVersion, pProfile, lMask, &lIndex, kFormats);
    }

    ScopedRegValue m_programLocation;
    ScopedRegValue m_regFix;
    CPDDocProviderHelper m_helper;
    LONG m_lDocNumber = 0;
    HWND m_hHost = nullptr;
};

TEST_F(SaveAsDlgTest, NewVersionShowsTheDocumentAndKeepsItsFormat)
{
    CSaveAsDlg dlg(0, L"");
    ASSERT_EQ(S_OK, Init(dlg, true, 0x4 | 0x8, 2));

    std::wstring strNumber, strLabel, strDescription, strComment, strDefaultComment;
    std::string strEnabled;
    int nChecked = 0;
    bool bLibrariesEnabled = true, bCommentEnabled = false, bLibrariesButtonShown = true, bTypeEnabled = true;
    long lTypeSelection = 0;
    bool bHasType = false;
    const INT_PTR nResult = RunDialog(dlg, m_hHost, [&](HWND hDlg) {
        strNumber = Text(GetDlgItem(hDlg, IDC_SAVEAS_NUMBER));
        strLabel = Text(GetDlgItem(hDlg, IDC_SAVEAS_VERSION_LABEL));
        strDescription = Text(GetDlgItem(hDlg, IDC_SAVEAS_DESCRIPTION));
        strEnabled = EnabledChoices(hDlg);
        nChecked = CheckedChoice(hDlg);
        bLibrariesEnabled = Enabled(hDlg, IDC_SAVEAS_LIBRARIES);
        bCommentEnabled = Enabled(hDlg, IDC_SAVEAS_COMMENT);
        strDefaultComment = Text(GetDlgItem(hDlg, IDC_SAVEAS_COMMENT));
        HWND hButton = GetDlgItem(hDlg, IDC_SAVEAS_LIBRARIES_BUTTON);
        bLibrariesButtonShown = IsWindowVisible(hButton) || IsWindowEnabled(hButton);
        HWND hList = FileTypeList(hDlg);
        bHasType = hList != nullptr;
        if (hList)
        {
            bTypeEnabled = IsWindowEnabled(hList) != FALSE;
            lTypeSelection = FileTypeSelection(hList);
        }
        Type(GetDlgItem(hDlg, IDC_SAVEAS_COMMENT), L"Overwritten by the click");
        Click(hDlg, IDC_SAVEAS_REPLACE_ORIGINAL);
        strComment = Text(GetDlgItem(hDlg, IDC_SAVEAS_COMMENT));
        Type(GetDlgItem(hDlg, IDC_SAVEAS_COMMENT), L"Fixed the totals");
        Click(hDlg, IDOK);
    });

    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ(std::to_wstring(m_lDocNumber), strNumber);
    EXPECT_EQ(L"2", strLabel);
    EXPECT_EQ(L"Second draft", strDescription);
    EXPECT_EQ("235", strEnabled);
    EXPECT_EQ(SAVE_CHOICE_NEW_VERSION, nChecked);
    EXPECT_FALSE(bLibrariesEnabled);
    EXPECT_TRUE(bCommentEnabled);
    EXPECT_EQ(SAVEAS_DEFAULT_COMMENT, strDefaultComment);
    EXPECT_FALSE(bLibrariesButtonShown);
    ASSERT_TRUE(bHasType) << "the Save As Type control is hosted";
    EXPECT_FALSE(bTypeEnabled);
    EXPECT_EQ(2, lTypeSelection);
    EXPECT_EQ(SAVEAS_DEFAULT_COMMENT, strComment) << "a click on a choice puts the default comment back";

    EXPECT_EQ(SAVE_CHOICE_REPLACE_ORIGINAL, dlg.GetUserChoice());
    EXPECT_EQ(L"Fixed the totals", dlg.GetComment());
    EXPECT_EQ(2, dlg.GetFormatIndex());
    EXPECT_EQ(L"*.rtf", dlg.GetSelectedType());
    EXPECT_FALSE(dlg.UsesSaveAsType());
    long lIndex = 2;
    EXPECT_EQ(L"rtf", dlg.GetSaveExtension(kFormats, &lIndex, L"rtf"));
    EXPECT_EQ(2, lIndex);
}

TEST_F(SaveAsDlgTest, NewDocumentTakesTheTypeAndTheLibraryThePickedAndShowsNoNumber)
{
    CSaveAsDlg dlg(0, L"");
    ASSERT_EQ(S_OK, Init(dlg, false, 0x2, 1));

    std::wstring strNumber, strLibrary;
    std::string strEnabled;
    int nChecked = 0;
    bool bLibrariesEnabled = false, bTypeEnabled = false;
    LRESULT lLibraries = 0;
    const INT_PTR nResult = RunDialog(dlg, m_hHost, [&](HWND hDlg) {
        strNumber = Text(GetDlgItem(hDlg, IDC_SAVEAS_NUMBER));
        strEnabled = EnabledChoices(hDlg);
        nChecked = CheckedChoice(hDlg);
        HWND hLibraries = GetDlgItem(hDlg, IDC_SAVEAS_LIBRARIES);
        bLibrariesEnabled = IsWindowEnabled(hLibraries) != FALSE;
        lLibraries = SendMessageW(hLibraries, CB_GETCOUNT, 0, 0);
        strLibrary = Text(hLibraries);
        HWND hList = FileTypeList(hDlg);
        if (hList)
        {
            bTypeEnabled = IsWindowEnabled(hList) != FALSE;
            SendMessageW(hList, CB_SETCURSEL, 1, 0);
        }
        SendMessageW(hLibraries, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"ARCH"));
        Type(GetDlgItem(hDlg, IDC_SAVEAS_COMMENT), L"First issue");
        Click(hDlg, IDOK);
    });

    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ(L"", strNumber) << "a document number of 0 shows nothing";
    EXPECT_EQ("1", strEnabled);
    EXPECT_EQ(SAVE_CHOICE_NEW_DOCUMENT, nChecked);
    EXPECT_TRUE(bLibrariesEnabled);
    EXPECT_EQ(3, lLibraries);
    EXPECT_EQ(L"MAIN", strLibrary) << "the current library is preselected";
    EXPECT_TRUE(bTypeEnabled);

    EXPECT_EQ(SAVE_CHOICE_NEW_DOCUMENT, dlg.GetUserChoice());
    EXPECT_EQ(L"First issue", dlg.GetComment());
    EXPECT_EQ(L"ARCHIVE", dlg.GetLibraryName());
    EXPECT_TRUE(dlg.UsesSaveAsType());
    long lIndex = 1;
    EXPECT_EQ(L"rtf", dlg.GetSaveExtension(kFormats, &lIndex, L"doc"));
    EXPECT_EQ(2, lIndex) << "the index chosen in the Save As Type control";

    EXPECT_EQ(L"ARCHIVE", LibraryNameOf(dlg.GetSelectedLibrary()));
    EXPECT_EQ(S_OK, dlg.GetLibraryLookupResult());
    // The same save asks again: the library found is kept, the DMS is not asked again.
    StandIn_ClearFaults();
    EXPECT_EQ(L"ARCHIVE", LibraryNameOf(dlg.GetSelectedLibrary()));
    EXPECT_EQ(0, StandIn_CallCount(L"ILibraries::Item"));
}

TEST_F(SaveAsDlgTest, TheLibraryComesFromTheNameTheRegistryFixOrTheCurrentLibrary)
{
    // A typed name must match exactly: "archive" names no library.
    {
        CSaveAsDlg dlg(0, L"");
        ASSERT_EQ(S_OK, Init(dlg, false, 0x2, 1));
        EXPECT_EQ(IDOK, RunDialog(dlg, m_hHost, [&](HWND hDlg) {
                      HWND hEdit = FindWindowExW(GetDlgItem(hDlg, IDC_SAVEAS_LIBRARIES), nullptr, L"Edit", nullptr);
                      Type(hEdit, L"archive");
                      Click(hDlg, IDOK);
                  }));
        EXPECT_EQ(L"archive", dlg.GetLibraryName());
        EXPECT_EQ(L"<null>", LibraryNameOf(dlg.GetSelectedLibrary()));
        EXPECT_EQ(E_FAIL, dlg.GetLibraryLookupResult()) << "no match is no cancel";
        EXPECT_EQ(0u, MessagingDword(L"CallCount")) << "nobody is asked";
    }
    // With the registry fix the picked library is ignored for the current one.
    {
        m_regFix.SetDword(1);
        CSaveAsDlg dlg(0, L"");
        ASSERT_EQ(S_OK, Init(dlg, false, 0x2, 1));
        EXPECT_EQ(IDOK, RunDialog(dlg, m_hHost, [&](HWND hDlg) {
                      SendMessageW(GetDlgItem(hDlg, IDC_SAVEAS_LIBRARIES), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(L"LEGAL"));
                      Click(hDlg, IDOK);
                  }));
        EXPECT_EQ(L"LEGAL", dlg.GetLibraryName());
        EXPECT_EQ(L"MAIN", LibraryNameOf(dlg.GetSelectedLibrary()));
        m_regFix.SetDword(0);
        EXPECT_FALSE(dlg.SaveToLocalDMSRegFix());
        m_regFix.Delete();
    }
    // A silent save shows nothing and uses the current library, with the file type the
    // dialog would have preselected.
    {
        CSaveAsDlg dlg(0, L"");
        ASSERT_EQ(S_OK, Init(dlg, false, 0x2 | 0x40, 3));
        EXPECT_EQ(L"MAIN", LibraryNameOf(dlg.GetSelectedLibrary()));
        EXPECT_EQ(SAVE_CHOICE_NEW_DOCUMENT, dlg.GetUserChoice());
        long lIndex = 3;
        EXPECT_EQ(L"txt", dlg.GetSaveExtension(kFormats, &lIndex, L"doc"));
        EXPECT_EQ(3, lIndex);
    }
}

TEST_F(SaveAsDlgTest, AFailedLookupAsksTheHostWindowUnlessTheSaveIsSilent)
{
    const struct
    {
        DWORD dwAnswer;
        const wchar_t* pszExpected;
    } answers[] = {{IDYES, L"MAIN"}, {IDNO, L"<null>"}, {IDCANCEL, L"<null>"}};
    for (const auto& a : answers)
    {
        SCOPED_TRACE(a.dwAnswer);
        RegDeleteTreeW(HKEY_CURRENT_USER, kMessagingKey);
        CSaveAsDlg dlg(0, L"");
        ASSERT_EQ(S_OK, Init(dlg, false, 0x2, 1));
        ASSERT_EQ(IDOK, RunDialog(dlg, m_hHost, [&](HWND hDlg) {
                      SendMessageW(GetDlgItem(hDlg, IDC_SAVEAS_LIBRARIES), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(L"LEGAL"));
                      Click(hDlg, IDOK);
                  }));
        ScriptAnswer(a.dwAnswer);
        ASSERT_EQ(S_OK, StandIn_InjectFault(L"ILibraries::Item", E_ACCESSDENIED, 0, 1, TRUE));
        EXPECT_EQ(a.pszExpected, LibraryNameOf(dlg.GetSelectedLibrary()));
        StandIn_ClearFaults();
        EXPECT_EQ(a.dwAnswer == IDYES ? S_OK : S_FALSE, dlg.GetLibraryLookupResult());
        EXPECT_EQ(1u, MessagingDword(L"CallCount"));
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(m_hHost), MessagingParent()) << "owned by the host's window";
        EXPECT_EQ(L"Unable to retrieve selected library, would you like to save to current library: MAIN ?",
                  MessagingString(L"LastText"));
        EXPECT_EQ(3u, MessagingDword(L"LastButtons"));
        EXPECT_EQ(L"CSaveAsDlg::DisplayLibraryRetrieveFailedMsg", MessagingString(L"LastFunction"));
    }

    // Silent: nobody is asked and the lookup fails.
    RegDeleteTreeW(HKEY_CURRENT_USER, kMessagingKey);
    ScriptAnswer(IDYES);
    CSaveAsDlg dlg(0, L"");
    ASSERT_EQ(S_OK, Init(dlg, false, 0x2 | 0x40, 1));
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IApplication::CurrentLibrary", E_ACCESSDENIED, 0, 1, TRUE));
    EXPECT_EQ(L"<null>", LibraryNameOf(dlg.GetSelectedLibrary()));
    StandIn_ClearFaults();
    EXPECT_EQ(E_FAIL, dlg.GetLibraryLookupResult());
    EXPECT_EQ(0u, MessagingDword(L"CallCount"));
}

TEST_F(SaveAsDlgTest, AFailingLibraryListClosesTheDialogAsFailed)
{
    CSaveAsDlg dlg(0, L"");
    ASSERT_EQ(S_OK, Init(dlg, true, 0x4, 1));
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"ILibraries::Count", E_ACCESSDENIED, 0, 1, TRUE));
    bool bShown = false;
    EXPECT_EQ(SAVEAS_DLG_FAILED, RunDialog(dlg, m_hHost, [&](HWND) { bShown = true; }));
    EXPECT_FALSE(bShown);
}

TEST_F(SaveAsDlgTest, EachMaskEnablesItsChoicesAndPreselectsTheDefault)
{
    const struct
    {
        long lMask;
        const char* pszEnabled;
        int nDefault;
        bool bLibraries;  // library combo enabled when the dialog opens
        bool bType;       // Save As Type control enabled when the dialog opens
    } cases[] = {
        {0x1, "4", SAVE_CHOICE_ATTACHMENT, false, true},
        {0x2, "1", SAVE_CHOICE_NEW_DOCUMENT, true, true},
        {0x4, "25", SAVE_CHOICE_NEW_VERSION, false, false},
        {0x8, "3", SAVE_CHOICE_REPLACE_ORIGINAL, false, false},
        {0x1 | 0x2, "14", SAVE_CHOICE_ATTACHMENT, false, true},
        {0x2 | 0x4 | 0x8, "1235", SAVE_CHOICE_NEW_DOCUMENT, true, true},
        {0x4 | 0x8, "235", SAVE_CHOICE_NEW_VERSION, false, false},
        {0xF, "12345", SAVE_CHOICE_ATTACHMENT, false, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "mask 0x" << std::hex << c.lMask);
        CSaveAsDlg dlg(0, L"");
        ASSERT_EQ(S_OK, Init(dlg, true, c.lMask, 1));
        std::string strEnabled;
        int nChecked = 0;
        bool bLibraries = false, bType = false;
        EXPECT_EQ(IDCANCEL, RunDialog(dlg, m_hHost, [&](HWND hDlg) {
                      strEnabled = EnabledChoices(hDlg);
                      nChecked = CheckedChoice(hDlg);
                      bLibraries = Enabled(hDlg, IDC_SAVEAS_LIBRARIES);
                      HWND hList = FileTypeList(hDlg);
                      bType = hList && IsWindowEnabled(hList);
                      Click(hDlg, IDCANCEL);
                  }));
        EXPECT_EQ(c.pszEnabled, strEnabled);
        EXPECT_EQ(c.nDefault, nChecked);
        EXPECT_EQ(c.bLibraries, bLibraries);
        EXPECT_EQ(c.bType, bType);
    }
}

TEST_F(SaveAsDlgTest, ChoicesThatKeepTheFormatPutTheControlBackAndDisableIt)
{
    CSaveAsDlg dlg(0, L"");
    ASSERT_EQ(S_OK, Init(dlg, true, 0x1 | 0x4 | 0x8, 2));
    long lAfterTypeChange = 0, lAfterNewVersion = 0, lAfterReplace = 0;
    bool bEnabledAfterNewVersion = true, bEnabledAfterAttachment = false, bEnabledAfterReplace = true;
    bool bLibrariesAfterAttachment = true;
    const INT_PTR nResult = RunDialog(dlg, m_hHost, [&](HWND hDlg) {
        HWND hList = FileTypeList(hDlg);
        if (!hList)
            return Click(hDlg, IDCANCEL);
        SendMessageW(hList, CB_SETCURSEL, 2, 0);
        lAfterTypeChange = FileTypeSelection(hList);
        Click(hDlg, IDC_SAVEAS_NEW_VERSION);
        lAfterNewVersion = FileTypeSelection(hList);
        bEnabledAfterNewVersion = IsWindowEnabled(hList) != FALSE;
        Click(hDlg, IDC_SAVEAS_ATTACHMENT);
        bEnabledAfterAttachment = IsWindowEnabled(hList) != FALSE;
        bLibrariesAfterAttachment = Enabled(hDlg, IDC_SAVEAS_LIBRARIES);
        SendMessageW(hList, CB_SETCURSEL, 0, 0);
        Click(hDlg, IDC_SAVEAS_REPLACE_ORIGINAL);
        lAfterReplace = FileTypeSelection(hList);
        bEnabledAfterReplace = IsWindowEnabled(hList) != FALSE;
        Click(hDlg, IDC_SAVEAS_ATTACHMENT);
        SendMessageW(hList, CB_SETCURSEL, 2, 0);
        Click(hDlg, IDOK);
    });
    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ(3, lAfterTypeChange);
    EXPECT_EQ(2, lAfterNewVersion) << "back on the document's own format";
    EXPECT_FALSE(bEnabledAfterNewVersion);
    EXPECT_TRUE(bEnabledAfterAttachment);
    EXPECT_FALSE(bLibrariesAfterAttachment);
    EXPECT_EQ(2, lAfterReplace);
    EXPECT_FALSE(bEnabledAfterReplace);
    EXPECT_EQ(SAVE_CHOICE_ATTACHMENT, dlg.GetUserChoice());
    EXPECT_TRUE(dlg.UsesSaveAsType());
    long lIndex = 2;
    EXPECT_EQ(L"txt", dlg.GetSaveExtension(kFormats, &lIndex, L"rtf"));
    EXPECT_EQ(3, lIndex);
}

TEST_F(SaveAsDlgTest, WithoutTheControlTheDialogStillDecidesAndHelpKeepsItOpen)
{
    // No host suite where the option points: no activation context, no Save As Type control.
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    m_programLocation.SetString(std::wstring(szTemp) + L"NoHostSuiteHere");
    CSaveAsDlg dlg(42, L"NoSuchHelp");
    ASSERT_EQ(S_OK, Init(dlg, true, 0x1 | 0x4, 2));
    EXPECT_EQ(L"", dlg.GetSelectedType());
    bool bHasType = true, bOpenAfterHelp = false;
    const INT_PTR nResult = RunDialog(dlg, m_hHost, [&](HWND hDlg) {
        bHasType = FileTypeList(hDlg) != nullptr;
        Click(hDlg, IDC_SAVEAS_NEW_SUBVERSION);
        PostMessageW(hDlg, WM_COMMAND, IDC_SAVEAS_LIBRARIES_BUTTON, 0);
        Click(hDlg, IDC_SAVEAS_HELP);
        Sleep(200);
        bOpenAfterHelp = IsWindow(hDlg) && IsWindowVisible(hDlg);
        Type(GetDlgItem(hDlg, IDC_SAVEAS_COMMENT), L"Small fix");
        Click(hDlg, IDOK);
    });
    EXPECT_EQ(IDOK, nResult);
    EXPECT_FALSE(bHasType);
    EXPECT_TRUE(bOpenAfterHelp);
    EXPECT_EQ(SAVE_CHOICE_NEW_SUBVERSION, dlg.GetUserChoice());
    EXPECT_EQ(L"Small fix", dlg.GetComment());
    EXPECT_EQ(2, dlg.GetFormatIndex());
    long lIndex = 2;
    EXPECT_EQ(L"rtf", dlg.GetSaveExtension(kFormats, &lIndex, L"doc"));
}

// The save decision with its real dialog: what the user picks is what the DMS gets.
TEST_F(SaveAsDlgTest, TheSaveDecisionShowsTheDialogAndCarriesOutTheUsersAnswer)
{
    CPDDocProviderHelper helper;
    helper.SetSaveAsDlgWindow(std::make_unique<CSaveAsDlgWindow>());
    const std::wstring strFile = testing_support::ProgramFolder() + L"\\save-decision.doc";
    ASSERT_TRUE(testing_support::WriteFileBytes(strFile, "edit"));
    const LONG lHost = static_cast<LONG>(reinterpret_cast<LONG_PTR>(m_hHost));
    auto decide = [&](long lMask, CVDocNonCom& doc, const std::function<void(HWND)>& operate) {
        long lIndex = 1;
        HRESULT hr = E_UNEXPECTED;
        DriveDialog([&] { hr = helper.GetSaveInfo(lHost, kFormats, lMask, &lIndex, doc); }, operate);
        return hr;
    };
    const std::wstring strVersion = L"PowerDocs://MAIN/" + std::to_wstring(m_lDocNumber) + L"/2";
    CVDocNonCom doc;
    doc.SetDocID(strVersion);
    doc.SetLocalFile(strFile);
    doc.SetExtension(L"doc");

    // Every choice with a version: Attachment comes preselected; Cancel changes nothing.
    EXPECT_EQ(S_FALSE, decide(0xF, doc, [](HWND hDlg) {
                  EXPECT_EQ("12345", EnabledChoices(hDlg));
                  EXPECT_EQ(4, CheckedChoice(hDlg));
                  Click(hDlg, IDCANCEL);
              }));
    EXPECT_EQ(strVersion, doc.GetDocID());

    // OK on the preselected Attachment makes it, checked out for the host's save.
    EXPECT_EQ(S_OK, decide(0xF, doc, [](HWND hDlg) { Click(hDlg, IDOK); }));
    EXPECT_EQ(0, _wcsicmp((L"PowerDocs://MAIN/" + std::to_wstring(m_lDocNumber) + L"/doc").c_str(),
                          doc.GetDocID().c_str()));
    EXPECT_EQ(1, doc.GetFlags());

    // Without a version only New Document is offered; a library name that matches none leaves
    // the document unsaved with a failure, not a cancel.
    CVDocNonCom loose;
    loose.SetLocalFile(strFile);
    EXPECT_EQ(E_FAIL, decide(0x2, loose, [](HWND hDlg) {
                  EXPECT_EQ("1", EnabledChoices(hDlg));
                  EXPECT_EQ(1, CheckedChoice(hDlg));
                  Type(FindWindowExW(GetDlgItem(hDlg, IDC_SAVEAS_LIBRARIES), nullptr, L"Edit", nullptr), L"archive");
                  Click(hDlg, IDOK);
              }));
    EXPECT_EQ(L"", loose.GetDocID());
    DeleteFileW(strFile.c_str());
}

TEST_F(SaveAsDlgTest, TwoHundredOpeningsLeakNoWindowGdiOrComObject)
{
    using PfnLiveObjects = LONG(__cdecl*)();
    CSaveAsDlgWindow window;
    auto openAndClose = [&] {
        CSaveAsDlg dlg(0, L"");
        EXPECT_EQ(S_OK, Init(dlg, true, 0x1 | 0x2 | 0x4, 2));
        EXPECT_EQ(IDOK, RunDialog(
                            dlg, m_hHost,
                            [](HWND hDlg) {
                                Click(hDlg, IDC_SAVEAS_NEW_VERSION);
                                Click(hDlg, IDOK);
                            },
                            nullptr, &window));
    };
    // The first openings load what stays loaded (the control's module, the host window class)
    // and fill the system's cache of device contexts (under Wine several dozen DCs with their
    // clip regions): open until the GDI count holds still, then a leak grows with every opening.
    DWORD dwSettled = GdiObjectCount();
    for (int i = 0, nSame = 0; i < 300 && nSame < 25; ++i)
    {
        openAndClose();
        const DWORD dwNow = GdiObjectCount();
        nSame = dwNow == dwSettled ? nSame + 1 : 0;
        dwSettled = dwNow;
    }
    auto pfnComboObjects = reinterpret_cast<PfnLiveObjects>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"CmFileCombo.dll"), "StandIn_FileComboLiveObjects")));
    ASSERT_TRUE(pfnComboObjects != nullptr) << "the Save As Type control was created";

    const DWORD dwGdiBefore = GdiObjectCount();
    const DWORD dwUserBefore = UserObjectCount();
    const int nWindowsBefore = ThreadWindowCount();
    const LONG lDmsBefore = StandIn_LiveObjects();
    const LONG lComboBefore = pfnComboObjects();
    long lAllocations = 0;
    {
        testing_support::AllocationSpy spy;
        for (int i = 0; i < 200; ++i)
            openAndClose();
        lAllocations = spy.Outstanding();
    }
    const DWORD dwGdiAfter = GdiObjectCount();
    const DWORD dwUserAfter = UserObjectCount();
    std::printf("GDI objects %lu -> %lu, user objects %lu -> %lu, windows %d -> %d over 200 openings\n",
                static_cast<unsigned long>(dwGdiBefore), static_cast<unsigned long>(dwGdiAfter),
                static_cast<unsigned long>(dwUserBefore), static_cast<unsigned long>(dwUserAfter), nWindowsBefore,
                ThreadWindowCount());
    // Wine's DC cache still moves by a few dozen objects on a loaded machine; a leak of even one
    // object per opening adds 200.
    EXPECT_LT(dwGdiAfter, dwGdiBefore + 50);
    EXPECT_LE(dwUserAfter, dwUserBefore + 2);
    EXPECT_EQ(nWindowsBefore, ThreadWindowCount());
    EXPECT_EQ(lDmsBefore, StandIn_LiveObjects());
    EXPECT_EQ(lComboBefore, pfnComboObjects());
    EXPECT_EQ(0, lComboBefore) << "no control outlives its dialog";
    EXPECT_EQ(0, lAllocations);
}

}  // namespace
