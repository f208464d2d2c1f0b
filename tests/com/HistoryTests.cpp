// History events through the provider: the five types as the DMS records them, refusals, a fault
// at every DMS call; and the profile display and custom commands that show nothing.

#include <algorithm>
#include <sstream>

#include "DocumentFixture.h"

namespace {

class HistoryTest : public DocumentTest
{
protected:
    HRESULT Add(long lType, long lParam1, long lParam2, const wchar_t* pszText, const wchar_t* pszSecond = L"unused")
    {
        return m_pProvider->AddHistoryEvent(Id(m_lDoc, L"2"), lType, lParam1, lParam2, _bstr_t(pszText),
                                            _bstr_t(pszSecond));
    }

    // The document's history, one line per event: description, text, numbers and user.
    std::vector<std::wstring> History()
    {
        std::wistringstream lines(testing_support::TakeText(StandIn_ListHistory(L"LIB", m_lDoc)));
        std::vector<std::wstring> entries;
        for (std::wstring line; std::getline(lines, line);)
            entries.push_back(line);
        return entries;
    }
};

TEST_F(HistoryTest, RecordsEachEventTypeAsTheDmsExpectsIt)
{
    for (long lType = 1; lType <= 5; ++lType)
        EXPECT_EQ(S_OK, Add(lType, 10 * lType, 100 + lType, L"Corvane Viewer", L"second text goes nowhere")) << lType;
    const std::vector<std::wstring> expected = {
        L"Launch document\tCorvane Viewer\t10\t101\talice",
        L"View   document\tCorvane Viewer\t20\t102\talice",
        L"Print  document\tCorvane Viewer\t30\t103\talice",
        L"Mail Copy\t\t0\t0\talice",  // a mailed copy is only named
        L"Modify document\tCorvane Viewer\t50\t105\talice",
    };
    EXPECT_EQ(expected, History());

    // Unknown types are refused before the profile is asked for anything.
    for (long lType : {0L, 6L, -1L})
    {
        StandIn_ClearFaults();
        EXPECT_EQ(E_FAIL, Add(lType, 1, 2, L"x")) << lType;
        EXPECT_EQ(0, StandIn_CallCount(L"IProfile::AddHistory")) << lType;
    }
    // An unknown document has no history to add to.
    EXPECT_EQ(E_DOCUMENT_NOT_FOUND, m_pProvider->AddHistoryEvent(_bstr_t(L"PowerDocs://LIB/999999/1"), 1, 0, 0, _bstr_t(L"a"),
                                                 _bstr_t(L"b")));
    EXPECT_EQ(expected.size(), History().size());

    EXPECT_EQ(E_NOTIMPL, m_pProvider->DisplayProfile(Id(m_lDoc, L"1"), 0));
    // Custom commands other than 0 show nothing: a modal window would block this thread.
    for (long lCommand : {1L, 2L, -1L})
        EXPECT_EQ(S_OK, ICVCustomCommand2Ptr(m_pProvider)->InvokeCustomCommand(lCommand, 0)) << lCommand;
}

// Whichever DMS call fails: a failure code, or the entry recorded whole.
TEST_F(HistoryTest, DmsFailuresLeaveNoEntryAndNoObject)
{
    fault_harness::RunWithFaultAtEachCall(
        [&](ICVDocumentProvider7*) { Reseed(); },
        [&](ICVDocumentProvider7* p) { return p->AddHistoryEvent(Id(m_lDoc, L"2"), 3, 1, 2, _bstr_t(L"app"), _bstr_t(L"unused")); },
        [&](const fault_harness::FaultRun& run) {
            const std::vector<std::wstring> entries = History();
            EXPECT_EQ(SUCCEEDED(run.hr) ? 1u : 0u, entries.size());
            for (const std::wstring& entry : entries)
                EXPECT_EQ(L"Print  document\tapp\t1\t2\talice", entry);
        });
}

}  // namespace
