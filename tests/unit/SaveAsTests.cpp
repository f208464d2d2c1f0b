// The save decision and the creating routines of a save (a new document, version, subversion or
// attachment), driven on the logic object against the DMS stand-in in this process, with a Save
// As dialog that is never shown (a window stand-in answers for the user): what they make and
// name, and that the host's whole road stores its edit. Their DMS faults are tested through the
// DLL, on the host's save road.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DmsStandInControl.h"
#include "TestSupport.h"
#include "dms/AppWrapper.h"
#include "dms/DmsConstants.h"
#include "dms/DmsValues.h"
#include "local/DocID.h"
#include "local/TempFiles.h"
#include "operations/PDDocProviderHelper.h"
#include "save/SaveAsDlg.h"

namespace {

// A document ID's library, number and label.
bool SplitID(const CStdStr& strID, CStdStr& strLibrary, LONG& lNumber, CStdStr& strLabel)
{
    DocIDFields fields;
    if (ParseDocID(strID, fields) != DocIDForm::Scheme)
        return false;
    strLibrary = fields.strLibrary;
    lNumber = fields.Number();
    strLabel = fields.strVersion;
    return true;
}

const wchar_t kFormats[] = L"Word Document (*.docx)|*.docx|Rich Text (*.rtf)|*.rtf|Plain Text (*.txt)|*.txt";

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

const wchar_t kOptionsKey[] = L"SOFTWARE\\Corvane\\Options";
const char kOld[] = "old terms";
const char kEdit[] = "the host's edit";

// The logic object with the values a save decision leaves behind.
class CSavingHelper : public CPDDocProviderHelper
{
public:
    explicit CSavingHelper(const wchar_t* pszExtension)
    {
        m_strAppID = L"MS WORD";
        m_strExtension = pszExtension;
    }
};

// The logic object as the save decision leaves it, with a window that answers for the user.
class CDecidingHelper : public CPDDocProviderHelper
{
public:
    using CPDDocProviderHelper::m_strAppID;
    using CPDDocProviderHelper::m_strExtension;
};

// Answers the dialog as a user would: optionally looks at it, picks a choice and a comment, and
// closes it with a result.
class CAnsweringWindow : public ISaveAsDlgWindow
{
public:
    CAnsweringWindow(int nChoice, INT_PTR nResult, int* pShown, std::function<void(CSaveAsDlg&)> look = {})
        : m_nChoice(nChoice), m_nResult(nResult), m_pShown(pShown), m_look(std::move(look))
    {
    }
    INT_PTR ShowModal(CSaveAsDlg& dlg, HWND) override
    {
        ++*m_pShown;
        if (m_look)
            m_look(dlg);
        if (m_nChoice)
            dlg.SetUserChoice(m_nChoice);
        if (m_nResult == IDOK)
            dlg.Accept(L"agreed terms", L"");
        return m_nResult;
    }

private:
    int m_nChoice;
    INT_PTR m_nResult;
    int* m_pShown;
    std::function<void(CSaveAsDlg&)> m_look;
};

// Files in the provider's temporary folder (placeholders among them).
int TempFolderFiles()
{
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW((GetTempFolder() + L"*").c_str(), &data);
    int nFiles = 0;
    if (hFind == INVALID_HANDLE_VALUE)
        return 0;
    do
        nFiles += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    while (FindNextFileW(hFind, &data));
    FindClose(hFind);
    return nFiles;
}

std::string Narrow(const std::wstring& s)
{
    std::string out;
    for (wchar_t c : s)
        out += static_cast<char>(c);
    return out;
}

// One creating routine as the save decision runs it: a fresh logic object and dialog, the
// version the document came from looked up again; a raised DMS error becomes its code.
using Routine = std::function<HRESULT(CSavingHelper&, CSaveAsDlg&, IProfilePtr&, IVersionPtr&, CVDocNonCom&)>;

const Routine kSaveAsVersion = [](CSavingHelper& h, CSaveAsDlg& dlg, IProfilePtr& pProf, IVersionPtr& pVer,
                                  CVDocNonCom& doc) { return h.SaveAsVersion(doc, pProf, pVer, dlg); };
const Routine kSaveAsAttachment = [](CSavingHelper& h, CSaveAsDlg& dlg, IProfilePtr& pProf, IVersionPtr& pVer,
                                     CVDocNonCom& doc) { return h.SaveDocumentAsAttachment(pProf, pVer, dlg, doc); };
const Routine kSaveAsNewDocument = [](CSavingHelper& h, CSaveAsDlg& dlg, IProfilePtr& pProf, IVersionPtr& pVer,
                                      CVDocNonCom& doc) {
    return h.SaveAsNewDocument(doc, nullptr, pProf, pVer, dlg);
};

class SaveAsTest : public ::testing::Test
{
protected:
    SaveAsTest() : m_programLocation(HKEY_CURRENT_USER, kOptionsKey, L"ProgramLocation") {}

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        // The Save As Type control comes from the host suite beside this program.
        m_programLocation.SetString(testing_support::ProgramFolder());
        ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, szTemp);
        m_strFile = std::wstring(szTemp) + L"QuendrelSaveAs-" + std::to_wstring(GetCurrentProcessId()) + L".docx";
        Seed();
        // The first DMS call logs the client on; the session lives as long as the process.
        ASSERT_TRUE(ReadVersion(Id(L"1")));
        m_lBaseObjects = SettledLiveObjects();
    }
    void TearDown() override
    {
        StandIn_ScriptForms(nullptr);
        StandIn_ClearFaults();
        StandIn_SetConnectionState(0);
        DeleteFileW(m_strFile.c_str());
        StandIn_SetProcessUser(nullptr);
        StandIn_Install(L"5.3");
        CAppWrapper::Instance().ReleaseDispatch();
        CoUninitialize();
    }

    // A fresh catalog: library LIB and document "Terms" with version 1, nobody holding it; the
    // host's file holds its edit.
    void Seed()
    {
        ASSERT_EQ(S_OK, StandIn_Reset());
        ASSERT_EQ(S_OK, StandIn_AddLibrary(L"LIB"));
        ASSERT_EQ(S_OK, StandIn_AddUser(L"alice"));
        ASSERT_EQ(S_OK, StandIn_SetProcessUser(L"alice"));
        ASSERT_EQ(S_OK, StandIn_AddDocument(L"LIB", L"Terms", L"MS WORD", kOld, sizeof kOld - 1, &m_lDoc));
        ASSERT_TRUE(WriteFileBytes(m_strFile, kEdit));
        StandIn_ClearFaults();
    }

    std::wstring Id(const wchar_t* pszLabel, LONG lDoc = 0) const
    {
        return L"PowerDocs://LIB/" + std::to_wstring(lDoc ? lDoc : m_lDoc) + L"/" + pszLabel;
    }

    // Runs the routine with the dialog's choice and comment on the record of version 1.
    HRESULT Run(const Routine& routine, int nChoice, CVDocNonCom& doc, const wchar_t* pszExtension = L"docx")
    {
        doc.SetDocID(Id(L"1"));
        doc.SetName(L"Terms");
        doc.SetLocalFile(m_strFile);
        doc.SetFlags(0);
        CSavingHelper helper(pszExtension);
        CSaveAsDlg dlg(0, L"");
        dlg.SetUserChoice(nChoice);
        dlg.SetComment(L"agreed terms");
        IVersionPtr pVersion;
        IProfilePtr pProfile;
        try
        {
            if (nChoice != SAVE_CHOICE_NEW_DOCUMENT)
            {
                pVersion = helper.GetVersion(doc.GetDocID());
                if (!pVersion)
                    return E_UNEXPECTED;
                pProfile = ProfileOf(pVersion);
            }
            return routine(helper, dlg, pProfile, pVersion, doc);
        }
        catch (const _com_error& e)
        {
            return e.Error();
        }
    }

    // Stand-in objects alive once the parked application is let go.
    static LONG SettledLiveObjects()
    {
        CAppWrapper::Instance().ReleaseDispatch();
        return StandIn_LiveObjects();
    }

    // The version an ID names, read through a logic object of its own: label, comment, author.
    static bool ReadVersion(const std::wstring& strID, std::wstring* pComment = nullptr, std::wstring* pAuthor = nullptr)
    {
        CPDDocProviderHelper helper;
        IVersionPtr pVersion = helper.GetVersion(strID);
        if (!pVersion)
            return false;
        if (pComment)
            *pComment = TextOf(pVersion, &IVersion::get_Comment);
        if (pAuthor)
            *pAuthor = TextOf(pVersion, &IVersion::get_Author);
        return true;
    }

    long LockState(LONG lDoc = 0) const
    {
        CPDDocProviderHelper helper;
        long lState = -1;
        CStdStr strOwner;
        EXPECT_EQ(S_OK, helper.GetDocumentLockStatus(Id(L"1", lDoc), &lState, strOwner));
        return lState;
    }

    bool Held(LONG lDoc = 0) const
    {
        return LockState(lDoc) != LOCK_STATE_NONE || StandIn_IsSelectedForEdit(L"LIB", lDoc ? lDoc : m_lDoc);
    }

    std::string Stored(const wchar_t* pszLabel) const
    {
        wchar_t sz[MAX_PATH] = {};
        EXPECT_EQ(S_OK, StandIn_ServerFilePath(L"LIB", m_lDoc, pszLabel, sz, MAX_PATH));
        return ReadFileBytes(sz);
    }

    static LONG ProfileCount()
    {
        ILibrariesPtr pLibraries;
        DmsCheck(OpenDmsApplication()->get_Libraries(&pLibraries));
        ILibraryPtr pLibrary;
        DmsCheck(pLibraries->get_Item(_variant_t(L"LIB"), &pLibrary));
        long lCount = 0;
        DmsCheck(pLibrary->get_ProfileCount(&lCount));
        return lCount;
    }

    // The host's road up to the save: version 1 fetched with a check-out and the edit written
    // into the fetched file.
    CVDocNonCom FetchAndEdit(const std::string& strContent)
    {
        CPDDocProviderHelper helper;
        CVDocNonCom doc;
        EXPECT_EQ(S_OK, helper.GetDocument(Id(L"1"), GET_DOCUMENT_LOCK, doc));
        EXPECT_TRUE(WriteFileBytes(doc.GetLocalFile(), strContent));
        return doc;
    }

    struct Road
    {
        CVDocNonCom doc;      // the record as GetSaveInfo left it
        HRESULT hrDecide = E_FAIL;
        HRESULT hrSave = E_FAIL;  // SaveDocument's answer, when GetSaveInfo answered S_OK
        int nShown = 0;           // times the dialog was shown
    };

    // The rest of the road: GetSaveInfo with the mask, the window answering with the choice
    // (none: the dialog's default), then SaveDocument of the host's file into the record.
    static Road Save(const CVDocNonCom& fetched, int nChoice, long lMask = SAVE_OPTION_ANY_CHOICE,
                     INT_PTR nResult = IDOK, std::function<void(CSaveAsDlg&)> look = {})
    {
        Road road;
        road.doc = fetched;
        CDecidingHelper helper;
        helper.SetSaveAsDlgWindow(std::make_unique<CAnsweringWindow>(nChoice, nResult, &road.nShown, std::move(look)));
        long lIndex = 1;
        road.hrDecide = helper.GetSaveInfo(0, kFormats, lMask, &lIndex, road.doc);
        if (road.hrDecide == S_OK)
            road.hrSave = helper.SaveDocument(road.doc, 0);
        return road;
    }

    // What the DMS holds for a version: on DM 5 the server store, on DM 6 the local store,
    // where the copy is the save.
    static std::string StoredAt(const std::wstring& strID)
    {
        CStdStr strLib, strLabel;
        LONG lDoc = 0;
        if (!SplitID(strID, strLib, lDoc, strLabel))
            return "<bad id>";
        auto path = CPDDocProviderHelper().IsDM6Installed() ? StandIn_CacheFilePath : StandIn_ServerFilePath;
        wchar_t sz[MAX_PATH] = {};
        if (path(strLib.c_str(), lDoc, strLabel.c_str(), sz, MAX_PATH) != S_OK)
            return "<none>";
        return ReadFileBytes(sz);
    }

    testing_support::ScopedRegValue m_programLocation;
    std::wstring m_strFile;
    LONG m_lDoc = 0;
    LONG m_lBaseObjects = 0;
};

const int kAllChoices[] = {SAVE_CHOICE_NEW_DOCUMENT, SAVE_CHOICE_NEW_VERSION, SAVE_CHOICE_REPLACE_ORIGINAL,
                           SAVE_CHOICE_ATTACHMENT, SAVE_CHOICE_NEW_SUBVERSION};

TEST_F(SaveAsTest, NewVersionAndSubversionCarryTheCommentAndAreCheckedOut)
{
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        ASSERT_EQ(S_OK, StandIn_Install(version));
        for (int nChoice : {SAVE_CHOICE_NEW_VERSION, SAVE_CHOICE_NEW_SUBVERSION})
        {
            Seed();
            const std::string where = Narrow(version) + (nChoice == SAVE_CHOICE_NEW_VERSION ? " version" : " sub");
            CVDocNonCom doc;
            ASSERT_EQ(S_OK, Run(kSaveAsVersion, nChoice, doc)) << where;
            const std::wstring strNew = Id(nChoice == SAVE_CHOICE_NEW_VERSION ? L"2" : L"1A");
            EXPECT_EQ(LowerCase(strNew), LowerCase(doc.GetDocID())) << where;
            EXPECT_EQ(RECORD_CHECKED_OUT, doc.GetFlags()) << where;
            std::wstring strComment, strAuthor;
            ASSERT_TRUE(ReadVersion(strNew, &strComment, &strAuthor)) << where;
            EXPECT_EQ(L"agreed terms", strComment) << where;
            EXPECT_EQ(L"alice", strAuthor) << where;
            EXPECT_TRUE(Held()) << where;
            EXPECT_EQ(kOld, Stored(L"1")) << where;
            EXPECT_EQ(m_lBaseObjects, SettledLiveObjects()) << where;
        }
    }

    // A version its user already holds is neither locked nor selected again, and the
    // permission is still asked; one that another user holds is refused.
    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
    Seed();
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, L"alice"));
    CVDocNonCom doc;
    ASSERT_EQ(S_OK, Run(kSaveAsVersion, SAVE_CHOICE_NEW_VERSION, doc));
    EXPECT_EQ(0, StandIn_CallCount(L"IProfile::SelectForEdit") + StandIn_CallCount(L"IVersion::LockVersionForEdit"));
    EXPECT_EQ(1, StandIn_CallCount(L"IVersion::CanNewVersion"));
    Seed();
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, L"bob"));
    EXPECT_EQ(HRESULT(0x80120009), Run(kSaveAsVersion, SAVE_CHOICE_NEW_VERSION, doc));
    EXPECT_FALSE(ReadVersion(Id(L"2")));
}

TEST_F(SaveAsTest, RefusedVersionsOfflineAndRefusedPermissionsGiveTheirCodesAndTakeNothing)
{
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        ASSERT_EQ(S_OK, StandIn_Install(version));
        Seed();
        ASSERT_EQ(S_OK, StandIn_SetVersionRights(L"LIB", m_lDoc, L"1", FALSE, FALSE));
        CVDocNonCom doc;
        EXPECT_EQ(HRESULT(0x801D000E), Run(kSaveAsVersion, SAVE_CHOICE_NEW_VERSION, doc)) << Narrow(version);
        EXPECT_FALSE(Held()) << Narrow(version);
        EXPECT_EQ(HRESULT(0x801D000F), Run(kSaveAsVersion, SAVE_CHOICE_NEW_SUBVERSION, doc)) << Narrow(version);
        EXPECT_FALSE(Held()) << Narrow(version);
        EXPECT_FALSE(ReadVersion(Id(L"2")) || ReadVersion(Id(L"1A")));
    }
    ASSERT_EQ(S_OK, StandIn_SetConnectionState(1));
    CVDocNonCom doc;
    EXPECT_EQ(HRESULT(0x80120014), Run(kSaveAsVersion, SAVE_CHOICE_NEW_VERSION, doc));
    EXPECT_EQ(HRESULT(0x80120014), Run(kSaveAsAttachment, SAVE_CHOICE_ATTACHMENT, doc));
}

TEST_F(SaveAsTest, AttachmentsAreLabelledMadeOnceAndNeverOverwrittenHere)
{
    testing_support::ScopedRegValue option(HKEY_CURRENT_USER, kOptionsKey, L"UseExtendedAttachmentLabels");
    option.Delete();
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        ASSERT_EQ(S_OK, StandIn_Install(version));
        Seed();
        const std::string where = Narrow(version);
        CVDocNonCom doc;
        const int nTempFiles = TempFolderFiles();
        ASSERT_EQ(S_OK, Run(kSaveAsAttachment, SAVE_CHOICE_ATTACHMENT, doc)) << where;
        EXPECT_EQ(nTempFiles, TempFolderFiles()) << where << ": placeholder left behind";
        EXPECT_EQ(LowerCase(Id(L"dcx")), LowerCase(doc.GetDocID())) << where;
        EXPECT_EQ(RECORD_CHECKED_OUT, doc.GetFlags()) << where;
        EXPECT_TRUE(Held()) << where;
        std::wstring strComment;
        ASSERT_TRUE(ReadVersion(Id(L"dcx"), &strComment)) << where;
        EXPECT_EQ(L"agreed terms", strComment) << where;

        // The same extension again finds that attachment: checked out and commented, its
        // content left to the host's following save; no second attachment is made.
        ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, nullptr));
        StandIn_ClearFaults();
        ASSERT_EQ(S_OK, Run(kSaveAsAttachment, SAVE_CHOICE_ATTACHMENT, doc)) << where;
        EXPECT_EQ(LowerCase(Id(L"dcx")), LowerCase(doc.GetDocID())) << where;
        EXPECT_EQ(0, StandIn_CallCount(L"IProfile::NewAttachment") + StandIn_CallCount(L"IVersion::UploadFile"))
            << where;
        EXPECT_TRUE(Held()) << where;
        EXPECT_EQ(m_lBaseObjects, SettledLiveObjects()) << where;

        // Another extension under the same short label, a label that would name a version, or
        // none at all: refused, nothing taken.
        ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, nullptr));
        StandIn_ClearFaults();
        for (const wchar_t* ext : {L"dhcx", L"7z", L""})
        {
            EXPECT_EQ(E_FAIL, Run(kSaveAsAttachment, SAVE_CHOICE_ATTACHMENT, doc, ext)) << where;
            EXPECT_FALSE(Held()) << where;
        }
        EXPECT_EQ(kOld, Stored(L"1")) << where;
    }
    // pdf keeps its label; extended labels keep the whole extension.
    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
    Seed();
    CVDocNonCom doc;
    ASSERT_EQ(S_OK, Run(kSaveAsAttachment, SAVE_CHOICE_ATTACHMENT, doc, L"pdf"));
    EXPECT_EQ(LowerCase(Id(L"pdf")), LowerCase(doc.GetDocID()));
    option.SetDword(1);
    ASSERT_EQ(S_OK, Run(kSaveAsAttachment, SAVE_CHOICE_ATTACHMENT, doc));
    EXPECT_EQ(LowerCase(Id(L"docx")), LowerCase(doc.GetDocID()));
}

TEST_F(SaveAsTest, NewDocumentsAreMadeFiledCommentedAndCheckedOut)
{
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        ASSERT_EQ(S_OK, StandIn_Install(version));
        Seed();
        const std::string where = Narrow(version);
        const bool bDM6 = version[0] == L'6';
        ASSERT_EQ(S_OK, StandIn_ScriptForms(bDM6 ? L"ok Projects\nok" : L"ok"));
        CVDocNonCom doc;
        ASSERT_EQ(S_OK, Run(kSaveAsNewDocument, SAVE_CHOICE_NEW_DOCUMENT, doc)) << where;
        LONG lNew = 0;
        CStdStr strLibrary, strLabel;
        ASSERT_TRUE(SplitID(doc.GetDocID(), strLibrary, lNew, strLabel)) << where;
        EXPECT_NE(m_lDoc, lNew) << where;
        EXPECT_EQ(RECORD_CHECKED_OUT, doc.GetFlags()) << where;
        EXPECT_EQ(LOCK_STATE_CURRENT_USER, LockState(lNew)) << where;
        std::wstring strComment;
        ASSERT_TRUE(ReadVersion(doc.GetDocID(), &strComment)) << where;
        EXPECT_EQ(L"agreed terms", strComment) << where;
        // A chosen folder gets the profile, and the profile is saved once more after the link.
        EXPECT_EQ(bDM6 ? 2 : 1, StandIn_CallCount(L"IProfile::Save")) << where;
        EXPECT_EQ(bDM6 ? 1 : 0, StandIn_CallCount(L"IProject::AddDocument")) << where;
        EXPECT_EQ(m_lBaseObjects, SettledLiveObjects()) << where;
    }
    // Cancelled on the form (on DM 6 also at its last step, after it made the profile, or after
    // it even stored it): S_FALSE and nothing made.
    const std::pair<const wchar_t*, const wchar_t*> cancels[] = {
        {L"5.3", L"cancel"}, {L"6.0", L"cancel"}, {L"6.0", L"ok Projects\ncancel"}, {L"6.0", L"stored Projects\ncancel"}};
    for (const auto& cancel : cancels)
    {
        ASSERT_EQ(S_OK, StandIn_Install(cancel.first));
        Seed();
        const LONG lProfiles = ProfileCount();
        ASSERT_EQ(S_OK, StandIn_ScriptForms(cancel.second));
        CVDocNonCom doc;
        EXPECT_EQ(S_FALSE, Run(kSaveAsNewDocument, SAVE_CHOICE_NEW_DOCUMENT, doc)) << Narrow(cancel.second);
        EXPECT_EQ(lProfiles, ProfileCount()) << Narrow(cancel.second);
    }
    // The DMS fails at the form's last step after the form stored the profile: a failure, and the
    // profile is deleted again.
    Seed();
    const LONG lProfiles = ProfileCount();
    ASSERT_EQ(S_OK, StandIn_ScriptForms(L"stored Projects\nok"));
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IProfile::FinishForm", E_FAIL, 0, 1, FALSE));
    CVDocNonCom doc;
    EXPECT_TRUE(FAILED(Run(kSaveAsNewDocument, SAVE_CHOICE_NEW_DOCUMENT, doc)));
    EXPECT_EQ(lProfiles, ProfileCount()) << "the stored profile is left";
}

TEST_F(SaveAsTest, TheSaveDecisionOffersWhatTheMaskAllowsAndAnswersForEveryOutcome)
{
    // Without a version only New Document can be offered; a mask that needs a version shows
    // nothing and fails.
    CVDocNonCom loose;
    loose.SetLocalFile(m_strFile);
    loose.SetExtension(L"docx");
    Road road = Save(loose, 0, SAVE_OPTION_NEW_VERSION);
    EXPECT_EQ(E_FAIL, road.hrDecide);
    EXPECT_EQ(0, road.nShown);
    ASSERT_EQ(S_OK, StandIn_ScriptForms(L"ok"));
    road = Save(loose, 0, SAVE_OPTION_NEW_DOCUMENT, IDOK, [](CSaveAsDlg& dlg) {
        EXPECT_EQ(SAVE_CHOICE_NEW_DOCUMENT, dlg.GetUserChoice());
        for (int nChoice : kAllChoices)
            EXPECT_EQ(nChoice == SAVE_CHOICE_NEW_DOCUMENT, dlg.IsChoiceAvailable(nChoice)) << nChoice;
    });
    EXPECT_EQ(S_OK, road.hrDecide);
    EXPECT_EQ(S_OK, road.hrSave);
    EXPECT_EQ(kEdit, StoredAt(road.doc.GetDocID()));

    // With a version every choice is offered and Attachment comes first; a silent save takes
    // the first of the mask's choices without showing anything.
    road = Save(FetchAndEdit(kEdit), 0, 0xF, IDCANCEL,
                [](CSaveAsDlg& dlg) { EXPECT_EQ(SAVE_CHOICE_ATTACHMENT, dlg.GetUserChoice()); });
    EXPECT_EQ(1, road.nShown);
    road = Save(FetchAndEdit(kEdit), 0, SAVE_OPTION_NEW_VERSION | SAVE_OPTION_SILENT);
    EXPECT_EQ(0, road.nShown);
    EXPECT_EQ(S_OK, road.hrDecide);
    EXPECT_EQ(LowerCase(Id(L"2")), LowerCase(road.doc.GetDocID()));

    // Cancel leaves the record and what the last save decided; a dialog that failed, or a choice
    // nobody offers, is unexpected; none of them makes anything.
    Seed();
    const CVDocNonCom fetched = FetchAndEdit(kEdit);
    const std::pair<INT_PTR, HRESULT> outcomes[] = {
        {IDCANCEL, S_FALSE}, {SAVEAS_DLG_FAILED, E_UNEXPECTED}, {IDOK, E_UNEXPECTED}};
    for (const auto& outcome : outcomes)
    {
        CDecidingHelper helper;
        int nShown = 0;
        helper.SetSaveAsDlgWindow(std::make_unique<CAnsweringWindow>(outcome.first == IDOK ? 9 : 0, outcome.first, &nShown));
        helper.m_strAppID = L"EARLIER";
        helper.m_strExtension = L"earlier";
        CVDocNonCom doc = fetched;
        long lIndex = 2;
        EXPECT_EQ(outcome.second, helper.GetSaveInfo(0, kFormats, 0xF, &lIndex, doc)) << outcome.first;
        EXPECT_EQ(L"EARLIER", helper.m_strAppID);
        EXPECT_EQ(L"earlier", helper.m_strExtension);
        EXPECT_EQ(2, lIndex);
        EXPECT_EQ(fetched.GetDocID(), doc.GetDocID());
    }
    EXPECT_FALSE(ReadVersion(Id(L"2")) || ReadVersion(Id(L"1A")) || ReadVersion(Id(L"dcx")));

    // Choices that keep the document's format keep its extension when the list gives it the
    // index, take the list's otherwise, and never move the index.
    for (int nChoice : {SAVE_CHOICE_NEW_VERSION, SAVE_CHOICE_NEW_SUBVERSION, SAVE_CHOICE_REPLACE_ORIGINAL})
    {
        const struct
        {
            long lIndex;
            const wchar_t* pszExtension;
            const wchar_t* pszAppID;
        } cases[] = {{1, L"docx", L"MS WORD"}, {3, L"txt", L"TEXT"}};
        for (const auto& c : cases)
        {
            Seed();
            CDecidingHelper helper;
            int nShown = 0;
            helper.SetSaveAsDlgWindow(std::make_unique<CAnsweringWindow>(nChoice, IDOK, &nShown));
            CVDocNonCom doc = FetchAndEdit(kEdit);
            doc.SetExtension(L"docx");
            long lIndex = c.lIndex;
            ASSERT_EQ(S_OK, helper.GetSaveInfo(0, kFormats, 0xF, &lIndex, doc)) << nChoice;
            EXPECT_EQ(c.pszExtension, helper.m_strExtension) << nChoice;
            EXPECT_EQ(c.pszAppID, helper.m_strAppID) << nChoice;
            EXPECT_EQ(c.lIndex, lIndex) << nChoice;
            CPDDocProviderHelper().CloseDocument(doc, CLOSE_KEEP_FILE);
        }
    }

    // Replace Original names the original, refreshes its date and enters the replacement in
    // its history.
    Seed();
    CVDocNonCom original = FetchAndEdit(kEdit);
    original.SetVersionDate(0);
    road = Save(original, SAVE_CHOICE_REPLACE_ORIGINAL);
    EXPECT_EQ(S_OK, road.hrDecide);
    EXPECT_EQ(original.GetDocID(), road.doc.GetDocID());
    EXPECT_NE(0.0, road.doc.GetVersionDate());
    BSTR bstrHistory = StandIn_ListHistory(L"LIB", m_lDoc);
    const std::wstring strHistory = bstrHistory ? bstrHistory : L"";
    SysFreeString(bstrHistory);
    EXPECT_NE(std::wstring::npos, strHistory.find(L"Original replaced\t")) << Narrow(strHistory);
}

TEST_F(SaveAsTest, TheHostsRoadStoresItsEditForEveryChoiceAndKeepsTheVersionItCameFrom)
{
    const std::string contents[] = {std::string(), "x", std::string(50u << 20, 'q')};
    for (const std::string& content : contents)
    {
        const std::string* const pContent = &content;
        for (int nChoice : kAllChoices)
        {
            Seed();
            ASSERT_EQ(S_OK, StandIn_ScriptForms(L"ok"));
            const std::string where = std::to_string(nChoice) + " with " + std::to_string(pContent->size()) + " bytes";
            const CVDocNonCom fetched = FetchAndEdit(*pContent);
            const Road road = Save(fetched, nChoice);
            ASSERT_EQ(S_OK, road.hrDecide) << where;
            EXPECT_EQ(S_OK, road.hrSave) << where;
            EXPECT_TRUE(StoredAt(road.doc.GetDocID()) == *pContent) << where;
            EXPECT_EQ(nChoice == SAVE_CHOICE_REPLACE_ORIGINAL, road.doc.GetDocID() == fetched.GetDocID()) << where;
            EXPECT_TRUE(nChoice == SAVE_CHOICE_REPLACE_ORIGINAL || Stored(L"1") == kOld) << where;

            // Fetched back it is the host's edit; it stays checked out until the host closes it.
            CPDDocProviderHelper helper;
            CVDocNonCom back;
            ASSERT_EQ(S_OK, helper.GetDocument(road.doc.GetDocID(), 0, back)) << where;
            EXPECT_TRUE(ReadFileBytes(back.GetLocalFile()) == *pContent) << where;
            LONG lDoc = 0;
            CStdStr strLib, strLabel;
            ASSERT_TRUE(SplitID(road.doc.GetDocID(), strLib, lDoc, strLabel));
            EXPECT_EQ(RECORD_CHECKED_OUT, road.doc.GetFlags()) << where;
            EXPECT_EQ(LOCK_STATE_CURRENT_USER, LockState(lDoc)) << where;
            CVDocNonCom closing = road.doc;
            EXPECT_EQ(S_OK, helper.CloseDocument(closing, CLOSE_KEEP_FILE)) << where;
            if (lDoc == m_lDoc)
            {
                CVDocNonCom original = fetched;
                EXPECT_EQ(S_OK, helper.CloseDocument(original, CLOSE_KEEP_FILE)) << where;
            }
            EXPECT_FALSE(Held(lDoc)) << where;
            EXPECT_EQ(m_lBaseObjects, SettledLiveObjects()) << where;
        }
    }
}

}  // namespace
