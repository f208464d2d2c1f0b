// Reaching documents through the provider: version lookup, fetching to a private copy, check-out
// and check-in, lock state, closing, and the release of every DMS object on every path.

#include "DocumentFixture.h"

namespace {

using testing_support::ReadFileBytes;

// Whether a path lies in the provider's folder for private copies, in any case.
bool InProviderFolder(const std::wstring& strPath)
{
    const std::wstring folder = ProviderTempFolder();
    return _wcsnicmp(strPath.c_str(), folder.c_str(), folder.size()) == 0;
}

TEST_F(DocumentTest, HandsOutAByteIdenticalPrivateCopyForEverySize)
{
    for (const std::string& content : {std::string(), std::string(1, 'x'), RandomBytes(50u << 20, 7)})
    {
        LONG lNumber = AddDocument(L"Budget", content);
        HostDocument host;
        ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(lNumber, L"1"), 0, &host.doc)) << content.size();
        const std::wstring local = host.LocalFile();
        EXPECT_TRUE(InProviderFolder(local) && _wcsicmp(L".doc", local.substr(local.rfind(L'.')).c_str()) == 0);
        EXPECT_TRUE(ReadFileBytes(local) == content) << "content of " << content.size() << " bytes";
        EXPECT_EQ(static_cast<long>(content.size()), host.doc.lFileSizeLow);
        EXPECT_EQ(0, host.doc.lFlags);
        EXPECT_STREQ(std::wstring(Id(lNumber, L"1")).c_str(), host.doc.bstrDocID);
        EXPECT_STREQ(L"Budget", host.doc.bstrName);
        DeleteFileW(local.c_str());
    }
}

TEST_F(DocumentTest, FindsVersionsByLabelAndReportsWhatIsMissing)
{
    EXPECT_EQ("version two", Fetched(Id(m_lDoc, L""))) << "an empty label gives the current version";
    EXPECT_EQ("version one", Fetched(Id(m_lDoc, L"1")));

    const std::wstring doc = std::to_wstring(m_lDoc);
    const std::pair<std::wstring, std::wstring> missing[] = {
        {L"PowerDocs://NOPE/" + doc + L"/1", L"Library NOPE not found for docID, PowerDocs://NOPE/" + doc + L"/1, HR = "},
        {L"PowerDocs://LIB/999999/1", L"Profile for docnum 999999 not found for docID, PowerDocs://LIB/999999/1, HR = "},
        {L"PowerDocs://LIB/" + doc + L"/7", L"Version 7 for docnum " + doc + L" not found for docID, PowerDocs://LIB/" + doc + L"/7, HR = "},
        {L"no separators at all", L"Unable to parse the document id"},
    };
    for (const auto& m : missing)
    {
        HostDocument host;
        EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->GetDocument(_bstr_t(m.first.c_str()), 0, &host.doc)) << m.first;
        EXPECT_EQ(0u, testing_support::ThreadErrorDescription().find(L"PowerDocs Doc Provider: " + m.second)) << m.first;
        EXPECT_EQ(nullptr, host.doc.bstrDocID) << "a failed call leaves the record alone";
    }
}

TEST_F(DocumentTest, RetriesAFailedFetchOnceWithTheParentWindowCleared)
{
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::Fetch", S_OK, 11, 1, FALSE));
    EXPECT_EQ("version one", Fetched(Id(m_lDoc, L"1")));
    EXPECT_EQ(2, StandIn_CallCount(L"IVersion::Fetch"));
    EXPECT_EQ(0, StandIn_LastParentWindow());

    // Two failures: no file and no lock, but the record is filled and the call succeeds.
    StandIn_ClearFaults();
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IVersion::Fetch", S_OK, 11, 1, TRUE));
    HostDocument failed;
    ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 2, &failed.doc));
    EXPECT_EQ(L"", failed.LocalFile());
    EXPECT_STREQ(L"Q3 sales plan", failed.doc.bstrName);
    EXPECT_EQ(0, failed.doc.lFlags);
    EXPECT_EQ(0, LockState(m_lDoc));
}

TEST_F(DocumentTest, WorkingCopyFolderIsHandedOutWithoutCopyOrLock)
{
    const std::wstring folder = TempFile(L"working\\");
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_EQ(S_OK, StandIn_SetProfileValue(L"LIB", m_lDoc, L"WorkingFolder", folder.c_str()));
    // Without a file in the working folder the DMS's own cached file is handed out.
    HostDocument cached;
    ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 2, &cached.doc));
    const std::wstring cachedFile = cached.LocalFile();
    EXPECT_FALSE(InProviderFolder(cachedFile)) << "no private copy in the working-copy case";
    EXPECT_EQ("version one", ReadFileBytes(cachedFile));
    EXPECT_EQ(0, cached.doc.lFlags);
    EXPECT_EQ(0, LockState(m_lDoc)) << "no lock in the working-copy case";

    // With the file in the working folder, that file itself is handed out.
    const std::wstring working = folder + cachedFile.substr(cachedFile.rfind(L'\\') + 1);
    ASSERT_TRUE(testing_support::WriteFileBytes(working, "working copy"));
    HostDocument host;
    ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 0, &host.doc));
    EXPECT_EQ(0, _wcsicmp(working.c_str(), host.LocalFile().c_str()));
    EXPECT_EQ("working copy", ReadFileBytes(host.LocalFile()));
    DeleteFileW(working.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(DocumentTest, ChecksOutAndInAndMapsTheLockState)
{
    // Flags 8|2: no file, but the lock is taken.
    HostDocument host;
    ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 8 | 2, &host.doc));
    EXPECT_EQ(L"", host.LocalFile());
    EXPECT_EQ(1, host.doc.lFlags);
    std::wstring owner;
    EXPECT_EQ(1, LockState(m_lDoc, &owner));
    EXPECT_EQ(L"alice", owner);
    EXPECT_EQ(E_DOCUMENT_ALREADY_LOCKED, m_pProvider->LockDocument(Id(m_lDoc, L"1"), 1));
    EXPECT_EQ(S_OK, m_pProvider->LockDocument(Id(m_lDoc, L"1"), 2));
    EXPECT_EQ(0, LockState(m_lDoc, &owner));
    EXPECT_EQ(L"", owner);
    EXPECT_EQ(E_DOCUMENT_NOT_LOCKED, m_pProvider->LockDocument(Id(m_lDoc, L"1"), 2));
    EXPECT_EQ(S_OK, m_pProvider->LockDocument(Id(m_lDoc, L"1"), 1));
    EXPECT_EQ(1, LockState(m_lDoc));
    EXPECT_EQ(S_OK, m_pProvider->LockDocument(Id(m_lDoc, L"1"), 2));
    // A check-out the DMS refuses with status 0, at either step, answers its code and holds nothing.
    for (const wchar_t* pszStep : {L"IProfile::SelectForEdit", L"IVersion::LockVersionForEdit"})
    {
        ASSERT_EQ(S_OK, StandIn_InjectFaultForm(pszStep, STANDIN_FAULT_SILENT, 1, FALSE));
        EXPECT_EQ(E_PD_SAVE_FAILED, m_pProvider->LockDocument(Id(m_lDoc, L"1"), 1)) << testing_support::Narrow(pszStep);
        EXPECT_EQ(0, LockState(m_lDoc));
    }

    // Another user's lock: state 2 with that user, and every action refused.
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", m_lDoc, L"bob"));
    EXPECT_EQ(2, LockState(m_lDoc, &owner));
    EXPECT_EQ(L"bob", owner);
    EXPECT_EQ(E_DOCUMENT_LOCKED_BY_OTHER, m_pProvider->LockDocument(Id(m_lDoc, L"1"), 1));
    EXPECT_EQ(E_DOCUMENT_LOCKED_BY_OTHER, m_pProvider->LockDocument(Id(m_lDoc, L"1"), 2));
    EXPECT_EQ("<" + std::to_string(E_DOCUMENT_LOCKED_BY_OTHER) + ">", Fetched(Id(m_lDoc, L"1"), 2));
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->LockDocument(_bstr_t(L"PowerDocs://LIB/999999/1"), 1));
}

TEST_F(DocumentTest, ClosesOnBothClientGenerations)
{
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        ASSERT_EQ(S_OK, StandIn_Install(version));
        StandIn_ClearFaults();
        HostDocument host;
        ASSERT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 2, &host.doc)) << version;
        ASSERT_EQ(1, host.doc.lFlags);
        const std::wstring local = host.LocalFile();
        ASSERT_EQ(S_OK, m_pProvider->CloseDocument(&host.doc, 1)) << version;
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(local.c_str())) << "flags 1 keep the file";
        EXPECT_EQ(0, LockState(m_lDoc)) << version;
        EXPECT_EQ(version[0] == L'6' ? 0 : 1, StandIn_CallCount(L"IProfile::PutLocalFile")) << version;
        host.doc.lFlags = 0;  // given back by the first close
        ASSERT_EQ(S_OK, m_pProvider->CloseDocument(&host.doc, 0));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(local.c_str())) << "flags 0 delete the file";
    }
}

TEST_F(DocumentTest, OfflineFailureIsReportedAsOfflineSuccess)
{
    ASSERT_EQ(S_OK, StandIn_SetConnectionState(1));
    VARIANT_BOOL vbOffline = VARIANT_FALSE;
    ASSERT_EQ(S_OK, m_pProvider->IsDmsInOfflineMode(_bstr_t(L""), &vbOffline));
    EXPECT_EQ(VARIANT_TRUE, vbOffline);
    HostDocument host;
    EXPECT_EQ(S_DMS_OFFLINE, m_pProvider->GetDocument(_bstr_t(L"PowerDocs://LIB/999999/1"), 0, &host.doc));
    EXPECT_EQ(nullptr, host.doc.bstrDocID);
}

TEST_F(DocumentTest, DescribesDocumentsInTheCacheFileNameForm)
{
    _bstr_t bstr;
    ASSERT_EQ(S_OK, m_pProvider->GetDocIDDescription(Id(m_lDoc, L"2"), bstr.GetAddress()));
    EXPECT_EQ(L"LIB-#" + std::to_wstring(m_lDoc) + L"-v2-Q3_sales_plan", std::wstring(bstr));
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND,
              m_pProvider->GetDocIDDescription(_bstr_t(L"PowerDocs://LIB/999999/1"), bstr.GetAddress()));

    // A name that cannot be read is no name: no description, and a fetched record stays nameless.
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IColumn::Value", E_FAIL, 0, 1, FALSE));
    EXPECT_EQ(E_FAIL, m_pProvider->GetDocIDDescription(Id(m_lDoc, L"2"), bstr.GetAddress()));
    EXPECT_STREQ(L"", static_cast<const wchar_t*>(bstr));
    StandIn_ClearFaults();
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IColumn::Value", E_FAIL, 0, 1, FALSE));
    HostDocument host;
    EXPECT_EQ(S_OK, m_pProvider->GetDocument(Id(m_lDoc, L"2"), 0, &host.doc));
    EXPECT_TRUE(host.doc.bstrName == nullptr || *host.doc.bstrName == L'\0') << "not \"0\"";
    DeleteFileW(host.LocalFile().c_str());
}

TEST_F(DocumentTest, ResolvesCachedFilesAndOdmaIDsToDocumentIDs)
{
    // Fetches version 1 into the DMS's cache directly and answers the cached file's path.
    auto fetchIntoCache = [&] {
        IVersionPtr pVersion = DmsVersion(m_lDoc, L"1");
        DmsCheck(pVersion->Fetch(0));
        _bstr_t bstrPath;
        DmsCheck(pVersion->get_FilePath(bstrPath.GetAddress()));
        return std::wstring(bstrPath);
    };
    testing_support::ScopedRegValue option(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options", L"DM5ResolveFilenames");
    option.SetDword(1);
    auto resolve = [&](const std::wstring& path, std::wstring* pDocID) {
        HostDocument host;
        host.doc.bstrLocalFile = SysAllocString(path.c_str());
        HRESULT hr = m_pProvider->Resolve(&host.doc);
        if (pDocID)
            *pDocID = host.doc.bstrDocID ? host.doc.bstrDocID : L"";
        return hr;
    };
    const std::wstring expected = std::wstring(Id(m_lDoc, L"1"));
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        ASSERT_EQ(S_OK, StandIn_Install(version));
        const std::wstring cached = fetchIntoCache();
        std::wstring docID;
        EXPECT_EQ(S_OK, resolve(cached, &docID)) << cached;
        EXPECT_EQ(expected, docID) << cached;
        StandIn_SetConnectionState(2);
        EXPECT_EQ(S_DMS_OFFLINE, resolve(cached, &docID)) << "a success code while offline";
        StandIn_SetConnectionState(0);
    }
    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
    const std::wstring outside = L"C:\\elsewhere\\LIB-#" + std::to_wstring(m_lDoc) + L"-v1-Q3_sales_plan.doc";
    EXPECT_EQ(E_INVALIDARG, resolve(outside, nullptr)) << "a file outside the cache folders";
    EXPECT_EQ(E_INVALIDARG, resolve(L"", nullptr));
    EXPECT_EQ(E_POINTER, m_pProvider->Resolve(nullptr));
    option.SetDword(0);
    EXPECT_EQ(E_INVALIDARG, resolve(fetchIntoCache(), nullptr)) << "resolution switched off";

    // An ODMA ID fetches the version it names, as its document ID would.
    const std::wstring odma = L"::ODMA\\PCDOCS\\LIB\\" + std::to_wstring(m_lDoc) + L"\\1";
    EXPECT_EQ("version one", Fetched(_bstr_t(odma.c_str())));
}

// Missing arguments get a code, never a crash or an exception.
TEST_F(DocumentTest, BadInputGetsACodeNeverACrash)
{
    HostDocument host;
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->GetDocument(nullptr, 0, &host.doc)) << "a null BSTR is an empty ID";
    // A missing record or out value is E_POINTER, before any DMS work: no lock is taken for a
    // record that could not be handed back.
    StandIn_ClearFaults();
    EXPECT_EQ(E_POINTER, m_pProvider->CloseDocument(nullptr, 0));
    EXPECT_EQ(E_POINTER, m_pProvider->OpenDocument(nullptr));
    EXPECT_EQ(E_POINTER, m_pProvider->GetDocument(Id(m_lDoc, L"1"), 2, nullptr)) << "nowhere to put the record";
    long lState = -1;
    EXPECT_EQ(E_POINTER, m_pProvider->GetDocumentLockStatus(Id(m_lDoc, L"1"), &lState, nullptr));
    EXPECT_EQ(-1, lState);
    BSTR kUntouchedBstr = reinterpret_cast<BSTR>(static_cast<INT_PTR>(0x5A5A)), bstrOwner = kUntouchedBstr;
    EXPECT_EQ(E_POINTER, m_pProvider->GetDocumentLockStatus(Id(m_lDoc, L"1"), nullptr, &bstrOwner));
    EXPECT_EQ(kUntouchedBstr, bstrOwner);
    EXPECT_EQ(0, StandIn_TotalCalls()) << "no DMS call for a call that cannot answer";
    EXPECT_EQ(E_FAIL, m_pProvider->LockDocument(Id(m_lDoc, L"1"), 99)) << "an unknown lock action";
    EXPECT_EQ(0, LockState(m_lDoc));
}

// Whichever DMS call of fetching with a check-out and closing fails, or the local copy: nothing
// taken is held unless the record says so, and a fetch hands out what the DMS stores.
TEST_F(DocumentTest, GetAndCloseLeaveNothingTakenWhenAnyDmsCallFails)
{
    using namespace fault_harness;
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        ASSERT_EQ(S_OK, StandIn_Install(version));
        long lFlags = 0;
        RunWithFaultAtEachCall(
            [&](ICVDocumentProvider7*) { Reseed(); },
            [&](ICVDocumentProvider7* p) {
                HostDocument host;
                HRESULT hr = p->GetDocument(Id(m_lDoc, L"1"), 2, &host.doc);
                // A fetch that could not be copied answers S_OK without file or lock: a failure.
                if (hr == S_OK && host.LocalFile().empty())
                    hr = E_FAIL;
                if (hr == S_OK)
                    hr = p->CloseDocument(&host.doc, 0);
                lFlags = host.doc.lFlags;
                return hr;
            },
            [&](const FaultRun&) {
                EXPECT_TRUE(NothingHeld(m_lDoc, false, lFlags));
                EXPECT_TRUE(FetchHandsOutStored(m_lDoc, L"1"));
            },
            [&] { return CacheFile(m_lDoc, L"1"); });
    }
}

// LockDocument checks out exactly when it answers S_OK, and checks in exactly when it answers S_OK.
TEST_F(DocumentTest, LockAndUnlockAnswerWhatTheyDidWhenAnyDmsCallFails)
{
    for (const long lAction : {1L, 2L})
        fault_harness::RunWithFaultAtEachCall(
            [&](ICVDocumentProvider7*) {
                Reseed();
                StandIn_SetLock(L"LIB", m_lDoc, lAction == 2 ? L"alice" : nullptr);
            },
            [&](ICVDocumentProvider7* p) { return p->LockDocument(Id(m_lDoc, L"1"), lAction); },
            [&](const fault_harness::FaultRun& run) {
                EXPECT_TRUE(FAILED(run.hr) || run.hr == S_OK);
                const bool bHeld = (run.hr == S_OK) == (lAction == 1);
                EXPECT_TRUE(fault_harness::NothingHeld(m_lDoc, bHeld)) << "action " << lAction;
            });
}

}  // namespace
