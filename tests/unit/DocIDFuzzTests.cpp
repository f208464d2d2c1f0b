// Generated inputs (random, and mutated from the documented examples) through the ID parsers
// and the cache-form matcher: nothing throws, and every field agrees with the separators of its
// input. The matcher is checked against a plain left-to-right scan. Fixed seed: failures repeat.
#include <gtest/gtest.h>

#include <cwchar>
#include <random>
#include <string>

#include "RegistrySandbox.h"
#include "local/DocID.h"
#include "local/DocIDResolver.h"

using namespace registry_sandbox;

namespace {

const size_t kInputs = 20000;
const size_t kMaxPiece = 999;
const wchar_t kSeparators[] = L"\\/";

class CFixedReader : public PowerDocsRegReader
{
public:
    explicit CFixedReader(bool bDM6) : m_bDM6(bDM6) {}
    bool IsDM6Installed() const override { return m_bDM6; }
    CStdStr GetLocalPath() const override { return CStdStr(); }

private:
    bool m_bDM6;
};

CStdStr LowerAscii(CStdStr str)
{
    for (wchar_t& ch : str)
        if (ch >= L'A' && ch <= L'Z')
            ch = static_cast<wchar_t>(ch - L'A' + L'a');
    return str;
}

// Library, number and version by scanning, each cut to the resolver's limit; empty when the
// form does not match. DM 5 (in the name after the last "\"): the first "-#", the first "-v" or
// "-V" after it, the first "-" after that. DM 6: "\\", the first "\DMNFSL1\" in any case, then
// three parts each closed by "\".
std::vector<CStdStr> Scan(const CStdStr& strPath, bool bDM6)
{
    size_t ends[3] = {}, starts[3] = {};
    if (bDM6)
    {
        size_t pos = strPath.compare(0, 2, L"\\\\") ? CStdStr::npos : LowerAscii(strPath).find(L"\\dmnfsl1\\", 2);
        for (int i = 0; i < 3 && pos != CStdStr::npos; ++i)
        {
            starts[i] = i == 0 ? pos + 9 : ends[i - 1] + 1;
            pos = ends[i] = strPath.find(L'\\', starts[i]);
        }
        if (pos == CStdStr::npos)
            return {};
    }
    else
    {
        const size_t posName = strPath.rfind(L'\\') + 1;  // 0 without a "\"
        ends[0] = strPath.find(L"-#", posName);
        size_t j = ends[0] == CStdStr::npos ? CStdStr::npos : ends[0] + 2;
        while (j != CStdStr::npos && (j = strPath.find(L'-', j)) != CStdStr::npos &&
               !(j + 1 < strPath.size() && (strPath[j + 1] | 0x20) == L'v'))
            ++j;
        ends[1] = j;
        ends[2] = ends[1] == CStdStr::npos ? ends[1] : strPath.find(L'-', ends[1] + 2);
        if (ends[2] == CStdStr::npos)
            return {};
        starts[0] = posName;
        starts[1] = ends[0] + 2;
        starts[2] = ends[1] + 2;
    }
    std::vector<CStdStr> pieces;
    for (int i = 0; i < 3; ++i)
        pieces.push_back(strPath.substr(starts[i], std::min(ends[i] - starts[i], kMaxPiece)));
    return pieces;
}

class CInputMaker
{
public:
    CStdStr Next(size_t nIndex)
    {
        CStdStr str;
        if (m_random() % 3 == 0)
        {
            for (size_t n = m_random() % 12; n > 0; --n)
                str += Piece();
        }
        else
        {
            str = kExamples[m_random() % (sizeof(kExamples) / sizeof(kExamples[0]))];
            for (size_t n = 1 + m_random() % 4; n > 0; --n)
                Mutate(str);
        }
        if (nIndex % 1000 == 999)  // now and then a long one, for the long-text paths of the matcher
        {
            const CStdStr strPiece = Piece();
            CStdStr strLong;
            for (size_t nTarget = 600 + m_random() % 3000; strLong.size() < nTarget;)
                strLong += strPiece;
            str.insert(m_random() % (str.size() + 1), strLong);
        }
        return str;
    }

private:
    CStdStr Piece()
    {
        static const wchar_t* const kPieces[] = {
            L"/", L"\\", L"//", L"\\\\", L"-", L"#", L"-#", L"-v", L"-V", L"v", L"_", L":", L".", L" ",
            L"::ODMA\\PCDOCS\\", L"::odma\\pcdocs\\", L"::Odma\\PcDocs\\", L"PowerDocs://", L"DMNFSL1",
            L"\\dmnfsl1\\", L"LIB", L"lib_clerk7", L"0", L"12", L"-5", L"2147483648", L"\x00C4\x20AC",
            L"\xD83D\xDE00", L"x"};
        if (m_random() % 8 == 0)
            return CStdStr(1, static_cast<wchar_t>(m_random() % 0x10000));
        return kPieces[m_random() % (sizeof(kPieces) / sizeof(kPieces[0]))];
    }

    void Mutate(CStdStr& str)
    {
        const size_t pos = m_random() % (str.size() + 1);
        switch (m_random() % 5)
        {
        case 0: str.insert(pos, Piece()); break;
        case 1: str.erase(pos, 1 + m_random() % 4); break;
        case 2: if (pos < str.size()) str[pos] = Piece()[0]; break;
        case 3: str.insert(m_random() % (str.size() + 1), str.substr(pos, 1 + m_random() % 8)); break;
        default: str.resize(pos); break;
        }
    }

    static constexpr const wchar_t* kExamples[] = {
        L"PowerDocs://LIB/123/2", L"xyz//LIB/123/2", L"PowerDocs://LIB\\123\\2", L"PowerDocs://LIB/123/2/x",
        L"PowerDocs://LIB", L"PowerDocs://LIB/12ab/1", L"::ODMA\\PCDOCS\\MyLib\\77\\3",
        L"::ODMA\\PCDOCS\\mylib_clerk7\\77\\3", L"x::odma\\pcdocs\\LIB\\5\\1", L"::Odma\\PcDocs\\LIB\\1\\2",
        L"PowerDocs://C:\\SHADOW\\LIB-#1234-v2-Budget Q3.doc", L"PowerDocs://LIB-#12-v3-notes-v9-x.doc",
        L"PowerDocs://\\\\srv\\share\\DMNFSL1\\LIB\\1234\\2\\Budget.doc", L"PowerDocs://LEGAL_Clerk7/905/2"};
    std::mt19937 m_random{20240611u};
};

constexpr const wchar_t* CInputMaker::kExamples[];

// The fields of a body as the reader takes them: the library up to the first separator, the
// number up to the next, the version the rest.
DocIDFields FieldsOf(const CStdStr& strBody)
{
    DocIDFields fields;
    fields.strBody = strBody;
    const size_t posFirst = strBody.find_first_of(kSeparators);
    fields.strLibrary = posFirst == CStdStr::npos ? CStdStr() : CStdStr(strBody.substr(0, posFirst));
    const CStdStr strAfter = strBody.substr(posFirst == CStdStr::npos ? 0 : posFirst + 1);
    const size_t posSecond = strAfter.find_first_of(kSeparators);
    fields.strNumber = strAfter.substr(0, posSecond);
    fields.strVersion = posSecond == CStdStr::npos ? CStdStr() : CStdStr(strAfter.substr(posSecond + 1));
    return fields;
}

// ParseDocID: the ODMA form wherever the prefix stands in any letter case, else the scheme form
// wherever "//" stands, else nothing; the fields follow the reader's rule.
void CheckParse(const CStdStr& strID, size_t& nSplit)
{
    DocIDFields fields;
    fields.strLibrary = L"stale";
    const DocIDForm form = ParseDocID(strID, fields);
    const size_t posOdma = LowerCase(strID).find(L"::odma\\pcdocs\\");
    const size_t posScheme = strID.find(L"//");
    if (posOdma == CStdStr::npos && posScheme == CStdStr::npos)
    {
        ASSERT_TRUE(form == DocIDForm::None && fields.strLibrary.empty() && fields.strBody.empty());
        return;
    }
    ++nSplit;
    ASSERT_EQ(posOdma != CStdStr::npos ? DocIDForm::Odma : DocIDForm::Scheme, form);
    const DocIDFields expected = FieldsOf(strID.substr(posOdma != CStdStr::npos ? posOdma + 14 : posScheme + 2));
    ASSERT_EQ(expected.strBody, fields.strBody);
    ASSERT_EQ(expected.strLibrary, fields.strLibrary);
    ASSERT_EQ(expected.strNumber, fields.strNumber);
    ASSERT_EQ(expected.strVersion, fields.strVersion);
    ASSERT_EQ(wcstol(expected.strNumber.c_str(), nullptr, 10), fields.Number());
}

// TranslateOdmaID: S_OK exactly when the lower-cased input holds the prefix; then the result is
// the lower-cased fields written as an ID.
void CheckTranslate(const CStdStr& strOdma, size_t& nTranslated)
{
    CStdStr strDocID = L"untouched";
    const HRESULT hr = TranslateOdmaID(strOdma, strDocID);
    const CStdStr strLower = LowerCase(strOdma);
    const size_t posPrefix = strLower.find(L"::odma\\pcdocs\\");
    if (posPrefix == CStdStr::npos)
    {
        ASSERT_TRUE(hr == E_FAIL && strDocID == L"untouched");
        return;
    }
    ASSERT_EQ(S_OK, hr);
    ++nTranslated;
    const DocIDFields f = FieldsOf(strLower.substr(posPrefix + 14));
    ASSERT_EQ(L"powerdocs://" + f.strLibrary + L"/" + f.strNumber + L"/" + f.strVersion, strDocID);
}

void CheckResolver(const CStdStr& strPath, const CFixedReader& reader, bool bDM6, size_t& nResolved)
{
    const DocIDResolver resolver(strPath, CStdStr(), reader);
    const std::vector<CStdStr> pieces = Scan(strPath, bDM6);
    const bool bComplete = !pieces.empty() && !pieces[0].empty() && !pieces[1].empty() && !pieces[2].empty();
    ASSERT_EQ(bComplete, resolver.ResolvedOK());
    nResolved += bComplete;
    ASSERT_EQ(pieces.empty() ? std::vector<CStdStr>(3) : pieces,
              (std::vector<CStdStr>{resolver.LibraryName(), resolver.DocumentNumber(), resolver.VersionNumber()}));
    if (bComplete)
        ASSERT_EQ(L"PowerDocs://" + pieces[0] + L"/" + pieces[1] + L"/" + pieces[2], resolver.AsDocID());
    else
        ASSERT_THROW(resolver.AsDocID(), std::runtime_error);
}

// StripID: an ODMA ID is written as an ID; in an ID with a scheme the body resolves as a cache
// path, or the input comes back unchanged.
void CheckStrip(const CStdStr& strID, const CFixedReader& reader, bool bDM6)
{
    const CStdStr strOut = StripID(strID, reader);
    const size_t posOdma = LowerCase(strID).find(L"::odma\\pcdocs\\");
    if (posOdma != CStdStr::npos)
    {
        const DocIDFields f = FieldsOf(strID.substr(posOdma + 14));
        ASSERT_EQ(L"PowerDocs://" + f.strLibrary + L"/" + f.strNumber + L"/" + f.strVersion, strOut);
        return;
    }
    const size_t posScheme = strID.find(L"//");
    const std::vector<CStdStr> p = posScheme == CStdStr::npos ? std::vector<CStdStr>()
                                                               : Scan(strID.substr(posScheme + 2), bDM6);
    if (!p.empty() && !p[0].empty() && !p[1].empty() && !p[2].empty())
        ASSERT_EQ(L"PowerDocs://" + p[0] + L"/" + p[1] + L"/" + p[2], strOut);
    else
        ASSERT_EQ(strID, strOut);
}

}  // namespace

TEST(DocIDFuzz, ParsersAndMatcherKeepTheirInvariants)
{
    CRegistrySandbox sandbox(ClientKeys());  // no offline records for the ODMA translation to find
    const CFixedReader dm5(false), dm6(true);
    CInputMaker maker;
    size_t nResolved = 0, nTranslated = 0, nSplit = 0;
    for (size_t i = 0; i < kInputs; ++i)
    {
        const CStdStr strInput = maker.Next(i);
        SCOPED_TRACE(::testing::Message() << "input " << i << " of length " << strInput.size());
        const bool bDM6 = i % 2 == 1;
        ASSERT_NO_FATAL_FAILURE(CheckParse(strInput, nSplit));
        ASSERT_NO_FATAL_FAILURE(CheckTranslate(strInput, nTranslated));
        ASSERT_NO_FATAL_FAILURE(CheckStrip(strInput, bDM6 ? dm6 : dm5, bDM6));
        ASSERT_NO_FATAL_FAILURE(CheckResolver(strInput, bDM6 ? dm6 : dm5, bDM6, nResolved));
    }
    // The inputs reach every branch, not just the failures.
    EXPECT_GT(nSplit, kInputs / 10);
    EXPECT_GT(nTranslated, kInputs / 20);
    EXPECT_GT(nResolved, kInputs / 100);
}
