// The save decision and the routines that make a new document, version, subversion or attachment,
// on the logic object against the DMS stand-in in this process, a window stand-in answering the
// dialog. Their DMS faults are tested through the DLL, on the host's save road.
#include <gtest/gtest.h>

#include "InProcessDms.h"

#include <filesystem>
#include <memory>
#include <string>

#include "DmsStandInControl.h"
#include "TestSupport.h"
#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "local/DocID.h"
#include "local/TempFiles.h"
#include "operations/PDDocProviderHelper.h"
#include "save/SaveAsDlg.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

// Formats 4 to 6 give attachment labels that are refused: "dcx" taken by a docx attachment, one
// that begins with a digit, none.
const wchar_t kFormats[] = L"Word Document (*.docx)|*.docx|Rich Text (*.rtf)|*.rtf|Plain Text (*.txt)|*.txt|"
                           L"Draft (*.dhcx)|*.dhcx|Archive (*.7z)|*.7z|No extension|*.";
const wchar_t kMessagingKey[] = L"SOFTWARE\\Corvane\\StandIns\\Messaging";
const char kOld[] = "old terms";
const long kHost = 0x4242;  // the host's window: never shown, only handed on
const char kEdit[] = "the host's edit";

// Answers the dialog as a user would: picks a choice (0: keeps the preselected one) and closes
// it with a result, at OK with a comment and a typed library name.
struct CAnsweringWindow : ISaveAsDlgWindow
{
    CAnsweringWindow(int nChoice, INT_PTR nResult, const wchar_t* pszLibrary)
        : nChoice(nChoice), nResult(nResult), pszLibrary(pszLibrary) {}
    INT_PTR ShowModal(CSaveAsDlg& dlg, HWND hShownParent) override
    {
        hParent = hShownParent;
        if (nChoice)
            dlg.SetUserChoice(nChoice);
        if (nResult == IDOK)
            dlg.Accept(L"agreed terms", pszLibrary);
        return nResult;
    }
    int nChoice;
    INT_PTR nResult;
    const wchar_t* pszLibrary;
    HWND hParent = nullptr;  // the owner it was shown with
};

// What the message stand-in recorded of the questions asked: "text|owner|buttons|count" of the
// last one, "||||" when none was asked (a number 0 shows as nothing).
std::wstring Question()
{
    std::wstring s;
    for (const wchar_t* pszName : {L"LastText", L"LastParent", L"LastButtons", L"CallCount"})
    {
        BYTE data[1024] = {};
        DWORD dwType = REG_NONE, cb = sizeof(data) - sizeof(wchar_t);
        RegGetValueW(HKEY_CURRENT_USER, kMessagingKey, pszName, RRF_RT_ANY, &dwType, data, &cb);
        const ULONGLONG ull = *reinterpret_cast<ULONGLONG*>(data);
        s += (dwType == REG_SZ ? reinterpret_cast<wchar_t*>(data) : ull ? std::to_wstring(ull) : L"") + L"|";
    }
    return s;
}

// Library LIB with document "Terms" (version 1 by bob, held by nobody) and alice running this
// process; the host's file; the Save As Type control from the host suite beside this program.
class SaveAsTest : public InProcessDmsTest
{
protected:
    SaveAsTest() : m_programLocation(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options", L"ProgramLocation") {}

    void SetUp() override
    {
        InProcessDmsTest::SetUp();
        m_programLocation.SetString(testing_support::ProgramFolder());
        m_strFile = GetTempFolder() + L"QuendrelSaveAs-" + std::to_wstring(GetCurrentProcessId()) + L".docx";
        Seed(L"5.3");
        // The first DMS call logs the client on; the session lives as long as the process.
        ASSERT_NE(L"<none>", Version(Id(L"1")));
        m_lBaseObjects = SettledLiveObjects();
    }
    void TearDown() override
    {
        DeleteFileW(m_strFile.c_str());
        InProcessDmsTest::TearDown();
    }

    void Seed(const wchar_t* pszVersion)
    {
        ASSERT_EQ(S_OK, StandIn_Install(pszVersion));
        ASSERT_EQ(S_OK, StandIn_Reset());
        ASSERT_EQ(S_OK, StandIn_AddLibrary(L"LIB"));
        for (const wchar_t* pszUser : {L"alice", L"bob"})
            ASSERT_EQ(S_OK, StandIn_AddUser(pszUser));
        ASSERT_EQ(S_OK, StandIn_SetProcessUser(L"bob"));
        ASSERT_EQ(S_OK, StandIn_AddDocument(L"LIB", L"Terms", L"MS WORD", kOld, sizeof kOld - 1, &m_lDoc));
        ASSERT_EQ(S_OK, StandIn_SetProcessUser(L"alice"));
        ASSERT_TRUE(WriteFileBytes(m_strFile, kEdit));
        StandIn_ClearFaults();
    }

    std::wstring Id(const wchar_t* pszLabel, LONG lDoc = 0) const
    {
        return L"PowerDocs://LIB/" + std::to_wstring(lDoc ? lDoc : m_lDoc) + L"/" + pszLabel;
    }

    // The host's record of version 1 and its file, not fetched.
    CVDocNonCom Record() const
    {
        CVDocNonCom doc;
        doc.SetDocID(Id(L"1"));
        doc.SetName(L"Terms");
        doc.SetLocalFile(m_strFile);
        return doc;
    }

    // GetSaveInfo on the record, the window answering with the choice and the result, then with
    // bWrite, when the decision answered S_OK, SaveDocument of the host's file into the record.
    struct Road
    {
        CVDocNonCom doc;  // the record as the road left it
        HRESULT hrDecide = E_ABORT, hrSave = E_ABORT;
        long lIndex = 0;         // the format index as GetSaveInfo left it
        HWND hParent = nullptr;  // the dialog's owner
    };
    static Road Decide(const CVDocNonCom& record, int nChoice, long lIndex = 1, bool bWrite = false,
                       INT_PTR nResult = IDOK, const wchar_t* pszLibrary = L"")
    {
        Road road{record, E_ABORT, E_ABORT, lIndex};
        CPDDocProviderHelper helper;
        auto window = std::make_unique<CAnsweringWindow>(nChoice, nResult, pszLibrary);
        const HWND& hParent = window->hParent;
        helper.SetSaveAsDlgWindow(std::move(window));
        road.hrDecide = helper.GetSaveInfo(kHost, kFormats, SAVE_OPTION_ANY_CHOICE, &road.lIndex, road.doc);
        road.hParent = hParent;
        if (bWrite && road.hrDecide == S_OK)
            road.hrSave = helper.SaveDocument(road.doc, 0);
        return road;
    }

    // Stand-in objects alive once the parked application is let go.
    static LONG SettledLiveObjects()
    {
        CAppWrapper::Instance().ReleaseDispatch();
        return StandIn_LiveObjects();
    }

    // The comment and author of the version an ID names, "<none>" when there is no such version.
    static std::wstring Version(const std::wstring& strID)
    {
        IVersionPtr pVersion = CPDDocProviderHelper().GetVersion(strID);
        return pVersion ? TextOf(pVersion, &IVersion::get_Comment) + L" by " + TextOf(pVersion, &IVersion::get_Author)
                        : L"<none>";
    }

    // Whether anyone holds the document: checked out or selected for editing.
    bool Held(LONG lDoc = 0) const
    {
        long lState = -1;
        CStdStr strOwner;
        EXPECT_EQ(S_OK, CPDDocProviderHelper().GetDocumentLockStatus(Id(L"1", lDoc), &lState, strOwner));
        return lState != LOCK_STATE_NONE || StandIn_IsSelectedForEdit(L"LIB", lDoc ? lDoc : m_lDoc);
    }

    LONG ProfileCount() const
    {
        ILibraryPtr pLibrary;
        long lCount = 0;
        DmsCheck(ProfileOf(CPDDocProviderHelper().GetVersion(Id(L"1")))->get_Library(&pLibrary));
        DmsCheck(pLibrary->get_ProfileCount(&lCount));
        return lCount;
    }

    // What the DMS holds for a version: on DM 5 the server store, on DM 6 the local store, where
    // the copy is the save.
    static std::string Stored(const std::wstring& strID)
    {
        DocIDFields id;
        wchar_t sz[MAX_PATH] = {};
        auto path = CPDDocProviderHelper().IsDM6Installed() ? StandIn_CacheFilePath : StandIn_ServerFilePath;
        if (ParseDocID(strID, id) != DocIDForm::Scheme ||
            path(id.strLibrary.c_str(), id.Number(), id.strVersion.c_str(), sz, MAX_PATH) != S_OK)
            return "<none>";
        return ReadFileBytes(sz);
    }

    testing_support::ScopedRegValue m_programLocation;
    std::wstring m_strFile;
    LONG m_lDoc = 0;
    LONG m_lBaseObjects = 0;
};

// A new document goes to the library named in the dialog, or to the current one (the host's
// registry fix, a silent save, or the user's yes when the named one cannot be read); a name that
// matches none fails, the user's no is a cancel, and nobody is asked during a silent save.
TEST_F(SaveAsTest, TheLibraryOfANewDocumentIsTheNamedOneOrTheCurrentOneTheUserAccepts)
{
    ASSERT_EQ(S_OK, StandIn_AddLibrary(L"ARCHIVE"));
    ASSERT_EQ(S_OK, StandIn_AddLibrary(L"LEGAL"));
    ASSERT_EQ(S_OK, OpenDmsApplication()->SetCurrentLibrary(_bstr_t(L"LIB")));
    testing_support::ScopedRegValue regFix(HKEY_LOCAL_MACHINE, HOST_SETTINGS_KEY, SAVE_TO_LOCAL_DMS_REG_FIX);
    const HWND hHost = reinterpret_cast<HWND>(static_cast<INT_PTR>(kHost));
    // The library typed (null: a silent save, nothing shown), the host's fix (-1: none), the DMS call
    // that fails, the user's answer to the question; the library found and the lookup's result.
    const struct { const wchar_t* pszTyped; long lRegFix; const wchar_t* pszFailing; DWORD dwAnswer;
                   const wchar_t* pszLibrary; HRESULT hr; } rows[] = {
        {L"ARCHIVE", 0, nullptr, 0, L"ARCHIVE", S_OK},
        {L"archive", -1, nullptr, IDYES, L"<none>", E_FAIL},
        {L"LEGAL", 1, nullptr, 0, L"LIB", S_OK},
        {nullptr, -1, nullptr, 0, L"LIB", S_OK},
        {L"LEGAL", -1, L"ILibraries::Item", IDYES, L"LIB", S_OK},
        {L"LEGAL", -1, L"ILibraries::Item", IDNO, L"<none>", S_FALSE},
        {L"LEGAL", -1, L"ILibraries::Item", IDCANCEL, L"<none>", S_FALSE},
        {nullptr, -1, L"IApplication::CurrentLibrary", IDYES, L"<none>", E_FAIL},
    };
    const std::wstring strQuestion =
        L"Unable to retrieve selected library, would you like to save to current library: LIB ?|" +
        std::to_wstring(kHost) + L"|" + std::to_wstring(MB_YESNOCANCEL) + L"|1|";
    for (const auto& row : rows)
    {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows);
        row.lRegFix < 0 ? regFix.Delete() : regFix.SetDword(static_cast<DWORD>(row.lRegFix));
        RegDeleteTreeW(HKEY_CURRENT_USER, kMessagingKey);
        RegSetKeyValueW(HKEY_CURRENT_USER, kMessagingKey, L"Answer1", REG_DWORD, &row.dwAnswer, sizeof(DWORD));
        CSaveAsDlg dlg(0, L"");
        long lIndex = 1;
        IProfilePtr pProfile;
        ASSERT_EQ(S_OK, dlg.InitSaveAsDlg(false, nullptr, pProfile, row.pszTyped ? 0x2 : 0x42, &lIndex, kFormats));
        CAnsweringWindow window(SAVE_CHOICE_NEW_DOCUMENT, IDOK, row.pszTyped);
        ASSERT_TRUE(!row.pszTyped || (dlg.PrepareToShow(hHost), window.ShowModal(dlg, hHost)) == IDOK);
        // The first call fails, later ones answer: the question can name the current library.
        ASSERT_TRUE(!row.pszFailing || StandIn_InjectFault(row.pszFailing, E_ACCESSDENIED, 0, 1, FALSE) == S_OK);
        ILibraryPtr pLibrary = dlg.GetSelectedLibrary();
        StandIn_ClearFaults();
        EXPECT_EQ(row.pszLibrary, pLibrary ? TextOf(pLibrary, &ILibrary::get_Name) : CStdStr(L"<none>"));
        EXPECT_EQ(row.hr, dlg.GetLibraryLookupResult());
        const bool bAsked = row.pszTyped && row.pszFailing;
        EXPECT_EQ(bAsked ? strQuestion : L"||||", Question()) << "owned by the host's window";
        if (pLibrary)  // the same save asks again: the library found is kept, the DMS not asked again
        {
            EXPECT_EQ(pLibrary.GetInterfacePtr(), dlg.GetSelectedLibrary().GetInterfacePtr());
            EXPECT_EQ(0, StandIn_CallCount(L"ILibraries::Item") + StandIn_CallCount(L"IApplication::CurrentLibrary"));
        }
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kMessagingKey);
}

// Cancel, a dialog that failed, a choice nobody offered, a library name that matches none, a
// version the DMS forbids to version or another user holds, working offline, and attachment
// labels that are taken by another kind of file, would name a version or are empty: each answers
// its code, leaves the record and the format index, and neither makes nor holds anything.
TEST_F(SaveAsTest, EveryRefusalAnswersItsCodeAndMakesAndHoldsNothing)
{
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        SCOPED_TRACE(version);
        Seed(version);
        ASSERT_EQ(S_OK, Decide(Record(), SAVE_CHOICE_ATTACHMENT).hrDecide);
        ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, nullptr));
        StandIn_ClearFaults();  // forgets the attachment's selection for editing
        ASSERT_EQ(S_OK, StandIn_SetVersionRights(L"LIB", m_lDoc, L"1", FALSE, FALSE));
        const struct { int nChoice; long lIndex; INT_PTR nResult; const wchar_t* pszLibrary; HRESULT hr; } rows[] = {
            {0, 1, IDCANCEL, L"", S_FALSE},
            {0, 1, SAVEAS_DLG_FAILED, L"", E_UNEXPECTED},
            {9, 1, IDOK, L"", E_UNEXPECTED},
            {SAVE_CHOICE_NEW_DOCUMENT, 1, IDOK, L"NOSUCH", E_FAIL},
            {SAVE_CHOICE_NEW_VERSION, 1, IDOK, L"", HRESULT(0x801D000E)},
            {SAVE_CHOICE_NEW_SUBVERSION, 1, IDOK, L"", HRESULT(0x801D000F)},
            {SAVE_CHOICE_ATTACHMENT, 4, IDOK, L"", E_FAIL},
            {SAVE_CHOICE_ATTACHMENT, 5, IDOK, L"", E_FAIL},
            {SAVE_CHOICE_ATTACHMENT, 6, IDOK, L"", E_FAIL}};
        for (const auto& refusal : rows)
        {
            SCOPED_TRACE(testing::Message() << "refusal " << &refusal - rows);
            const Road road = Decide(Record(), refusal.nChoice, refusal.lIndex, false, refusal.nResult,
                                     refusal.pszLibrary);
            EXPECT_EQ(refusal.hr, road.hrDecide);
            EXPECT_EQ(Id(L"1"), road.doc.GetDocID());
            EXPECT_EQ(refusal.lIndex, road.lIndex);
            EXPECT_FALSE(Held());
        }
        EXPECT_EQ(1, ProfileCount());
        EXPECT_EQ(L"<none><none>", Version(Id(L"2")) + Version(Id(L"1A")));
    }
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, L"bob"));
    EXPECT_EQ(HRESULT(0x80120009), Decide(Record(), SAVE_CHOICE_NEW_VERSION).hrDecide);
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, nullptr));
    ASSERT_EQ(S_OK, StandIn_SetConnectionState(1));
    EXPECT_EQ(HRESULT(0x80120014), Decide(Record(), SAVE_CHOICE_NEW_VERSION).hrDecide);
    EXPECT_EQ(HRESULT(0x80120014), Decide(Record(), SAVE_CHOICE_ATTACHMENT).hrDecide);
    EXPECT_FALSE(Held());
    EXPECT_EQ(L"<none>", Version(Id(L"2")));
}

// What the user holds is not taken again (the permission is still asked); an attachment is made
// once from a placeholder that does not outlive it, then found again, checked out and given the
// comment, its content left to the host's save; the record says checked out only when it is.
TEST_F(SaveAsTest, WhatTheUserHoldsIsNotTakenAgainAndAnAttachmentIsMadeOnce)
{
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, L"alice"));
    ASSERT_EQ(S_OK, Decide(Record(), SAVE_CHOICE_NEW_VERSION).hrDecide);
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::SelectForEdit") + StandIn_CallCount(L"IVersion::LockVersionForEdit"));
    EXPECT_EQ(1, StandIn_CallCount(L"IVersion::CanNewVersion"));

    Seed(L"5.3");
    auto tempFiles = [] { return std::distance(std::filesystem::directory_iterator(GetTempFolder()), {}); };
    const auto nTempFiles = tempFiles();
    Road road = Decide(Record(), SAVE_CHOICE_ATTACHMENT);
    ASSERT_EQ(S_OK, road.hrDecide);
    EXPECT_EQ(nTempFiles, tempFiles()) << "placeholder left behind";
    EXPECT_EQ(RECORD_CHECKED_OUT, road.doc.GetFlags());
    EXPECT_TRUE(Held());
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, nullptr));
    DmsCheck(CPDDocProviderHelper().GetVersion(Id(L"dcx"))->put_Comment(_bstr_t(L"earlier")));
    StandIn_ClearFaults();
    road = Decide(Record(), SAVE_CHOICE_ATTACHMENT);
    ASSERT_EQ(S_OK, road.hrDecide);
    EXPECT_EQ(LowerCase(Id(L"dcx")), LowerCase(road.doc.GetDocID()));
    EXPECT_EQ(L"agreed terms by bob", Version(Id(L"dcx")));
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::NewAttachment") + StandIn_CallCount(L"IVersion::UploadFile"));
    EXPECT_EQ(RECORD_CHECKED_OUT, road.doc.GetFlags());
    EXPECT_TRUE(Held());
    EXPECT_EQ(kOld, Stored(Id(L"1")));

    // A check-out for the save that the DMS refuses leaves the new version free: the record says so.
    Seed(L"5.3");
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::LockVersionForEdit", E_ACCESSDENIED, 0, 1, FALSE));
    road = Decide(Record(), SAVE_CHOICE_NEW_VERSION);
    ASSERT_EQ(S_OK, road.hrDecide);
    EXPECT_EQ(LowerCase(Id(L"2")), LowerCase(road.doc.GetDocID()));
    EXPECT_EQ(0, road.doc.GetFlags());
    EXPECT_FALSE(Held());
}

// The DMS's profile form makes a new document (on DM 6 filed in the folder chosen there, if any,
// the profile saved once more after the link); a cancel on the form at any step, even after the form
// stored the profile, makes nothing, and neither does a DMS that fails the form's last step.
TEST_F(SaveAsTest, TheProfileFormMakesANewDocumentOrNothing)
{
    // hr is a failure code with pszFailing: any failure will do.
    const struct { const wchar_t *pszVersion, *pszScript, *pszFailing; HRESULT hr; LONG lFolderLinks; } forms[] = {
        {L"5.3", L"ok", nullptr, S_OK, 0},
        {L"6.0", L"ok Projects\nok", nullptr, S_OK, 1},
        {L"6.0", L"ok\nok", nullptr, S_OK, 0},
        {L"5.3", L"cancel", nullptr, S_FALSE, 0},
        {L"6.0", L"cancel", nullptr, S_FALSE, 0},
        {L"6.0", L"ok Projects\ncancel", nullptr, S_FALSE, 0},
        {L"6.0", L"stored Projects\ncancel", nullptr, S_FALSE, 0},
        {L"6.0", L"stored Projects\nok", L"IProfile::FinishForm", E_FAIL, 0}};
    for (const auto& form : forms)
    {
        SCOPED_TRACE(testing::Message() << form.pszVersion << ": " << form.pszScript);
        Seed(form.pszVersion);
        ASSERT_EQ(S_OK, StandIn_ScriptForms(form.pszScript));
        ASSERT_TRUE(!form.pszFailing || StandIn_InjectFault(form.pszFailing, E_FAIL, 0, 1, FALSE) == S_OK);
        const Road road = Decide(Record(), SAVE_CHOICE_NEW_DOCUMENT, 3);
        EXPECT_TRUE(form.pszFailing ? FAILED(road.hrDecide) : road.hrDecide == form.hr) << std::hex << road.hrDecide;
        EXPECT_EQ(form.hr == S_OK ? 2 : 1, ProfileCount());
        EXPECT_EQ(form.lFolderLinks, StandIn_CallCount(L"IProject::AddDocument"));
        EXPECT_EQ(form.lFolderLinks + (form.hr == S_OK ? 1 : 0), StandIn_CallCount(L"IProfile::Save"));
        // A new document has the library's application for the type chosen, a refusal leaves the record.
        IProfilePtr pProfile = ProfileOf(CPDDocProviderHelper().GetVersion(road.doc.GetDocID()));
        EXPECT_EQ(form.hr == S_OK ? L"TEXT" : L"MS WORD", DmsText(_bstr_t(ReadColumn(ColumnsOf(pProfile), L"APP_ID"))));
    }
}

// GetSaveInfo, then SaveDocument into the record it returned, for every choice, both client
// generations and content of every size: the record names what the choice makes, with the
// dialog's comment; the edit is stored there and fetched back; the version it came from keeps
// its content (Replace Original: its date refreshed, the replacement in its history); the target
// stays checked out until the host closes it. Without a version New Document is what is made.
TEST_F(SaveAsTest, TheHostsRoadStoresItsEditWhereTheChoiceSays)
{
    // The label each choice makes, by choice number; null: a new document.
    const wchar_t* const labels[] = {nullptr, nullptr, L"2", L"1", L"dcx", L"1A"};
    for (const wchar_t* version : {L"5.3", L"6.0"})
        for (const std::string& content : {std::string(), std::string("x"), std::string(50u << 20, 'q')})
            for (int nChoice = SAVE_CHOICE_NEW_DOCUMENT; nChoice <= SAVE_CHOICE_NEW_SUBVERSION; ++nChoice)
            {
                SCOPED_TRACE(testing::Message() << version << ", choice " << nChoice << ", " << content.size());
                const wchar_t* const pszLabel = labels[nChoice];
                Seed(version);
                ASSERT_EQ(S_OK, StandIn_ScriptForms(version[0] == L'6' ? L"ok Projects\nok" : L"ok"));
                CVDocNonCom fetched;  // the host's road: version 1 fetched with a check-out, then edited
                ASSERT_EQ(S_OK, CPDDocProviderHelper().GetDocument(Id(L"1"), GET_DOCUMENT_LOCK, fetched));
                ASSERT_TRUE(WriteFileBytes(fetched.GetLocalFile(), content));
                fetched.SetVersionDate(0);
                Road road = Decide(fetched, nChoice, 1, true);
                ASSERT_EQ(S_OK, road.hrDecide);
                EXPECT_EQ(S_OK, road.hrSave);
                EXPECT_EQ(kHost, reinterpret_cast<INT_PTR>(road.hParent)) << "the dialog is owned by the host";
                DocIDFields id;
                ASSERT_EQ(DocIDForm::Scheme, ParseDocID(road.doc.GetDocID(), id));
                EXPECT_EQ(pszLabel != nullptr, id.Number() == m_lDoc);
                EXPECT_EQ(LowerCase(pszLabel ? pszLabel : L"1"), LowerCase(id.strVersion));
                // A version keeps its document's author.
                EXPECT_EQ(std::wstring(nChoice == SAVE_CHOICE_REPLACE_ORIGINAL ? L"" : L"agreed terms") +
                              (pszLabel ? L" by bob" : L" by alice"),
                          Version(road.doc.GetDocID()));
                EXPECT_TRUE(Stored(road.doc.GetDocID()) == content);
                EXPECT_TRUE(nChoice == SAVE_CHOICE_REPLACE_ORIGINAL || Stored(Id(L"1")) == kOld);
                const std::wstring strHistory = DmsText(_bstr_t(StandIn_ListHistory(L"LIB", m_lDoc), false));
                EXPECT_TRUE(nChoice != SAVE_CHOICE_REPLACE_ORIGINAL || road.doc.GetVersionDate() != 0.0);
                const bool bReplaced = strHistory.find(L"Original replaced\t") != std::wstring::npos;
                EXPECT_EQ(nChoice == SAVE_CHOICE_REPLACE_ORIGINAL, bReplaced) << strHistory;

                CPDDocProviderHelper helper;
                CVDocNonCom back;
                ASSERT_EQ(S_OK, helper.GetDocument(road.doc.GetDocID(), 0, back));
                EXPECT_TRUE(ReadFileBytes(back.GetLocalFile()) == content);
                DeleteFileW(back.GetLocalFile().c_str());
                EXPECT_EQ(RECORD_CHECKED_OUT, road.doc.GetFlags());
                EXPECT_TRUE(Held(id.Number()));
                // The host closes the record it saved into, which gives back the check-out it
                // fetched the original with when the choice kept the document, and its file.
                EXPECT_EQ(S_OK, helper.CloseDocument(road.doc, 0));
                EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(fetched.GetLocalFile().c_str()));
                EXPECT_FALSE(Held(id.Number()));
                EXPECT_EQ(m_lBaseObjects, SettledLiveObjects());
            }

    Seed(L"5.3");
    ASSERT_EQ(S_OK, StandIn_ScriptForms(L"ok"));
    CVDocNonCom loose;
    loose.SetLocalFile(m_strFile);
    const Road road = Decide(loose, 0, 1, true);
    EXPECT_EQ(S_OK, road.hrSave);
    EXPECT_EQ(kEdit, Stored(road.doc.GetDocID()));
}

}  // namespace
