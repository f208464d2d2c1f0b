// Importing a host's file as a new DMS document: the profile and record it gets, its content, and
// a fault at every DMS call without an empty document or a lock left behind.

#include <regex>

#include "DocumentFixture.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class ImportDocumentTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        m_strFile = TempFile(L"QuendrelImport.doc");
    }

    HRESULT Import(HostDocument& host, const std::wstring& name, short nCheckOut,
                   ICVDocumentProvider7* pProvider = nullptr)
    {
        host.doc.bstrLocalFile = SysAllocString(m_strFile.c_str());
        host.doc.bstrName = SysAllocString(name.c_str());
        return Provider(pProvider)->ImportDocument(&host.doc, nCheckOut);
    }

    // The documents of "LIB" with this name: number and lock owner ("" when not locked).
    static std::vector<std::pair<LONG, std::wstring>> DocumentsNamed(const std::wstring& name)
    {
        const _bstr_t catalog(StandIn_ListCatalog(), false);
        const std::wstring listing = catalog.length() ? static_cast<const wchar_t*>(catalog) : L"";
        std::vector<std::pair<LONG, std::wstring>> found;
        const std::wregex line(L"\\n  (\\d+)  \"([^\"]*)\"  [^\\n]*?(?:  locked by (\\S+))?(?=\\n)");
        for (std::wsregex_iterator it(listing.begin(), listing.end(), line), end; it != end; ++it)
            if ((*it)[2] == name)
                found.emplace_back(std::stol((*it)[1]), (*it)[3]);
        return found;
    }

    std::wstring m_strFile;
};

TEST_F(ImportDocumentTest, MakesVersionOneWithTheFileAndTheFixedProfile)
{
    int run = 0;
    // A library without an importable form uses "LAWPROF"; otherwise the first form whose type
    // has bit 0x1 or 0x20.
    for (const wchar_t* form : {L"", L"B_MEMO"})
    {
        if (*form)
        {
            ASSERT_EQ(S_OK, StandIn_AddForm(L"LIB", L"A_SEARCH", 0x4));
            ASSERT_EQ(S_OK, StandIn_AddForm(L"LIB", L"B_MEMO", 0x20));
            ASSERT_EQ(S_OK, StandIn_AddForm(L"LIB", L"C_LEGAL", 0x1));
        }
        for (short nCheckOut : {0, 1})
        {
            const std::wstring name = L"Imported " + std::to_wstring(++run);
            const std::string content = "imported content " + std::to_string(run);
            ASSERT_TRUE(WriteFileBytes(m_strFile, content));
            HostDocument host;
            ASSERT_EQ(S_OK, Import(host, name, nCheckOut)) << run;
            const auto made = DocumentsNamed(name);
            ASSERT_EQ(1u, made.size()) << run;
            const LONG lNumber = made[0].first;
            EXPECT_EQ(L"PowerDocs://LIB/" + std::to_wstring(lNumber) + L"/1", std::wstring(host.doc.bstrDocID));
            _bstr_t madeForm;
            DmsCheck(DmsProfile(lNumber)->get_FormName(madeForm.GetAddress()));
            EXPECT_STREQ(*form ? form : L"LAWPROF", static_cast<const wchar_t*>(madeForm));
            std::wstring fields;
            for (BSTR b : {host.doc.bstrName, host.doc.bstrAppID, host.doc.bstrTypeID, host.doc.bstrAuthorID,
                           host.doc.bstrTypistID})
                fields += std::wstring(b ? b : L"?") + L"|";
            EXPECT_EQ(name + L"|MS WORD|MEMO|PAIR|PAIR|", fields);
            EXPECT_EQ(content, ServerContent(lNumber, L"1"));
            // Checked out to the importer and fetched back only when asked for; otherwise the
            // import's own check-out is given back.
            EXPECT_EQ(nCheckOut != 0, !!StandIn_IsSelectedForEdit(L"LIB", lNumber)) << run;
            EXPECT_EQ(nCheckOut ? L"alice" : L"", made[0].second) << run;
            EXPECT_EQ(nCheckOut, host.doc.lFlags) << run;
            EXPECT_EQ(nCheckOut ? content : "<none>", host.LocalFile().empty() ? "<none>" : ReadFileBytes(host.LocalFile()));
            DeleteFileW(host.LocalFile().c_str());
        }
    }
}

TEST_F(ImportDocumentTest, ImportsOnBothClientsAndAMissingFileMakesNothing)
{
    for (const std::string& content : {std::string(), std::string("imported on DM 6")})
    {
        ASSERT_TRUE(WriteFileBytes(m_strFile, content));
        ASSERT_EQ(S_OK, StandIn_Install(content.empty() ? L"5.3" : L"6.0"));
        HostDocument host;
        ASSERT_EQ(S_OK, Import(host, L"Imported", 1)) << content;
        EXPECT_EQ(content, ReadFileBytes(host.LocalFile()));
        DeleteFileW(host.LocalFile().c_str());
        ASSERT_EQ(S_OK, m_pProvider->LockDocument(host.doc.bstrDocID, 2));
    }
    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));

    DeleteFileW(m_strFile.c_str());
    StandIn_ClearFaults();
    HostDocument host;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Import(host, L"Never made", 0));
    EXPECT_EQ(0, StandIn_CallCount(L"ILibrary::NewProfile"));
    EXPECT_TRUE(DocumentsNamed(L"Never made").empty());
}

// Whichever DMS call fails, or the copy: the host's file is as it was, success means one complete
// document and a failure none, nothing stays taken unless the record says so.
TEST_F(ImportDocumentTest, NoHalfMadeDocumentWhenAnyDmsCallFails)
{
    using namespace fault_harness;
    const std::string content = "the file to import";
    for (short nCheckOut : {0, 1})
    {
        std::wstring made;
        long lFlags = 0;
        RunWithFaultAtEachCall(
            [&](ICVDocumentProvider7*) {
                Reseed();
                ASSERT_EQ(S_OK, StandIn_AddForm(L"LIB", L"MEMO_FORM", 0x1));
                ASSERT_TRUE(WriteFileBytes(m_strFile, content));
            },
            [&](ICVDocumentProvider7* p) {
                HostDocument host;
                const HRESULT hr = Import(host, L"Imported", nCheckOut, p);
                made = host.doc.bstrDocID ? host.doc.bstrDocID : L"";
                lFlags = host.doc.lFlags;
                if (host.LocalFile() != m_strFile)
                    DeleteFileW(host.LocalFile().c_str());
                return hr;
            },
            [&](const FaultRun& run) {
                SCOPED_TRACE(nCheckOut ? "checking out" : "");
                const auto docs = DocumentsNamed(L"Imported");
                EXPECT_EQ(content, ReadFileBytes(m_strFile));
                EXPECT_TRUE(ResultIsHonest(run, docs.size() == 1 && StoredContent(docs[0].first, L"1") == content));
                for (const auto& doc : docs)
                {
                    EXPECT_EQ(content, StoredContent(doc.first, L"1")) << "a document without its content";
                    EXPECT_TRUE(NothingHeld(doc.first, false, run.hr == S_OK ? lFlags : 0));
                    EXPECT_TRUE(FetchHandsOutStored(doc.first, L"1"));
                }
            },
            [&] { return CacheFile(made); });
    }
}

}  // namespace
