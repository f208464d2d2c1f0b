// Attachment labels and the forced replacement of a version's content, on the logic object
// against the DMS stand-in in this process.
#include <gtest/gtest.h>

#include "InProcessDms.h"

#include "operations/PDDocProviderHelper.h"
#include "local/TempFiles.h"

namespace {

TEST(CreateAttachmentLabelFromExtension, ShortLabelsUnlessExtendedLabelsAreOn)
{
    testing_support::ScopedRegValue option(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options",
                                           L"UseExtendedAttachmentLabels");
    const std::pair<const wchar_t*, const wchar_t*> labels[] = {
        {L"docx", L"dcx"}, {L"xlsx", L"xsx"}, {L"potx", L"ptx"}, {L"pdf", L"pdf"}, {L"", L""}};
    for (DWORD dwExtended : {0, 1})
    {
        option.SetDword(dwExtended);
        CPDDocProviderHelper helper;  // reads the option when it is made
        for (const auto& label : labels)
            EXPECT_EQ(dwExtended ? label.first : label.second, helper.CreateAttachmentLabelFromExtension(label.first))
                << dwExtended << " " << label.first;
    }
    option.Delete();
    EXPECT_EQ(L"dcx", CPDDocProviderHelper().CreateAttachmentLabelFromExtension(L"docx"));
}

TEST_F(InProcessDmsTest, ForceReplaceWritesTheContentAndUploadsOnlyOnDm5)
{
    ASSERT_EQ(S_OK, StandIn_AddUser(L"alice"));
    ASSERT_EQ(S_OK, StandIn_SetProcessUser(L"alice"));
    LONG lDoc = 0;
    const std::wstring strId = AddDocument(L"Terms", "old terms", L"1", &lDoc);
    CVDocNonCom doc;
    doc.SetLocalFile(GetTempFolder() + L"replace.doc");
    for (const wchar_t* version : {L"5.3", L"6.0"})
    {
        const bool bDM6 = version[0] == L'6';
        ASSERT_EQ(S_OK, StandIn_Install(version));
        const std::string content = bDM6 ? "replaced on DM 6" : "replaced on DM 5";
        ASSERT_TRUE(testing_support::WriteFileBytes(doc.GetLocalFile(), content));
        StandIn_ClearFaults();
        // As RelateDocument does: a fresh logic object, the version's place in the local store
        // known from a fetch.
        CPDDocProviderHelper helper;
        IVersionPtr pVersion = helper.GetVersion(strId);
        ASSERT_TRUE(pVersion);
        pVersion->Fetch(0);
        EXPECT_EQ(S_OK, helper.ForceReplaceFileInProfileWithNewFile(pVersion, doc)) << version;
        wchar_t szStored[MAX_PATH] = {};
        ASSERT_EQ(S_OK, bDM6 ? StandIn_CacheFilePath(L"LIB", lDoc, L"1", szStored, MAX_PATH)
                             : StandIn_ServerFilePath(L"LIB", lDoc, L"1", szStored, MAX_PATH));
        EXPECT_EQ(content, testing_support::ReadFileBytes(szStored)) << version;
        EXPECT_EQ(bDM6 ? 0 : 1, StandIn_CallCount(L"IVersion::UploadFile")) << version;
    }
    DeleteFileW(doc.GetLocalFile().c_str());
}

}  // namespace
