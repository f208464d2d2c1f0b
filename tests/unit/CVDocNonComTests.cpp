// Conversions between the host structures and the provider's records.
#include <gtest/gtest.h>

#include <comdef.h>

#include <cstring>

#include "records/CVDocNonCom.h"

namespace {

// The record's strings in structure order, with the getters that read them.
BSTR CVDOCUMENT::*const kStrings[] = {&CVDOCUMENT::bstrDocID,     &CVDOCUMENT::bstrLocalFile, &CVDOCUMENT::bstrName,
                                      &CVDOCUMENT::bstrExtension, &CVDOCUMENT::bstrAppID,     &CVDOCUMENT::bstrTypeID,
                                      &CVDOCUMENT::bstrAuthorID,  &CVDOCUMENT::bstrTypistID};
CStdStr (CVDocNonCom::*const kGetters[])() const = {
    &CVDocNonCom::GetDocID,  &CVDocNonCom::GetLocalFile, &CVDocNonCom::GetName,     &CVDocNonCom::GetExtension,
    &CVDocNonCom::GetAppID,  &CVDocNonCom::GetTypeID,    &CVDocNonCom::GetAuthorID, &CVDocNonCom::GetTypistID};

void FreeDocument(CVDOCUMENT& d)
{
    for (BSTR CVDOCUMENT::*p : kStrings)
        SysFreeString(d.*p);
    std::memset(&d, 0, sizeof(d));
}

// Every field of the record, as "field=value" lines: strings by their getters, then the numbers.
std::wstring Fields(const CVDocNonCom& r)
{
    std::wstring strFields;
    for (size_t i = 0; i < 8; ++i)
        strFields += std::to_wstring(i) + L"=" + (r.*kGetters[i])() + L"\n";
    return strFields + std::to_wstring(r.GetVersionDate()) + L" " + std::to_wstring(r.GetFileSizeHigh()) + L" " +
           std::to_wstring(r.GetFileSizeLow()) + L" " + std::to_wstring(r.GetFlags());
}
const std::wstring kEmptyFields = L"0=\n1=\n2=\n3=\n4=\n5=\n6=\n7=\n0.000000 0 0 0";

TEST(CVDocNonCom, ReadsEveryFieldInStructureOrderAndRoundTrips)
{
    CVDOCUMENT in = {};
    for (size_t i = 0; i < 8; ++i)
        in.*kStrings[i] = SysAllocString(std::to_wstring(i * 11).c_str());
    in.dtVersionDate = 45000.5;
    in.lFileSizeHigh = in.lFlags = 1;
    in.lFileSizeLow = -2;
    CVDocNonCom r(&in);
    EXPECT_EQ(L"0=0\n1=11\n2=22\n3=33\n4=44\n5=55\n6=66\n7=77\n45000.500000 1 -2 1", Fields(r));

    CVDOCUMENT out = {};
    ASSERT_EQ(S_OK, r.ToCom(&out));
    EXPECT_NE(in.bstrDocID, out.bstrDocID) << "ToCom hands out copies";
    EXPECT_EQ(Fields(r), Fields(CVDocNonCom(&out)));
    FreeDocument(in);
    FreeDocument(out);
    EXPECT_EQ(E_POINTER, r.ToCom(nullptr));

    r.Clear();
    EXPECT_EQ(kEmptyFields, Fields(r));
}

TEST(CVDocNonCom, NullOrUnreadableInputGivesEmptyFields)
{
    EXPECT_EQ(kEmptyFields, Fields(CVDocNonCom(nullptr)));
    // A BSTR pointing into a released page reads as empty, without a crash; so does a structure
    // that is itself unreadable.
    void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(nullptr, page);
    ASSERT_TRUE(VirtualFree(page, 0, MEM_RELEASE));
    CVDOCUMENT dangling = {};
    dangling.bstrName = reinterpret_cast<BSTR>(static_cast<BYTE*>(page) + 64);
    EXPECT_TRUE(CVDocNonCom(&dangling).GetName().empty());
    EXPECT_TRUE(StdStrFromBstr(reinterpret_cast<const BSTR*>(page)).empty());
    EXPECT_EQ(kEmptyFields, Fields(CVDocNonCom(reinterpret_cast<const CVDOCUMENT*>(page))));

    // The text ends at an embedded zero, not at its length prefix.
    _bstr_t embedded(SysAllocStringLen(L"abc\0def", 7), false);
    EXPECT_EQ(L"abc", StdStrFromBstr(static_cast<BSTR>(embedded)));
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

}  // namespace
