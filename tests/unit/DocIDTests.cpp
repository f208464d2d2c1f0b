// Document IDs: taking them apart, ODMA IDs, the forms each producer writes.
#include <gtest/gtest.h>

#include "RegistrySandbox.h"
#include "local/DocID.h"
#include "dms/PowerDocsDocInfo.h"

using namespace registry_sandbox;

namespace {

// "form:library|number|version" of a split that starts from filled outputs, so that a field it
// forgets to reset shows.
std::wstring Split(const CStdStr& strID)
{
    DocIDFields fields;
    fields.strLibrary = fields.strNumber = fields.strVersion = L"stale";
    const int nForm = static_cast<int>(ParseDocID(strID, fields));
    return std::to_wstring(nForm) + L":" + fields.strLibrary + L"|" + std::to_wstring(fields.Number()) + L"|" + fields.strVersion;
}
const std::wstring kScheme = std::to_wstring(static_cast<int>(DocIDForm::Scheme)) + L":";

const wchar_t kAttacheKey[] = L"SOFTWARE\\Hummingbird\\PowerDocs\\Core\\Plugins\\attache";

}  // namespace

TEST(ParseDocID, FieldsAreFoundBySeparatorsAlone)
{
    const std::pair<const wchar_t*, const wchar_t*> kCases[] = {
        {L"PowerDocs://LIB/123/2", L"LIB|123|2"},
        {L"xyz//LIB\\123\\2", L"LIB|123|2"},
        {L"PowerDocs://LIB/123/2\\x//y", L"LIB|123|2\\x//y"},
        {L"PowerDocs://LIB/123", L"LIB|123|"},
        {L"PowerDocs://LIB", L"|0|"},
        {L"PowerDocs://42", L"|42|"},
        // The number is read like the standard conversion: leading digits, sign, saturation.
        {L"PowerDocs://LIB/ -5ab/1", L"LIB|-5|1"},
        {L"PowerDocs://LIB/99999999999999/1", L"LIB|2147483647|1"}};
    for (const auto& c : kCases)
        EXPECT_EQ(kScheme + c.second, Split(c.first)) << c.first;
    // No two adjacent slashes: refused, and the outputs are reset all the same.
    for (const wchar_t* pszID : {L"PowerDocs:/LIB/123/2", L"PowerDocs:\\\\LIB\\123\\2"})
        EXPECT_EQ(std::to_wstring(static_cast<int>(DocIDForm::None)) + L":|0|", Split(pszID)) << pszID;
    EXPECT_EQ(std::to_wstring(static_cast<int>(DocIDForm::Odma)) + L":LIB|5|1", Split(L"x::Odma\\PcDocs\\LIB\\5\\1"));
    EXPECT_EQ(kScheme + L"|0|" + CStdStr(9996, L'/'), Split(CStdStr(10000, L'/')));
}

TEST(TranslateOdmaID, OdmaIDsBecomeLowerCaseDocumentIDs)
{
    const struct { const wchar_t* pszOdma; const wchar_t* pszExpected; } kCases[] = {
        {L"::Odma\\PcDocs\\MyLib\\77\\3", L"powerdocs://mylib/77/3"},  // mixed case: lower-cased first
        {L"junk::odma\\pcdocs\\LIB\\5\\1", L"powerdocs://lib/5/1"},     // text before the prefix is dropped
        {L"::ODMA\\PCDOCS\\LIB/5/1\\X", L"powerdocs://lib/5/1\\x"},     // the version keeps the rest
        {L"::ODMA\\PCDOCS\\LIB\\5", L"powerdocs://lib/5/"},
        {L"::ODMA\\PCDOCS\\LIB", L"powerdocs:///lib/"}};
    for (const auto& c : kCases)
    {
        CStdStr strDocID;
        EXPECT_EQ(S_OK, TranslateOdmaID(c.pszOdma, strDocID)) << c.pszOdma;
        EXPECT_EQ(c.pszExpected, strDocID) << c.pszOdma;
    }
    // Without the prefix: E_FAIL, output untouched.
    for (const CStdStr& strInput : {CStdStr(L"PowerDocs://LIB/5/1"), CStdStr(L"::ODMA/PCDOCS/LIB/5/1")})
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
    CStdStr strDocID, strUnrecorded;
    EXPECT_EQ(S_OK, TranslateOdmaID(L"::ODMA\\PCDOCS\\MYLIB_clerk7\\77\\3", strDocID));
    EXPECT_EQ(S_OK, TranslateOdmaID(L"::ODMA\\PCDOCS\\mylib_clerk7\\78\\3", strUnrecorded));
    EXPECT_EQ(L"powerdocs://mylib/501/3 powerdocs://mylib_clerk7/78/3", strDocID + L" " + strUnrecorded);

    // The library splits at its first "_"; the number is written signed.
    const CStdStr strKey = CStdStr(kAttacheKey) + L"\\legal\\anna_b\\9";
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, strKey, L"DocNumber", 0xFFFFFFFE));
    CStdStr strLibrary = L"legal_anna_b", strNumber = L"9";
    EnsureOnlineDocIdAndLibrary(strLibrary, strNumber);
    EXPECT_EQ(L"legal", strLibrary);
    EXPECT_EQ(L"-2", strNumber);

    // A value of another type counts as no record: both stay as they are.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, strKey, L"DocNumber", L"4711"));
    strLibrary = L"legal_anna_b", strNumber = L"9";
    EnsureOnlineDocIdAndLibrary(strLibrary, strNumber);
    EXPECT_EQ(L"legal_anna_b/9", strLibrary + L"/" + strNumber);
}

TEST(DocIDProducers, EachProducerKeepsItsSchemeSpelling)
{
    EXPECT_EQ(L"PowerDocs://LIB/-1/3", FormatDocID(DOCID_SCHEME, L"LIB", -1, L"3"));
    EXPECT_EQ(L"PowerDOCS://LIB/123/2", CPowerDocsDocInfo(123, L"LIB", L"2").AsDocID());
    EXPECT_EQ(L"PowerDOCS:///0/", CPowerDocsDocInfo().AsDocID());
    // An attachment takes the version's place; with no "/" only the label remains.
    EXPECT_EQ(L"PowerDocs://LIB/12/PDF", FormatAttachmentDocID(L"PowerDocs://LIB/12/2", L"PDF"));
    EXPECT_EQ(L"XLS", FormatAttachmentDocID(L"no separator", L"XLS"));
}
