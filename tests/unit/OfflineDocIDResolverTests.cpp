// Offline document IDs: online to offline through the user's offline records, and back.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "RegistrySandbox.h"
#include "local/OfflineDocIDResolver.h"

using namespace registry_sandbox;

namespace {

const std::wstring kAttache = L"Software\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Attache";
const std::wstring kMoved = L"Software\\Hummingbird\\Moved";

// A resolver whose offline data store is a set the test fills; it remembers what it was asked.
class CTestResolver : public OfflineDocIDResolver
{
public:
    explicit CTestResolver(const std::wstring& strLocation = kAttache) : m_strLocation(strLocation) {}
    CStdStr GetAttacheLocation() const override { return m_strLocation; }
    std::set<CStdStr> m_offline;
    mutable std::vector<CStdStr> m_asked;

protected:
    bool IsDocOffline(const CStdStr& strDocID) const override
    {
        m_asked.push_back(strDocID);
        return m_offline.count(strDocID) != 0;
    }

private:
    CStdStr m_strLocation;
};

class OfflineDocIDResolverTest : public ::testing::Test
{
protected:
    // Records that the user's offline number strOffline stands for the online number dwOnline.
    void Record(const std::wstring& strPath, DWORD dwOnline, const std::wstring& strRoot = kAttache)
    {
        ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, strRoot + L"\\" + strPath, L"DocNumber", dwOnline));
    }

    CRegistrySandbox m_sandbox{ClientKeys()};
    CTestResolver m_resolver;
};

}  // namespace

TEST_F(OfflineDocIDResolverTest, OnlineIDsBecomeTheUsersOfflineCopy)
{
    EXPECT_EQ(kAttache, OfflineDocIDResolver().GetAttacheLocation());
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
                                 L"PowerDocs://LEGAL/4294967294/1", L"LEGAL/4711/2",
                                 L"PowerDocs:///4711/2", L"", L"//"})
    {
        EXPECT_EQ(pszID, m_resolver.ResolveToOfflineDocID(pszID)) << pszID;
    }
}

TEST_F(OfflineDocIDResolverTest, FirstUserInRegistryOrderWins)
{
    Record(L"LEGAL\\anna\\11", 4711);
    Record(L"LEGAL\\bert\\22", 4711);
    Record(L"LEGAL\\bert\\23", 5001);
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, (kAttache + L"\\LEGAL").c_str(), 0, KEY_READ, &hKey));
    wchar_t szFirst[260] = {};
    DWORD cch = 260;
    RegEnumKeyExW(hKey, 0, szFirst, &cch, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(hKey);
    const std::wstring strFirst = szFirst;
    ASSERT_TRUE(strFirst == L"anna" || strFirst == L"bert");
    EXPECT_EQ(L"powerdocs://LEGAL_" + strFirst + (strFirst == L"anna" ? L"/11/1" : L"/22/1"),
              m_resolver.ResolveToOfflineDocID(L"PowerDocs://LEGAL/4711/1"));
    // A user without the document is passed over.
    EXPECT_EQ(L"powerdocs://LEGAL_bert/23/1", m_resolver.ResolveToOfflineDocID(L"PowerDocs://LEGAL/5001/1"));
}

TEST_F(OfflineDocIDResolverTest, OfflineIDsTurnBackIntoOnlineIDs)
{
    Record(L"legal\\clerk7\\905", 4711);
    m_resolver.m_offline = {L"powerdocs://legal/4711/2"};
    EXPECT_EQ(L"offline://powerdocs://legal/4711/2",
              m_resolver.ResolveToOnlineDocID(L"PowerDocs://LEGAL_Clerk7/905/2", L"clerk7"));
    EXPECT_EQ(L"offline://powerdocs://legal/4711/2",
              m_resolver.ResolveToOnlineDocID(L"PowerDocs://LEGAL_CLERK7/905/2", L"Clerk7"));
    EXPECT_EQ(std::vector<CStdStr>(2, L"powerdocs://legal/4711/2"), m_resolver.m_asked);

    // Not listed by the data store: the ID as it came, marked offline all the same.
    m_resolver.m_offline.clear();
    EXPECT_EQ(L"offline://PowerDocs://LEGAL_Clerk7/905/2",
              m_resolver.ResolveToOnlineDocID(L"PowerDocs://LEGAL_Clerk7/905/2", L"clerk7"));

    // No record (a stored 0xFFFFFFFF included): unchanged, and the data store is not asked.
    Record(L"legal\\clerk7\\907", 0xFFFFFFFF);
    m_resolver.m_asked.clear();
    for (const wchar_t* pszID : {L"PowerDocs://LEGAL_clerk7/906/2", L"PowerDocs://LEGAL_other/905/2",
                                 L"PowerDocs://LEGAL_clerk7/907/2", L"PowerDocs://LEGAL_clerk7", L"", L"///"})
    {
        EXPECT_EQ(pszID, m_resolver.ResolveToOnlineDocID(pszID, L"clerk7")) << pszID;
    }
    EXPECT_EQ(L"PowerDocs://LEGAL_clerk7/905/2", m_resolver.ResolveToOnlineDocID(L"PowerDocs://LEGAL_clerk7/905/2", L""));
    EXPECT_TRUE(m_resolver.m_asked.empty());
}

TEST_F(OfflineDocIDResolverTest, BothDirectionsFollowTheRecordLocation)
{
    Record(L"acct\\anna\\31", 1200);
    Record(L"acct\\bert\\77", 1300, kMoved);
    CTestResolver moved(kMoved);
    moved.m_offline = {L"powerdocs://acct/1300/1"};
    EXPECT_EQ(L"powerdocs://acct_bert/77/1", moved.ResolveToOfflineDocID(L"PowerDocs://acct/1300/1"));
    EXPECT_EQ(L"offline://powerdocs://acct/1300/1", moved.ResolveToOnlineDocID(L"powerdocs://acct_bert/77/1", L"bert"));
    EXPECT_EQ(L"PowerDocs://acct/1300/1", m_resolver.ResolveToOfflineDocID(L"PowerDocs://acct/1300/1"));
    EXPECT_EQ(L"PowerDocs://acct/1200/4", moved.ResolveToOfflineDocID(L"PowerDocs://acct/1200/4"));

    // The host's own data store answers one way or the other.
    const CStdStr strOnline = OfflineDocIDResolver().ResolveToOnlineDocID(L"powerdocs://acct_anna/31/4", L"anna");
    EXPECT_TRUE(strOnline == L"offline://powerdocs://acct/1200/4" || strOnline == L"offline://powerdocs://acct_anna/31/4")
        << strOnline.c_str();
}
