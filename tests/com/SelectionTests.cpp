// Choosing documents and versions with the stand-in's scripted forms: the selection form, the
// version chooser, SelectDocumentEx's fall-backs, offline IDs, and a fault at every DMS call.

#include "DocumentFixture.h"

namespace {

using testing_support::DocId;
using testing_support::TakeText;

// The document fixture (m_lDoc has versions 1 and 2) with a document of a single version more.
class SelectionTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        m_lSingle = AddDocument(L"Minutes", "1");
        StandIn_ClearFaults();
    }
    void TearDown() override
    {
        StandIn_ScriptForms(nullptr);
        DocumentTest::TearDown();
    }

    static void Script(const std::wstring& lines) { ASSERT_EQ(S_OK, StandIn_ScriptForms(lines.c_str())); }
    static std::wstring FormRecord() { return TakeText(StandIn_FormRecord()); }

    // SelectDocument and SelectDocumentEx as a host calls them: *pOut receives the chosen ID.
    HRESULT Select(long lParent, std::wstring* pOut, ICVDocumentProvider7* pProvider = nullptr)
    {
        return Chosen(Provider(pProvider)->SelectDocument(lParent, _bstr_t(L""), &m_bstrOut), pOut);
    }
    HRESULT SelectEx(long lParent, const std::wstring& id, std::wstring* pOut, ICVDocumentProvider7* pProvider = nullptr)
    {
        return Chosen(Provider(pProvider)->SelectDocumentEx(lParent, _bstr_t(L""), _bstr_t(id.c_str()), &m_bstrOut), pOut);
    }
    HRESULT Chosen(HRESULT hr, std::wstring* pOut)
    {
        *pOut = m_bstrOut ? TakeText(m_bstrOut) : L"(null)";
        m_bstrOut = nullptr;
        return hr;
    }

    BSTR m_bstrOut = nullptr;
    LONG m_lSingle = 0;
};

TEST_F(SelectionTest, SelectionFormChoosesADocumentAndItsVersion)
{
    std::wstring out;
    // One version: taken without the chooser; the form is shown over the host's window, which
    // is reset afterwards.
    Script(L"select " + DocId(m_lSingle, L""));
    EXPECT_EQ(S_OK, Select(0x1234, &out));
    EXPECT_EQ(DocId(m_lSingle, L"1"), out);
    EXPECT_EQ(L"select 4660\n", FormRecord());
    EXPECT_EQ(0, StandIn_LastParentWindow());

    // Two versions: the chooser, under its title, picks one that is not the latest.
    StandIn_ClearFaults();
    Script(L"select " + DocId(m_lDoc, L"") + L"\nversion 1");
    EXPECT_EQ(S_OK, Select(7, &out));
    EXPECT_EQ(DocId(m_lDoc, L"1"), out);
    EXPECT_EQ(L"select 7\nchoose-version Choose version\n", FormRecord());

    // Cancelled form, or a chooser that gives no version: S_FALSE and an empty ID.
    for (const std::wstring& script : {std::wstring(L"cancel"), L"select " + DocId(m_lDoc, L"") + L"\ncancel"})
    {
        Script(script);
        EXPECT_EQ(S_FALSE, Select(7, &out));
        EXPECT_EQ(L"", out);
    }
    EXPECT_EQ(0, StandIn_LastParentWindow());

    // Any other status of the form is the answer, sign-extended.
    Script(L"status 7");
    EXPECT_EQ(static_cast<HRESULT>(7), Select(7, &out));
    Script(L"status -2");
    EXPECT_EQ(static_cast<HRESULT>(0xFFFFFFFE), Select(7, &out));
    EXPECT_EQ(L"", out);
    EXPECT_EQ(E_POINTER, m_pProvider->SelectDocument(7, _bstr_t(L""), nullptr));
}

TEST_F(SelectionTest, SelectDocumentExChoosesAmongTheGivenDocumentsVersions)
{
    std::wstring out;
    Script(L"version 1");
    EXPECT_EQ(S_OK, SelectEx(9, DocId(m_lDoc, L"2"), &out));
    EXPECT_EQ(DocId(m_lDoc, L"1"), out);
    EXPECT_EQ(L"choose-version Choose version\n", FormRecord()) << "no selection form";
    EXPECT_EQ(9, StandIn_LastParentWindow()) << "the parent window is not reset here";

    // Nothing to choose among: an unknown ID, a single version, a chooser that gives none.
    const std::pair<std::wstring, std::wstring> fallbacks[] = {
        {L"PowerDocs://LIB/999999/1", L""}, {DocId(m_lSingle, L"1"), L""}, {DocId(m_lDoc, L"1"), L"cancel\n"}};
    for (const auto& c : fallbacks)
    {
        StandIn_ClearFaults();
        Script(c.second + L"select " + DocId(m_lSingle, L""));
        EXPECT_EQ(S_OK, SelectEx(9, c.first, &out)) << c.first;
        EXPECT_EQ(DocId(m_lSingle, L"1"), out) << c.first;
        EXPECT_NE(std::wstring::npos, FormRecord().find(L"select 9\n")) << c.first;
        EXPECT_EQ(0, StandIn_LastParentWindow()) << "the selection form resets it";
    }
}

TEST_F(SelectionTest, OfflineIDsAreTranslatedBySelectDocumentOnly)
{
    ASSERT_EQ(S_OK, StandIn_AddLibrary(L"LIB_alice"));
    LONG lOffline = 0;
    ASSERT_EQ(S_OK, StandIn_AddDocument(L"LIB_alice", L"Minutes", L"MS WORD", "1", 1, &lOffline));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB_alice", lOffline, L"2", "2", 1, L""));
    testing_support::ScopedRegValue record(
        HKEY_CURRENT_USER,
        L"Software\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Attache\\lib\\alice\\" + std::to_wstring(lOffline),
        L"DocNumber");
    record.SetDword(42);
    ASSERT_EQ(S_OK, StandIn_SetConnectionState(1));
    std::wstring out;
    Script(L"select " + DocId(lOffline, L"", L"LIB_alice") + L"\nversion 2");
    EXPECT_EQ(S_OK, Select(1, &out));
    EXPECT_EQ(L"offline://" + DocId(lOffline, L"2", L"LIB_alice"), out);
    Script(L"version 2");
    EXPECT_EQ(S_OK, SelectEx(1, DocId(lOffline, L"1", L"LIB_alice"), &out));
    EXPECT_EQ(DocId(lOffline, L"2", L"LIB_alice"), out);
}

// A failure at any DMS call: a code, never S_OK with a wrong ID, and no DMS object left alive.
TEST_F(SelectionTest, SurvivesAFailureAtEveryDmsCall)
{
    for (const bool bEx : {false, true})
    {
        std::wstring chosen;
        fault_harness::RunWithFaultAtEachCall(
            [&](ICVDocumentProvider7*) { Script(bEx ? L"version 1" : L"select " + DocId(m_lDoc, L"") + L"\nversion 1"); },
            [&](ICVDocumentProvider7* p) { return bEx ? SelectEx(3, DocId(m_lDoc, L"2"), &chosen, p) : Select(3, &chosen, p); },
            [&](const fault_harness::FaultRun& run) {
                EXPECT_TRUE(run.hr != S_OK || chosen == DocId(m_lDoc, L"1")) << chosen;
            });
    }
}

}  // namespace
