// Conversions between the host structures and the provider's records.
#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "records/CVDocNonCom.h"

namespace {

CVDOCUMENT MakeDocument(const wchar_t* pszPrefix)
{
    CVDOCUMENT d = {};
    std::wstring p(pszPrefix);
    d.bstrDocID = SysAllocString((p + L"id").c_str());
    d.bstrLocalFile = SysAllocString((p + L"file").c_str());
    d.bstrName = SysAllocString((p + L"name").c_str());
    d.bstrExtension = SysAllocString((p + L"ext").c_str());
    d.bstrAppID = SysAllocString((p + L"app").c_str());
    d.bstrTypeID = SysAllocString((p + L"type").c_str());
    d.bstrAuthorID = SysAllocString((p + L"author").c_str());
    d.bstrTypistID = SysAllocString((p + L"typist").c_str());
    d.dtVersionDate = 45000.5;
    d.lFileSizeHigh = 1;
    d.lFileSizeLow = -2;
    d.lFlags = 1;
    return d;
}

void FreeDocument(CVDOCUMENT& d)
{
    for (BSTR b : {d.bstrDocID, d.bstrLocalFile, d.bstrName, d.bstrExtension, d.bstrAppID, d.bstrTypeID,
                   d.bstrAuthorID, d.bstrTypistID})
        SysFreeString(b);
    std::memset(&d, 0, sizeof(d));
}

void ExpectDefault(const CVDocNonCom& r)
{
    for (const CStdStr& s : {r.GetDocID(), r.GetLocalFile(), r.GetName(), r.GetExtension(), r.GetAppID(),
                             r.GetTypeID(), r.GetAuthorID(), r.GetTypistID()})
        EXPECT_TRUE(s.empty());
    EXPECT_EQ(0.0, r.GetVersionDate());
    EXPECT_EQ(0, r.GetFileSizeHigh());
    EXPECT_EQ(0, r.GetFileSizeLow());
    EXPECT_EQ(0, r.GetFlags());
}

TEST(CVDocNonCom, ReadsEveryFieldInStructureOrderAndRoundTrips)
{
    CVDOCUMENT in = MakeDocument(L"a-");
    CVDocNonCom r(&in);
    EXPECT_EQ(L"a-id", r.GetDocID());
    EXPECT_EQ(L"a-file", r.GetLocalFile());
    EXPECT_EQ(L"a-name", r.GetName());
    EXPECT_EQ(L"a-ext", r.GetExtension());
    EXPECT_EQ(L"a-app", r.GetAppID());
    EXPECT_EQ(L"a-type", r.GetTypeID());
    EXPECT_EQ(L"a-author", r.GetAuthorID());
    EXPECT_EQ(L"a-typist", r.GetTypistID());
    EXPECT_EQ(45000.5, r.GetVersionDate());
    EXPECT_EQ(1, r.GetFileSizeHigh());
    EXPECT_EQ(-2, r.GetFileSizeLow());
    EXPECT_EQ(1, r.GetFlags());

    CVDOCUMENT out = {};
    ASSERT_EQ(S_OK, r.ToCom(&out));
    EXPECT_STREQ(L"a-typist", out.bstrTypistID);
    EXPECT_NE(in.bstrDocID, out.bstrDocID) << "ToCom hands out copies";
    CVDocNonCom again(&out);
    EXPECT_EQ(r.GetLocalFile(), again.GetLocalFile());
    EXPECT_EQ(r.GetFileSizeLow(), again.GetFileSizeLow());
    FreeDocument(in);
    FreeDocument(out);

    r.Clear();
    ExpectDefault(r);
}

TEST(CVDocNonCom, NullOrUnreadableInputGivesEmptyFields)
{
    ExpectDefault(CVDocNonCom(nullptr));

    CVDOCUMENT allNull = {};
    allNull.lFlags = 1;
    allNull.lFileSizeLow = 77;
    CVDocNonCom fromNulls(&allNull);
    EXPECT_TRUE(fromNulls.GetDocID().empty());
    EXPECT_TRUE(fromNulls.GetTypistID().empty());
    EXPECT_EQ(1, fromNulls.GetFlags()) << "numbers are copied even when every string is null";
    EXPECT_EQ(77, fromNulls.GetFileSizeLow());

    // A BSTR pointing into a released page reads as empty, without a crash.
    void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(nullptr, page);
    ASSERT_TRUE(VirtualFree(page, 0, MEM_RELEASE));
    CVDOCUMENT dangling = {};
    dangling.bstrName = reinterpret_cast<BSTR>(static_cast<BYTE*>(page) + 64);
    EXPECT_TRUE(CVDocNonCom(&dangling).GetName().empty());
    EXPECT_TRUE(StdStrFromBstr(reinterpret_cast<const BSTR*>(page)).empty());
    // A structure that is itself unreadable gives the default record.
    ExpectDefault(CVDocNonCom(reinterpret_cast<const CVDOCUMENT*>(page)));

    // The text ends at an embedded zero; an empty BSTR is an empty string.
    BSTR embedded = SysAllocStringLen(L"abc\0def", 7);
    EXPECT_EQ(L"abc", StdStrFromBstr(embedded));
    SysFreeString(embedded);
    BSTR empty = SysAllocString(L"");
    EXPECT_TRUE(StdStrFromBstr(empty).empty());
    SysFreeString(empty);
}

TEST(CVDocNonCom, ReadsArgumentsToTheirTerminatorNotTheirLengthPrefix)
{
    // A host that passes a plain wide string: whatever lies before it is no length.
    wchar_t plain[] = L"\x0002\x0000PowerDocs://LIB/12/3";
    EXPECT_EQ(L"PowerDocs://LIB/12/3", StdStrFromBstr(plain + 2));

    // A text that ends exactly where its readable page ends, with a guard page behind it:
    // without a terminator in reach the reader gives up instead of faulting.
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    const size_t cbPage = info.dwPageSize;
    auto* pBase = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * cbPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(nullptr, pBase);
    DWORD dwOld = 0;
    ASSERT_TRUE(VirtualProtect(pBase + cbPage, cbPage, PAGE_NOACCESS, &dwOld));
    auto* pszTail = reinterpret_cast<wchar_t*>(pBase + cbPage) - 4;
    wmemcpy(pszTail, L"abc", 4);
    EXPECT_EQ(L"abc", StdStrFromBstr(pszTail)) << "terminated in the last readable characters";
    pszTail[3] = L'd';
    EXPECT_TRUE(StdStrFromBstr(pszTail).empty()) << "no terminator before unreadable memory";
    VirtualFree(pBase, 0, MEM_RELEASE);
}

TEST(CVDocNonCom, ToComReplacesHeldStringsWithoutLeaking)
{
    EXPECT_EQ(E_POINTER, CVDocNonCom().ToCom(nullptr));

    CVDOCUMENT target = MakeDocument(L"old-");
    CVDocNonCom r;
    r.SetName(L"fresh");
    {
        testing_support::AllocationSpy spy;
        for (int i = 0; i < 10; ++i)
            ASSERT_EQ(S_OK, r.ToCom(&target));
        // The eight BSTRs of the last fill stay with the structure; the rest were freed.
        // The originals were allocated before the spy and freed without being counted.
        EXPECT_EQ(8, spy.Outstanding());
        FreeDocument(target);
        EXPECT_EQ(0, spy.Outstanding());
    }
}

TEST(CVDocumentVersionNoCom, FillsLabelAndDocumentAndKeepsPaddingZero)
{
    CVDocNonCom doc;
    doc.SetDocID(L"PowerDocs://LIB/7/2");
    doc.SetFlags(1);
    CVDocumentVersionNoCom version;
    EXPECT_TRUE(version.GetVersionLabel().empty());
    version.SetDocument(doc);
    version.SetVersionLabel(L"2");

    CVDOCUMENTVERSION out[2];
    std::memset(out, 0, sizeof(out));
    ASSERT_EQ(S_OK, version.ToCom(&out[1]));
    EXPECT_STREQ(L"2", out[1].bstrVersion);
    EXPECT_STREQ(L"PowerDocs://LIB/7/2", out[1].cvDocument.bstrDocID);
    EXPECT_EQ(1, out[1].cvDocument.lFlags);
    const BYTE* raw = reinterpret_cast<const BYTE*>(&out[1]);
    for (size_t i = sizeof(BSTR); i < offsetof(CVDOCUMENTVERSION, cvDocument); ++i)
        EXPECT_EQ(0, raw[i]) << "padding byte " << i;
    const BYTE* first = reinterpret_cast<const BYTE*>(&out[0]);
    for (size_t i = 0; i < sizeof(CVDOCUMENTVERSION); ++i)
        ASSERT_EQ(0, first[i]) << "the neighbouring element was written at byte " << i;
    SysFreeString(out[1].bstrVersion);
    FreeDocument(out[1].cvDocument);
    EXPECT_EQ(E_POINTER, version.ToCom(nullptr));
}

TEST(CVFileInfoNoCom, CopiesIdAndNumbers)
{
    CVFileInfoNoCom info;
    info.SetID(L"{5d404391-0460-4397-a433-931a7e94d550}");
    info.SetMajor(2);
    info.SetMinor(1);
    info.SetBuild(3);
    info.SetRevision(461);
    CVFILEINFO out = {};
    ASSERT_EQ(S_OK, info.ToCom(&out));
    EXPECT_STREQ(L"{5d404391-0460-4397-a433-931a7e94d550}", out.bstrID);
    EXPECT_EQ(2, out.lMajor);
    EXPECT_EQ(1, out.lMinor);
    EXPECT_EQ(3, out.lBuild);
    EXPECT_EQ(461, out.lRevision);
    SysFreeString(out.bstrID);
    EXPECT_EQ(E_POINTER, info.ToCom(nullptr));
}

}  // namespace
