// The DMS's profile forms that make a new profile, and the application of an extension, on the
// logic object against the DMS stand-in.
#include <gtest/gtest.h>

#include "InProcessDms.h"

#include "dms/DmsValues.h"
#include "operations/PDDocProviderHelper.h"

namespace {

// The logic object with the values a save decision leaves behind.
struct CSavingHelper : CPDDocProviderHelper
{
    CSavingHelper()
    {
        m_strAppID = L"MS WORD";
        m_strExtension = L"docx";
    }
};

class ProfileFormTest : public InProcessDmsTest
{
protected:
    static ILibraryPtr Library()
    {
        ILibrariesPtr pLibraries;
        DmsCheck(OpenDmsApplication()->get_Libraries(&pLibraries));
        ILibraryPtr pLibrary;
        DmsCheck(pLibraries->get_Item(_variant_t(L"LIB"), &pLibrary));
        return pLibrary;
    }
    static std::wstring Column(IProfilePtr pProfile, const wchar_t* pszName)
    {
        return DmsText(static_cast<_bstr_t>(ReadColumn(ColumnsOf(pProfile), pszName)));
    }
    // The form's answer to the script.
    IProfilePtr Form(CSavingHelper& helper, const wchar_t* pszScript, IProjectPtr& pProject)
    {
        EXPECT_EQ(S_OK, StandIn_ScriptForms(pszScript));
        CVDocNonCom doc;
        doc.SetName(L"Letter to the board");
        return helper.GetProfileUsingProfileSelectForm(Library(), pProject, doc);
    }
};

TEST_F(ProfileFormTest, DM5FormGetsItsFourFieldsInOrder)
{
    CSavingHelper helper;
    IProjectPtr pProject;
    IProfilePtr pProfile = Form(helper, L"ok", pProject);
    ASSERT_TRUE(pProfile);
    EXPECT_EQ(L"dm5-field APPLICATION=MS WORD\ndm5-field APP_ID=MS WORD\n"
              L"dm5-field DOCNAME=Letter to the board\ndm5-field TYPE_ID=DEFAULT\n",
              testing_support::TakeText(StandIn_FormRecord()));
    EXPECT_EQ(L"Letter to the board", Column(pProfile, L"DOCNAME"));
    EXPECT_FALSE(pProject);
    EXPECT_FALSE(Form(helper, L"cancel", pProject)) << "cancelled: no profile, and nothing raised";
}

TEST_F(ProfileFormTest, AppIDOfAnExtensionComesFromTheLibraryWithTheViewerAndDefaultRules)
{
    // Listed before the viewer's own entry, and still overruled for the viewer formats.
    ASSERT_EQ(S_OK, StandIn_AddApplication(L"AAA VIEWER", L"RDF"));
    ILibraryPtr pLibrary = Library();
    CPDDocProviderHelper helper;
    const std::pair<const wchar_t*, const wchar_t*> table[] = {
        {L"XLS", L"SHEET"}, {L"pdf", L"PDFDOC"}, {L"rdf", L"VT Vadedovorido"}, {L"Xdf", L"VT Vadedovorido"},
        {L"zzz", L"MS WORD"}};
    for (const auto& row : table)
        EXPECT_EQ(std::wstring(row.second), helper.GetAppIDForExtension(pLibrary, row.first)) << row.first;
}

}  // namespace
