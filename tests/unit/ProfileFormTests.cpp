// The logic object against the DMS stand-in where the host cannot reach it: the DMS's profile
// forms that make a new profile, and the version list added to what the caller holds.
#include <gtest/gtest.h>

#include "InProcessDms.h"

#include "DmsStandInControl.h"
#include "TestSupport.h"
#include "dms/AppWrapper.h"
#include "dms/DmsValues.h"
#include "operations/PDDocProviderHelper.h"

namespace {

// The logic object with the values a save decision leaves behind.
class CSavingHelper : public CPDDocProviderHelper
{
public:
    CSavingHelper()
    {
        m_strAppID = L"MS WORD";
        m_strExtension = L"docx";
    }
};

class ProfileFormTest : public InProcessDmsTest
{
protected:
    void SetUp() override
    {
        InProcessDmsTest::SetUp();
        m_doc.SetName(L"Letter to the board");
    }
    void TearDown() override
    {
        InProcessDmsTest::TearDown();
    }

    static ILibraryPtr Library()
    {
        ILibrariesPtr pLibraries;
        DmsCheck(OpenDmsApplication()->get_Libraries(&pLibraries));
        ILibraryPtr pLibrary;
        DmsCheck(pLibraries->get_Item(_variant_t(L"LIB"), &pLibrary));
        return pLibrary;
    }

    static std::wstring FormRecord()
    {
        BSTR bstr = StandIn_FormRecord();
        std::wstring s = bstr ? bstr : L"";
        SysFreeString(bstr);
        return s;
    }

    static std::wstring Column(IProfilePtr pProfile, const wchar_t* pszName)
    {
        return DmsText(static_cast<_bstr_t>(ReadColumn(ColumnsOf(pProfile), pszName)));
    }

    CVDocNonCom m_doc;
};

TEST_F(ProfileFormTest, DM5FormGetsItsFourFieldsInOrder)
{
    CSavingHelper helper;
    IProjectPtr pProject;
    ASSERT_EQ(S_OK, StandIn_ScriptForms(L"ok"));
    IProfilePtr pProfile = helper.GetProfileUsingProfileSelectForm(Library(), pProject, m_doc);
    ASSERT_TRUE(pProfile);
    EXPECT_EQ(L"dm5-field APPLICATION=MS WORD\ndm5-field APP_ID=MS WORD\n"
              L"dm5-field DOCNAME=Letter to the board\ndm5-field TYPE_ID=DEFAULT\n",
              FormRecord());
    EXPECT_EQ(L"Letter to the board", Column(pProfile, L"DOCNAME"));
    EXPECT_FALSE(pProject);

    // Cancelled, or a DMS failure on the way: no profile, and nothing raised.
    ASSERT_EQ(S_OK, StandIn_ScriptForms(L"cancel"));
    EXPECT_FALSE(helper.GetProfileUsingProfileSelectForm(Library(), pProject, m_doc));
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IDM5ProfileForm::SetField", E_FAIL, 0, 3, FALSE));
    ASSERT_EQ(S_OK, StandIn_ScriptForms(L"ok"));
    EXPECT_FALSE(helper.GetProfileUsingProfileSelectForm(Library(), pProject, m_doc));
}

TEST_F(ProfileFormTest, DM6FormFilesTheNewProfileInTheChosenFolder)
{
    ASSERT_EQ(S_OK, StandIn_Install(L"6.0"));
    CSavingHelper helper;
    IProjectPtr pProject;
    ASSERT_EQ(S_OK, StandIn_ScriptForms(L"ok Projects\nok"));
    IProfilePtr pProfile = helper.GetProfileUsingProfileSelectForm(Library(), pProject, m_doc);
    ASSERT_TRUE(pProfile);
    ASSERT_TRUE(pProject);
    _bstr_t bstrFolder;
    DmsCheck(pProject->get_Name(bstrFolder.GetAddress()));
    EXPECT_STREQ(L"Projects", static_cast<const wchar_t*>(bstrFolder));
    IFolderLinkPtr pLink;
    DmsCheck(pProfile->get_FolderLink(&pLink));
    long lLinks = 0;
    DmsCheck(pLink->get_Count(&lLinks));
    EXPECT_EQ(1, lLinks);
    long lNumber = 0;
    DmsCheck(pProfile->get_DocNumber(&lNumber));
    EXPECT_NE(0, lNumber) << "stored by the form's final step";
    EXPECT_EQ(L"MS WORD", Column(pProfile, L"APP_ID"));
    EXPECT_EQ(L"Letter to the board", Column(pProfile, L"DOCNAME"));

    // No folder chosen: a profile without a link; a refused final step: no profile.
    pProject = nullptr;
    ASSERT_EQ(S_OK, StandIn_ScriptForms(L"ok\nok"));
    pProfile = helper.GetProfileUsingProfileSelectForm(Library(), pProject, m_doc);
    ASSERT_TRUE(pProfile);
    EXPECT_FALSE(pProject);
    ASSERT_EQ(S_OK, StandIn_ScriptForms(L"ok\ncancel"));
    EXPECT_FALSE(helper.GetProfileUsingProfileSelectForm(Library(), pProject, m_doc));

    // SetProfileColumns raises what the DMS raised, and a missing profile.
    EXPECT_THROW(helper.SetProfileColumns(nullptr, m_doc), _com_error);
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IColumns::Commit", E_ACCESSDENIED, 0, 1, FALSE));
    try
    {
        helper.SetProfileColumns(pProfile, m_doc);
        ADD_FAILURE() << "a failed commit was swallowed";
    }
    catch (const _com_error& e)
    {
        EXPECT_EQ(E_ACCESSDENIED, e.Error());
    }
}

TEST_F(ProfileFormTest, VersionListIsAddedToWhatTheCallerHolds)
{
    LONG lNumber = 0;
    ASSERT_EQ(S_OK, StandIn_AddDocument(L"LIB", L"Plan", L"MS WORD", "1", 1, &lNumber));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", lNumber, L"2", "2", 1, L""));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", lNumber, L"3", "3", 1, L""));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", lNumber, L"A", "a", 1, L""));
    CPDDocProviderHelper helper;
    std::vector<CVDocumentVersionNoCom> versions(2);
    long lCount = -1;
    ASSERT_EQ(S_OK, helper.GetVersions(L"PowerDocs://LIB/" + std::to_wstring(lNumber) + L"/1", &lCount, versions));
    EXPECT_EQ(5, lCount);
    ASSERT_EQ(5u, versions.size());
    EXPECT_EQ(L"", versions[1].GetVersionLabel()) << "what the caller held stays in front";
    EXPECT_EQ(L"3", versions[4].GetVersionLabel());
}

}  // namespace

TEST_F(ProfileFormTest, AppIDOfAnExtensionComesFromTheLibraryWithTheViewerAndDefaultRules)
{
    CPDDocProviderHelper helper;
    // Listed before the viewer's own entry, and still overruled for the viewer formats.
    ASSERT_EQ(S_OK, StandIn_AddApplication(L"AAA VIEWER", L"RDF"));
    ILibraryPtr pLibrary = Library();
    EXPECT_EQ(std::wstring(L"SHEET"), helper.GetAppIDForExtension(pLibrary, L"XLS"));
    EXPECT_EQ(std::wstring(L"PDFDOC"), helper.GetAppIDForExtension(pLibrary, L"pdf"));
    EXPECT_EQ(std::wstring(L"VT Vadedovorido"), helper.GetAppIDForExtension(pLibrary, L"rdf"));
    EXPECT_EQ(std::wstring(L"VT Vadedovorido"), helper.GetAppIDForExtension(pLibrary, L"Xdf"));
    EXPECT_EQ(std::wstring(L"MS WORD"), helper.GetAppIDForExtension(pLibrary, L"zzz"));

    // DMS failures reach the caller.
    EXPECT_THROW(helper.GetAppIDForExtension(nullptr, L"doc"), _com_error);
    ASSERT_EQ(S_OK, StandIn_InjectFault(L"IApplications::Item", E_FAIL, 0, 2, FALSE));
    EXPECT_THROW(helper.GetAppIDForExtension(pLibrary, L"txt"), _com_error);
}
