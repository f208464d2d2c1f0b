// Document IDs: taking them apart, ODMA IDs, the forms each producer writes.
#include <gtest/gtest.h>

#include <climits>

#include "RegistrySandbox.h"
#include "local/DocID.h"
#include "dms/PowerDocsDocInfo.h"

using namespace registry_sandbox;

namespace {

struct Split
{
    // Starts from filled outputs, so that a field the split forgets to reset shows.
    explicit Split(const CStdStr& strID)
    {
        DocIDFields fields;
        fields.strLibrary = fields.strNumber = fields.strVersion = L"stale";
        bOK = ParseDocID(strID, fields) == DocIDForm::Scheme;
        strLibrary = fields.strLibrary;
        lNumber = fields.Number();
        strVersion = fields.strVersion;
    }
    bool bOK = false;
    CStdStr strLibrary = L"stale";
    long lNumber = 99;
    CStdStr strVersion = L"stale";
};

const wchar_t kAttacheKey[] = L"SOFTWARE\\Hummingbird\\PowerDocs\\Core\\Plugins\\attache";

}  // namespace

TEST(ParseDocID, FieldsAreFoundBySeparatorsAlone)
{
    const struct
    {
        const wchar_t* pszID;
        const wchar_t* pszLibrary;
        long lNumber;
        const wchar_t* pszVersion;
    } kCases[] = {
        {L"PowerDocs://LIB/123/2", L"LIB", 123, L"2"},
        {L"PowerDOCS://LIB/123/2", L"LIB", 123, L"2"},
        {L"xyz//LIB/123/2", L"LIB", 123, L"2"},
        {L"PowerDocs://LIB\\123\\2", L"LIB", 123, L"2"},
        {L"PowerDocs://LIB/123/2/x", L"LIB", 123, L"2/x"},
        {L"PowerDocs://LIB/123/2\\x//y", L"LIB", 123, L"2\\x//y"},
        {L"PowerDocs://LIB/123", L"LIB", 123, L""},
        {L"PowerDocs://LIB/42/", L"LIB", 42, L""},
        {L"PowerDocs://LIB", L"", 0, L""},
        {L"PowerDocs://42", L"", 42, L""},
        {L"PowerDocs://", L"", 0, L""},
        // The number is read like the standard conversion: leading digits, sign, saturation.
        {L"PowerDocs://LIB/12ab/1", L"LIB", 12, L"1"},
        {L"PowerDocs://LIB/abc/1", L"LIB", 0, L"1"},
        {L"PowerDocs://LIB/ -5/1", L"LIB", -5, L"1"},
        {L"PowerDocs://LIB/99999999999999/1", L"LIB", LONG_MAX, L"1"},
    };
    for (const auto& c : kCases)
    {
        Split s(c.pszID);
        EXPECT_TRUE(s.bOK) << c.pszID;
        EXPECT_EQ(c.pszLibrary, s.strLibrary) << c.pszID;
        EXPECT_EQ(c.lNumber, s.lNumber) << c.pszID;
        EXPECT_EQ(c.pszVersion, s.strVersion) << c.pszID;
    }

    // No two adjacent slashes: false, and the outputs are reset all the same.
    for (const wchar_t* pszID : {L"", L"PowerDocs:/LIB/123/2", L"PowerDocs:\\\\LIB\\123\\2"})
    {
        Split s(pszID);
        EXPECT_FALSE(s.bOK || !s.strLibrary.empty() || s.lNumber || !s.strVersion.empty()) << pszID;
    }

    DocIDFields odma;
    EXPECT_EQ(DocIDForm::Odma, ParseDocID(L"x::Odma\\PcDocs\\LIB\\5\\1", odma));
    EXPECT_TRUE(odma.strLibrary == L"LIB" && odma.Number() == 5 && odma.strVersion == L"1");

    const CStdStr strLong(10000, L'L');
    Split huge(L"PowerDocs://" + strLong + L"/77/" + strLong);
    EXPECT_TRUE(huge.strLibrary == strLong && huge.lNumber == 77 && huge.strVersion == strLong);
    Split slashes(CStdStr(10000, L'/'));
    EXPECT_TRUE(slashes.strLibrary.empty() && slashes.lNumber == 0 && slashes.strVersion == CStdStr(9996, L'/'));
}

TEST(TranslateOdmaID, OdmaIDsBecomeLowerCaseDocumentIDs)
{
    const struct
    {
        const wchar_t* pszOdma;
        const wchar_t* pszExpected;
    } kCases[] = {
        {L"::ODMA\\PCDOCS\\MyLib\\77\\3", L"powerdocs://mylib/77/3"},
        {L"::Odma\\PcDocs\\MyLib\\77\\3", L"powerdocs://mylib/77/3"},  // mixed case: lower-cased first
        {L"junk::odma\\pcdocs\\LIB\\5\\1", L"powerdocs://lib/5/1"},     // text before the prefix is dropped
        {L"::ODMA\\PCDOCS\\LIB/5/1\\X", L"powerdocs://lib/5/1\\x"},     // the version keeps the rest
        {L"::ODMA\\PCDOCS\\LIB\\5", L"powerdocs://lib/5/"},
        {L"::ODMA\\PCDOCS\\LIB", L"powerdocs:///lib/"},
    };
    for (const auto& c : kCases)
    {
        CStdStr strDocID;
        EXPECT_EQ(S_OK, TranslateOdmaID(c.pszOdma, strDocID)) << c.pszOdma;
        EXPECT_EQ(c.pszExpected, strDocID) << c.pszOdma;
    }
    // Without the prefix: E_FAIL, output untouched.
    for (const CStdStr& strInput : {CStdStr(), CStdStr(L"PowerDocs://LIB/5/1"), CStdStr(L"::ODMA\\PCDOC\\L\\5\\1"),
                                    CStdStr(L"::ODMA/PCDOCS/LIB/5/1"), CStdStr(10000, L':')})
    {
        CStdStr strDocID = L"untouched";
        EXPECT_EQ(E_FAIL, TranslateOdmaID(strInput, strDocID));
        EXPECT_EQ(L"untouched", strDocID);
    }
}

TEST(TranslateOdmaID, OfflineLibraryCopiesMapBackToTheOnlineDocument)
{
    CRegistrySandbox sandbox(ClientKeys());
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, CStdStr(kAttacheKey) + L"\\mylib\\clerk7\\77", L"DocNumber", 501));
    CStdStr strDocID;
    EXPECT_EQ(S_OK, TranslateOdmaID(L"::ODMA\\PCDOCS\\MYLIB_clerk7\\77\\3", strDocID));
    EXPECT_EQ(L"powerdocs://mylib/501/3", strDocID);
    EXPECT_EQ(S_OK, TranslateOdmaID(L"::ODMA\\PCDOCS\\mylib_clerk7\\78\\3", strDocID));
    EXPECT_EQ(L"powerdocs://mylib_clerk7/78/3", strDocID);

    // The library splits at its first "_"; the number is written signed.
    const CStdStr strKey = CStdStr(kAttacheKey) + L"\\legal\\anna_b\\9";
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, strKey, L"DocNumber", 0xFFFFFFFE));
    CStdStr strLibrary = L"legal_anna_b", strNumber = L"9";
    EnsureOnlineDocIdAndLibrary(strLibrary, strNumber);
    EXPECT_EQ(L"legal", strLibrary);
    EXPECT_EQ(L"-2", strNumber);

    // A value of another type counts as no record; so do pieces that cannot name a key.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strKey, L"DocNumber", L"4711"));
    for (CStdStr strOddLibrary : {L"legal_anna_b", L"_", L"legal"})
    {
        CStdStr strOddNumber = strOddLibrary == L"_" ? CStdStr(10000, L'9') : CStdStr(L"9");
        const CStdStr strLibraryBefore = strOddLibrary, strNumberBefore = strOddNumber;
        EnsureOnlineDocIdAndLibrary(strOddLibrary, strOddNumber);
        EXPECT_EQ(strLibraryBefore, strOddLibrary);
        EXPECT_EQ(strNumberBefore, strOddNumber);
    }
}

TEST(DocIDProducers, EachProducerKeepsItsSchemeSpelling)
{
    EXPECT_EQ(L"PowerDocs://LIB/123/2", FormatDocID(DOCID_SCHEME, L"LIB", 123, L"2"));
    EXPECT_EQ(L"PowerDocs://LIB/-1/3", FormatDocID(DOCID_SCHEME, L"LIB", -1, L"3"));
    EXPECT_EQ(L"PowerDOCS://LIB/123/2", CPowerDocsDocInfo(123, L"LIB", L"2").AsDocID());
    EXPECT_EQ(L"PowerDOCS:///0/", CPowerDocsDocInfo().AsDocID());
    // An attachment takes the version's place; with no "/" only the label remains.
    EXPECT_EQ(L"PowerDocs://LIB/12/PDF", FormatAttachmentDocID(L"PowerDocs://LIB/12/2", L"PDF"));
    EXPECT_EQ(L"XLS", FormatAttachmentDocID(L"no separator", L"XLS"));
}
