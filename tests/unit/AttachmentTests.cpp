// Attachment labels and the forced replacement of a version's content, driven on the logic
// object against the DMS stand-in in this process. Its DMS faults are tested through the DLL, by
// relating a file onto an existing attachment.
#include <gtest/gtest.h>

#include "InProcessDms.h"

#include <string>

#include "DmsStandInControl.h"
#include "TestSupport.h"
#include "operations/PDDocProviderHelper.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

const wchar_t kOptionsKey[] = L"SOFTWARE\\Corvane\\Options";

TEST(CreateAttachmentLabelFromExtension, ShortLabelsUnlessExtendedLabelsAreOn)
{
    testing_support::ScopedRegValue option(HKEY_CURRENT_USER, kOptionsKey, L"UseExtendedAttachmentLabels");
    option.Delete();
    {
        CPDDocProviderHelper helper;
        EXPECT_EQ(L"dcx", helper.CreateAttachmentLabelFromExtension(L"docx"));
        EXPECT_EQ(L"xsx", helper.CreateAttachmentLabelFromExtension(L"xlsx"));
        EXPECT_EQ(L"ptx", helper.CreateAttachmentLabelFromExtension(L"potx"));
        EXPECT_EQ(L"pdf", helper.CreateAttachmentLabelFromExtension(L"pdf"));
        EXPECT_EQ(L"", helper.CreateAttachmentLabelFromExtension(L""));
    }
    option.SetDword(1);
    CPDDocProviderHelper extended;
    EXPECT_EQ(L"docx", extended.CreateAttachmentLabelFromExtension(L"docx"));
    EXPECT_EQ(L"pdf", extended.CreateAttachmentLabelFromExtension(L"pdf"));
}

class ForceReplaceTest : public InProcessDmsTest
{
protected:
    void SetUp() override
    {
        InProcessDmsTest::SetUp();
        ASSERT_EQ(S_OK, StandIn_AddUser(L"alice"));
        ASSERT_EQ(S_OK, StandIn_SetProcessUser(L"alice"));
        ASSERT_EQ(S_OK, StandIn_AddDocument(L"LIB", L"Terms", L"MS WORD", "old terms", 9, &m_lDoc));
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, szTemp);
        m_strFile = std::wstring(szTemp) + L"QuendrelReplace-" + std::to_wstring(GetCurrentProcessId()) + L".doc";
        m_doc.SetLocalFile(m_strFile);
    }
    void TearDown() override
    {
        DeleteFileW(m_strFile.c_str());
        InProcessDmsTest::TearDown();
    }

    // Runs the replacement of version 1 on a freshly made logic object, as RelateDocument does.
    HRESULT Replace()
    {
        CPDDocProviderHelper helper;
        IVersionPtr pVersion = helper.GetVersion(L"PowerDocs://LIB/" + std::to_wstring(m_lDoc) + L"/1");
        if (!pVersion)
            return E_UNEXPECTED;
        pVersion->Fetch(0);  // the version's place in the local store, as after a fetch
        return helper.ForceReplaceFileInProfileWithNewFile(pVersion, m_doc);
    }

    std::string Stored(bool bDM6)
    {
        wchar_t sz[MAX_PATH] = {};
        const HRESULT hr = bDM6 ? StandIn_CacheFilePath(L"LIB", m_lDoc, L"1", sz, MAX_PATH)
                                : StandIn_ServerFilePath(L"LIB", m_lDoc, L"1", sz, MAX_PATH);
        EXPECT_EQ(S_OK, hr);
        return ReadFileBytes(sz);
    }

    LONG m_lDoc = 0;
    std::wstring m_strFile;
    CVDocNonCom m_doc;
};

TEST_F(ForceReplaceTest, ReplacesTheContentAndUploadsOnlyOnDm5)
{
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        const bool bDM6 = version[0] == L'6';
        ASSERT_EQ(S_OK, StandIn_Install(version));
        const std::string content = bDM6 ? "replaced on DM 6" : "replaced on DM 5";
        ASSERT_TRUE(WriteFileBytes(m_strFile, content));
        StandIn_ClearFaults();
        EXPECT_EQ(S_OK, Replace()) << version;
        EXPECT_EQ(content, Stored(bDM6)) << version;
        EXPECT_EQ(bDM6 ? 0 : 1, StandIn_CallCount(L"IVersion::UploadFile")) << version;
    }
    // A copy that cannot be made uploads nothing and answers the Windows error.
    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
    DeleteFileW(m_strFile.c_str());
    StandIn_ClearFaults();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Replace());
    EXPECT_EQ(0, StandIn_CallCount(L"IVersion::UploadFile"));
    EXPECT_EQ("replaced on DM 5", Stored(false));
}

}  // namespace
