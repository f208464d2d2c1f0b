// The small helpers of related documents: a local file's extension, the right to delete versions.
#include <gtest/gtest.h>

#include "InProcessDms.h"

#include "operations/PDDocProviderHelper.h"

namespace {

// Opens the helpers that hosts never call directly.
class CRelatedHelpers : public CPDDocProviderHelper
{
public:
    using CPDDocProviderHelper::CanDeleteVersions;
    using CPDDocProviderHelper::SetExtensionFromLocalFile;
};

TEST(SetExtensionFromLocalFile, TakesAtMostThreeLowerCaseLettersOfTheFileName)
{
    const struct { const wchar_t* path; bool bFound; const wchar_t* extension; } cases[] = {
        {L"C:\\work\\Report.DOCX", true, L"doc"}, {L"C:\\work\\notes.txt", true, L"txt"},
        {L"C:\\a.b\\archive.tar.GZ", true, L"gz"}, {L"C:\\work\\README", false, L""},
        {L"C:\\work.v2\\README", false, L""},      {L"C:\\work\\trailing.", false, L""},
    };
    for (const auto& c : cases)
    {
        CVDocNonCom doc;
        doc.SetLocalFile(c.path);
        EXPECT_EQ(c.bFound, CRelatedHelpers().SetExtensionFromLocalFile(doc)) << c.path;
        EXPECT_EQ(c.extension, doc.GetExtension()) << c.path;
    }
}

TEST_F(InProcessDmsTest, CanDeleteVersionsFollowsTheLibraryRightAndIsFalseWhenItCannotBeRead)
{
    CRelatedHelpers helper;
    ILibraryPtr pLibrary;
    ASSERT_EQ(S_OK, OpenDmsApplication()->get_CurrentLibrary(&pLibrary));
    EXPECT_TRUE(helper.CanDeleteVersions(pLibrary));
    ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteVersions", FALSE));
    EXPECT_FALSE(helper.CanDeleteVersions(pLibrary));
    ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteVersions", TRUE));
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IRight::Value", E_FAIL, 0, 1, FALSE));
    EXPECT_FALSE(helper.CanDeleteVersions(pLibrary));
    EXPECT_FALSE(helper.CanDeleteVersions(nullptr));
}

}  // namespace
