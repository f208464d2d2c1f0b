// Importing a host's file as a new DMS document through the provider: the profile it gets, the
// record it answers, content that comes back exactly, and a fault at every DMS call of the
// import without an empty document or a lock left behind.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

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
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, szTemp);
        m_strFile = std::wstring(szTemp) + L"QuendrelImport-" + std::to_wstring(GetCurrentProcessId()) + L".doc";
    }
    void TearDown() override
    {
        DeleteFileW(m_strFile.c_str());
        DocumentTest::TearDown();
    }

    HRESULT Import(HostDocument& host, const std::wstring& name, short nCheckOut)
    {
        return Import(m_pProvider, host, name, nCheckOut);
    }
    HRESULT Import(ICVDocumentProvider7* pProvider, HostDocument& host, const std::wstring& name, short nCheckOut)
    {
        host.doc.bstrLocalFile = SysAllocString(m_strFile.c_str());
        host.doc.bstrName = SysAllocString(name.c_str());
        return pProvider->ImportDocument(&host.doc, nCheckOut);
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

    // The form a stored profile was made from, as the DMS reports it.
    static std::wstring FormName(LONG lNumber)
    {
        IApplicationPtr pApp;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Application, nullptr, CLSCTX_ALL, IID_IApplication,
                                         reinterpret_cast<void**>(&pApp)));
        ILibraryPtr pLibrary;
        IProfilePtr pProfile;
        _bstr_t bstr;
        if (FAILED(pApp->get_CurrentLibrary(&pLibrary)) || FAILED(pLibrary->GetProfile(_variant_t(lNumber), &pProfile)) ||
            FAILED(pProfile->get_FormName(bstr.GetAddress())))
            return L"(none)";
        const std::wstring form = bstr.length() ? static_cast<const wchar_t*>(bstr) : L"";
        return form;
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
            EXPECT_EQ(*form ? form : L"LAWPROF", FormName(lNumber));
            EXPECT_EQ(name, std::wstring(host.doc.bstrName));
            EXPECT_STREQ(L"MS WORD", host.doc.bstrAppID);
            EXPECT_STREQ(L"MEMO", host.doc.bstrTypeID);
            EXPECT_STREQ(L"PAIR", host.doc.bstrAuthorID);
            EXPECT_STREQ(L"PAIR", host.doc.bstrTypistID);
            EXPECT_EQ(content, ServerContent(lNumber, L"1"));
            EXPECT_EQ(content, ReadFileBytes(m_strFile)) << "the host's file is only read";
            EXPECT_EQ(nCheckOut != 0, !!StandIn_IsSelectedForEdit(L"LIB", lNumber)) << run;
            if (nCheckOut)
            {
                EXPECT_EQ(content, ReadFileBytes(host.LocalFile())) << "fetched back";
                EXPECT_EQ(1, host.doc.lFlags);
                EXPECT_EQ(L"alice", made[0].second) << "checked out to the importer";
                DeleteFileW(host.LocalFile().c_str());
            }
            else
            {
                EXPECT_EQ(L"", host.LocalFile());
                EXPECT_EQ(0, host.doc.lFlags);
                EXPECT_EQ(L"", made[0].second) << "the import's own check-out is given back";
            }
        }
    }
}

TEST_F(ImportDocumentTest, ContentOfEverySizeComesBackOnBothClientsAndAMissingFileMakesNothing)
{
    std::string big(50u << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7919 >> 3);
    for (const size_t size : {size_t(0), size_t(1), size_t(1) << 20, big.size()})
    {
        const std::string content = big.substr(0, size);
        ASSERT_TRUE(WriteFileBytes(m_strFile, content));
        for (const wchar_t* version : {L"5.3", L"6.0"})
        {
            ASSERT_EQ(S_OK, StandIn_Install(version));
            HostDocument host;
            ASSERT_EQ(S_OK, Import(host, L"Sized", 1)) << size << " bytes on " << version[0];
            EXPECT_TRUE(ReadFileBytes(host.LocalFile()) == content) << size << " bytes on " << version[0];
            DeleteFileW(host.LocalFile().c_str());
            ASSERT_EQ(S_OK, m_pProvider->LockDocument(host.doc.bstrDocID, 2));
        }
    }
    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));

    DeleteFileW(m_strFile.c_str());
    StandIn_ClearFaults();
    HostDocument host;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Import(host, L"Never made", 0));
    EXPECT_EQ(0, StandIn_CallCount(L"ILibrary::NewProfile"));
    EXPECT_TRUE(DocumentsNamed(L"Never made").empty());
}

// Whichever DMS call fails, or the copy into the new version cannot be written: the host's file is
// as it was, success means one complete document and a failure leaves none, nothing stays taken
// unless the record says the host holds it, and a fetch hands out what is stored.
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
                const HRESULT hr = Import(p, host, L"Imported", nCheckOut);
                made = host.doc.bstrDocID ? host.doc.bstrDocID : L"";
                lFlags = host.doc.lFlags;
                if (host.LocalFile() != m_strFile)
                    DeleteFileW(host.LocalFile().c_str());
                return hr;
            },
            [&](const FaultRun& run) {
                SCOPED_TRACE(run.Where() + (nCheckOut ? ", checking out" : ""));
                const auto docs = DocumentsNamed(L"Imported");
                EXPECT_TRUE(FileHolds(m_strFile, content));
                EXPECT_TRUE(ResultIsHonest(run, docs.size() == 1 && StoredContent(docs[0].first, L"1") == content));
                for (const auto& doc : docs)
                {
                    EXPECT_EQ(content, StoredContent(doc.first, L"1")) << "a document without its content";
                    EXPECT_TRUE(NothingHeld(doc.first, false, run.hr == S_OK ? lFlags : 0));
                    EXPECT_TRUE(FetchHandsOutStored(doc.first, L"1"));
                }
            },
            [&] {
                LONG lMade = 0;
                std::wstring label;
                return SplitId(made, &lMade, &label) ? CacheFile(lMade, L"1") : std::wstring();
            });
    }
}

}  // namespace
