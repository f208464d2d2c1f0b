// The small helpers of related documents on the logic object: the extension taken from a
// local file's name, and the library right to delete versions read from the DMS stand-in.
#include <gtest/gtest.h>

#include <string>

#include "DmsStandInControl.h"
#include "dms/AppWrapper.h"
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
    CRelatedHelpers helper;
    const struct
    {
        const wchar_t* path;
        bool bFound;
        const wchar_t* extension;
    } cases[] = {
        {L"C:\\work\\Report.DOCX", true, L"doc"}, {L"C:\\work\\notes.txt", true, L"txt"},
        {L"C:\\a.b\\archive.tar.GZ", true, L"gz"}, {L"C:\\work\\README", false, L""},
        {L"C:\\work.v2\\README", false, L""},      {L"C:\\work\\trailing.", false, L""},
    };
    for (const auto& c : cases)
    {
        CVDocNonCom doc;
        doc.SetLocalFile(c.path);
        EXPECT_EQ(c.bFound, helper.SetExtensionFromLocalFile(doc)) << c.path;
        EXPECT_EQ(c.extension, doc.GetExtension()) << c.path;
    }
}

TEST(CanDeleteVersions, FollowsTheLibraryRightAndIsFalseWhenItCannotBeRead)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(S_OK, StandIn_Install(L"5.3"));
    ASSERT_EQ(S_OK, StandIn_Reset());
    ASSERT_EQ(S_OK, StandIn_AddLibrary(L"LIB"));
    {
        CRelatedHelpers helper;
        IApplicationPtr pApp;
        ASSERT_EQ(S_OK, CreateDmsObject(CLSID_Application, __uuidof(IApplication), reinterpret_cast<void**>(&pApp)));
        ILibraryPtr pLibrary;
        ASSERT_EQ(S_OK, pApp->get_CurrentLibrary(&pLibrary));
        EXPECT_TRUE(helper.CanDeleteVersions(pLibrary));
        ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteVersions", FALSE));
        EXPECT_FALSE(helper.CanDeleteVersions(pLibrary));
        ASSERT_EQ(S_OK, StandIn_SetLibraryRight(L"LIB", L"User.DeleteVersions", TRUE));
        ASSERT_EQ(S_OK, StandIn_InjectFault(L"IRight::Value", E_FAIL, 0, 1, FALSE));
        EXPECT_FALSE(helper.CanDeleteVersions(pLibrary));
        StandIn_ClearFaults();
        EXPECT_FALSE(helper.CanDeleteVersions(nullptr));
    }
    CoUninitialize();
}

}  // namespace
