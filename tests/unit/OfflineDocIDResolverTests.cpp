// Offline document IDs: online to offline through the user's offline records, and back.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "RegistrySandbox.h"
#include "local/OfflineDocIDResolver.h"

using namespace registry_sandbox;

namespace {

const std::wstring kAttache = L"Software\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Attache";

// A resolver whose offline data store is a set the test fills; it remembers what it was asked.
struct CTestResolver : OfflineDocIDResolver
{
    std::set<CStdStr> m_offline;
    mutable std::vector<CStdStr> m_asked;
    bool IsDocOffline(const CStdStr& strDocID) const override
    {
        m_asked.push_back(strDocID);
        return m_offline.count(strDocID) != 0;
    }
};

class OfflineDocIDResolverTest : public ::testing::Test
{
protected:
    // Records that the offline copy at strPath (library\\user\\number) stands for dwOnline.
    void Record(const std::wstring& strPath, DWORD dwOnline)
    {
        ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, kAttache + L"\\" + strPath, L"DocNumber", dwOnline));
    }

    CRegistrySandbox m_sandbox{ClientKeys()};
    CTestResolver m_resolver;
};

}  // namespace

TEST_F(OfflineDocIDResolverTest, OnlineIDsBecomeTheUsersOfflineCopy)
{
    Record(L"LEGAL\\clerk7\\903", 4700);
    Record(L"LEGAL\\clerk7\\905", 4711);
    ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, kAttache + L"\\LEGAL\\clerk7\\1"));  // no "DocNumber"
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kAttache + L"\\LEGAL\\clerk7\\2", L"DocNumber", L"4711"));
    Record(L"LEGAL\\clerk7\\906", 0xFFFFFFFE);
    EXPECT_EQ(L"powerdocs://LEGAL_clerk7/905/2", m_resolver.ResolveToOfflineDocID(L"PowerDocs://LEGAL/4711/2"));
    EXPECT_EQ(L"powerdocs://legal_clerk7/903/PDF", m_resolver.ResolveToOfflineDocID(L"PowerDOCS://legal/4700/PDF"));
    // An ID without a version names the current version: so does its offline form.
    EXPECT_EQ(L"powerdocs://LEGAL_clerk7/905/", m_resolver.ResolveToOfflineDocID(L"PowerDocs://LEGAL/4711"));
    // Numbers compare as signed decimal text.
    EXPECT_EQ(L"powerdocs://LEGAL_clerk7/906/1", m_resolver.ResolveToOfflineDocID(L"PowerDocs://LEGAL/-2/1"));

    for (const wchar_t* pszID : {L"PowerDocs://LEGAL/4712/2", L"PowerDocs://LEGAL/04711/2", L"PowerDocs://OTHER/4711/2",
                                 L"PowerDocs://LEGAL/4294967294/1", L"LEGAL/4711/2", L"//"})
        EXPECT_EQ(pszID, m_resolver.ResolveToOfflineDocID(pszID)) << pszID;
}

TEST_F(OfflineDocIDResolverTest, OfflineIDsTurnBackIntoOnlineIDs)
{
    Record(L"legal\\clerk7\\905", 4711);
    m_resolver.m_offline = {L"powerdocs://legal/4711/2"};
    EXPECT_EQ(L"offline://powerdocs://legal/4711/2",
              m_resolver.ResolveToOnlineDocID(L"PowerDocs://LEGAL_CLERK7/905/2", L"Clerk7"));
    EXPECT_EQ(std::vector<CStdStr>(1, L"powerdocs://legal/4711/2"), m_resolver.m_asked);

    // Not listed by the data store: the ID as it came, marked offline all the same.
    m_resolver.m_offline.clear();
    EXPECT_EQ(L"offline://PowerDocs://LEGAL_Clerk7/905/2",
              m_resolver.ResolveToOnlineDocID(L"PowerDocs://LEGAL_Clerk7/905/2", L"clerk7"));

    // No record (a stored 0xFFFFFFFF included): unchanged, and the data store is not asked.
    Record(L"legal\\clerk7\\907", 0xFFFFFFFF);
    m_resolver.m_asked.clear();
    for (const wchar_t* pszID : {L"PowerDocs://LEGAL_clerk7/906/2", L"PowerDocs://LEGAL_other/905/2",
                                 L"PowerDocs://LEGAL_clerk7/907/2", L"PowerDocs://LEGAL_clerk7", L"///"})
        EXPECT_EQ(pszID, m_resolver.ResolveToOnlineDocID(pszID, L"clerk7")) << pszID;
    EXPECT_EQ(L"PowerDocs://LEGAL_clerk7/905/2", m_resolver.ResolveToOnlineDocID(L"PowerDocs://LEGAL_clerk7/905/2", L""));
    EXPECT_TRUE(m_resolver.m_asked.empty());
}

