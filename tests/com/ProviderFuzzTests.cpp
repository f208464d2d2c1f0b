// Random calls of every method of every interface of the provider object against a seeded DMS
// stand-in: no crash, no exception across the interface, a failed call leaves the host's record
// alone, and everything handed out goes back once the host frees what it owns.
// QUENDREL_FUZZ_SEED and QUENDREL_FUZZ_CALLS replay another run; a crash names the call.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ComTestSupport.h"
#include "DmsStandInControl.h"
#include "RegistrySandbox.h"

namespace {

// splitmix64: small, fast and the same on every platform, so a seed replays a run exactly.
class Random
{
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint32_t Next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
    bool Percent(uint32_t p) { return Below(100) < p; }

private:
    uint64_t m_state;
};

// What the process was doing when an exception went unhandled.
const char* g_pszCall = "set-up";
long g_lCall = -1;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* pInfo)
{
    fprintf(stderr, "\nunhandled exception 0x%08lx in call %ld (%s)\n",
            static_cast<unsigned long>(pInfo->ExceptionRecord->ExceptionCode), g_lCall, g_pszCall);
    fflush(stderr);
    ExitProcess(3);
    return EXCEPTION_EXECUTE_HANDLER;
}

uint64_t EnvNumber(const char* pszName, uint64_t uDefault)
{
    const char* psz = getenv(pszName);
    return psz && *psz ? strtoull(psz, nullptr, 0) : uDefault;
}

BSTR RandomText(Random& r, size_t cchMax)
{
    const size_t cch = r.Below(static_cast<uint32_t>(cchMax + 1));
    BSTR bstr = SysAllocStringLen(nullptr, static_cast<UINT>(cch));
    for (size_t i = 0; i < cch; ++i)
    {
        // Mostly printable, some separators, zeros and lone surrogates.
        const uint32_t k = r.Below(20);
        bstr[i] = k == 0 ? L'\0' : k == 1 ? L'/' : k == 2 ? L'\\' : k == 3 ? static_cast<wchar_t>(0xD800 + r.Below(0x800))
                                                                  : static_cast<wchar_t>(0x20 + r.Below(0x5F));
    }
    return bstr;
}

// The arguments the fuzz run draws from: document IDs of every kind, texts, records and codes.
class Arguments
{
public:
    Arguments(Random& r, std::vector<std::wstring> validIds) : m_r(r), m_validIds(std::move(validIds)) {}

    // A fresh document ID (or null) that the caller owns. Valid IDs reach the DMS and cost most.
    BSTR Id(uint32_t uValidPercent)
    {
        if (m_r.Percent(uValidPercent))
            return SysAllocString(m_validIds[m_r.Below(static_cast<uint32_t>(m_validIds.size()))].c_str());
        static const wchar_t* const malformed[] = {
            L"PowerDocs://", L"PowerDocs://LIB", L"PowerDocs://LIB/", L"PowerDocs://LIB/abc/1", L"//",
            L"PowerDocs://LIB/-1/1", L"PowerDocs://LIB/99999999999999999999/1", L"PowerDocs:\\\\LIB\\1\\1",
            L"::ODMA\\PCDOCS", L"::ODMA\\PCDOCS\\LIB\\1\\1", L"PowerDocs://LIB/1/1/1", L"PowerDocs://lib/1/x",
            L"PowerDocs://NOPE/1/1", L"PowerDocs://LIB/999999/1", L"PowerDocs://LIB/1/999"};
        switch (m_r.Below(5))
        {
        case 0:
            return nullptr;
        case 1:
            return SysAllocString(L"");
        case 2:
        {
            const UINT cch = m_r.Percent(50) ? 300 : m_r.Percent(90) ? 5000 : 70000;
            BSTR bstr = SysAllocStringLen(nullptr, cch);
            for (UINT i = 0; i < cch; ++i)
                bstr[i] = i % 7 == 3 ? L'/' : static_cast<wchar_t>(L'0' + m_r.Below(40));
            return bstr;
        }
        case 3:
            return SysAllocString(malformed[m_r.Below(sizeof(malformed) / sizeof(malformed[0]))]);
        default:
            return RandomText(m_r, 40);
        }
    }

    BSTR Text() { return m_r.Percent(20) ? nullptr : RandomText(m_r, m_r.Percent(5) ? 3000 : 30); }

    long Number()
    {
        static const long special[] = {0, 1, 2, 3, 8, 10, -1, 0x40, 0x7FFFFFFF, static_cast<long>(0x80000000)};
        return m_r.Percent(70) ? special[m_r.Below(sizeof(special) / sizeof(special[0]))] : static_cast<long>(m_r.Next());
    }

    HRESULT Code()
    {
        switch (m_r.Below(4))
        {
        case 0: return static_cast<HRESULT>(0x801D0000 + m_r.Below(0x20));
        case 1: return static_cast<HRESULT>(0x80120000 + m_r.Below(0x20));
        case 2: return m_r.Percent(50) ? S_OK : E_FAIL;
        default: return static_cast<HRESULT>(m_r.Next());
        }
    }

    GUID Guid()
    {
        GUID guid = GUID_NULL;
        if (m_r.Percent(50))
            for (size_t i = 0; i < sizeof(guid); ++i)
                reinterpret_cast<BYTE*>(&guid)[i] = static_cast<BYTE>(m_r.Next());
        return guid;
    }

    // A host record with random strings (some null), numbers and flags.
    void Fill(CVDOCUMENT& doc, uint32_t uValidPercent)
    {
        doc = CVDOCUMENT{};
        doc.bstrDocID = Id(uValidPercent);
        doc.bstrLocalFile = m_r.Percent(30) ? SysAllocString((ProviderTempFolder() + L"none.doc").c_str()) : Text();
        for (BSTR* p : {&doc.bstrName, &doc.bstrExtension, &doc.bstrAppID, &doc.bstrTypeID, &doc.bstrAuthorID,
                        &doc.bstrTypistID})
            *p = Text();
        doc.dtVersionDate = m_r.Percent(50) ? 0.0 : static_cast<double>(m_r.Next()) / 7.0;
        doc.lFileSizeHigh = Number();
        doc.lFileSizeLow = Number();
        doc.lFlags = m_r.Percent(50) ? static_cast<long>(m_r.Below(3)) : Number();
    }

    Random& R() { return m_r; }

private:
    Random& m_r;
    std::vector<std::wstring> m_validIds;
};

// Frees an out BSTR and marks the place empty again.
void Free(BSTR& bstr)
{
    SysFreeString(bstr);
    bstr = nullptr;
}

// Frees what a host owns after an in/out BSTR call: when the provider took the incoming string,
// only the new one; otherwise the incoming one and a different new one.
void FreeInOut(BSTR bstrIncoming, BSTR bstrOut, bool bProviderFreedIncoming)
{
    if (!bProviderFreedIncoming)
        SysFreeString(bstrIncoming);
    if (bProviderFreedIncoming || bstrOut != bstrIncoming)
        SysFreeString(bstrOut);
}

void FreeHostStrings(CVDOCUMENT& doc)
{
    FreeHostDocument(doc);
}

void FreeHostStrings(CVDOCUMENTVERSION& version)
{
    SysFreeString(version.bstrVersion);
    FreeHostDocument(version.cvDocument);
}

template <class Struct>
void FreeArray(Struct* pArray, long lCount)
{
    if (!pArray)
        return;
    for (long i = 0; i < lCount; ++i)
        FreeHostStrings(pArray[i]);
    CoTaskMemFree(pArray);
}

bool SameRecord(const CVDOCUMENT& a, const CVDOCUMENT& b)
{
    return a.bstrDocID == b.bstrDocID && a.bstrLocalFile == b.bstrLocalFile && a.bstrName == b.bstrName &&
           a.bstrExtension == b.bstrExtension && a.bstrAppID == b.bstrAppID && a.bstrTypeID == b.bstrTypeID &&
           a.bstrAuthorID == b.bstrAuthorID && a.bstrTypistID == b.bstrTypistID &&
           std::memcmp(&a.dtVersionDate, &b.dtVersionDate, sizeof(DATE)) == 0 && a.lFileSizeHigh == b.lFileSizeHigh &&
           a.lFileSizeLow == b.lFileSizeLow && a.lFlags == b.lFlags;
}

// A fetched copy in the provider's folder is the host's to delete.
void DeleteHandedOutCopy(const CVDOCUMENT& doc)
{
    if (doc.bstrLocalFile && _wcsnicmp(doc.bstrLocalFile, ProviderTempFolder().c_str(), ProviderTempFolder().size()) == 0)
        DeleteFileW(doc.bstrLocalFile);
}

struct Method
{
    const char* name;
    unsigned weight;  // relative share of the calls
    std::function<void()> call;
};

class ProviderFuzzTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetUnhandledExceptionFilter(ReportCrash);
        ASSERT_TRUE(m_dms.Prepare(L"5.3"));
        const LONG lPlain = m_dms.AddDocument(L"Plain", "one");
        const LONG lTwo = m_dms.AddDocument(L"Two versions", "first");
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", lTwo, L"2", "second", 6, L"second"));
        ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", lTwo, L"PDF", "attachment", 10, L"attachment"));
        const LONG lTaken = m_dms.AddDocument(L"Taken by bob", "taken");
        ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", lTaken, L"bob"));
        for (LONG n : {lPlain, lTwo, lTaken})
        {
            const std::wstring number = std::to_wstring(n);
            for (const wchar_t* label : {L"1", L""})
                m_validIds.push_back(std::wstring(DmsStandInScope::Id(n, label)));
            m_validIds.push_back(L"powerdocs://lib/" + number + L"/1");
            m_validIds.push_back(L"::ODMA\\PCDOCS\\LIB\\" + number + L"\\1");
        }
        m_validIds.push_back(std::wstring(DmsStandInScope::Id(lTwo, L"2")));
        m_validIds.push_back(std::wstring(DmsStandInScope::Id(lTwo, L"PDF")));
        ASSERT_EQ(S_OK, m_pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
    }

    void TearDown() override
    {
        SetUnhandledExceptionFilter(nullptr);
        StandIn_Install(L"5.3");
        StandIn_Reset();
    }

    DmsStandInScope m_dms;
    std::vector<std::wstring> m_validIds;
    ICVDocumentProvider7Ptr m_pProvider;
};

TEST_F(ProviderFuzzTest, RandomCallsOfEveryMethodNeitherCrashNorThrowNorLeak)
{
    // Host-level registration writes the host's option store: the test's writes go away again.
    registry_sandbox::CRegistrySandbox registration(
        {{HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options\\DocumentProviders"}});
    testing_support::ScopedRegValue resolve(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options", L"DM5ResolveFilenames");
    resolve.SetDword(1);
    testing_support::ScopedRegValue installPath(HKEY_LOCAL_MACHINE, kDmsClientKey, L"InstallPath");

    const uint64_t seed = EnvNumber("QUENDREL_FUZZ_SEED", 20261207);
    const long lCalls = static_cast<long>(EnvNumber("QUENDREL_FUZZ_CALLS", 100000));
    Random r(seed);
    Arguments a(r, m_validIds);
    bool bClient = true;     // InstallPath present: DMS methods reach the logic object
    const uint32_t uValid = 10;  // percent of document IDs that name a seeded document

    IDocProviderPtr pDispatch(m_pProvider);
    ICVComponentPtr pComponent(m_pProvider);
    ICVDiagnosticsPtr pDiagnostics(m_pProvider);
    ICVErrorInfoPtr pErrorInfo(m_pProvider);
    ICVQueryInfoPtr pQuery(m_pProvider);
    ICVRegistrationPtr pRegistration(m_pProvider);
    ICVCustomCommand2Ptr pCommand(m_pProvider);
    ICVHelpDefinitionPtr pHelp(m_pProvider);
    ICVDocumentProvider7* p = m_pProvider;
    ASSERT_TRUE(pDispatch && pComponent && pDiagnostics && pErrorInfo && pQuery && pRegistration && pCommand && pHelp);

    long lFailuresLeftUnchanged = 0;
    long lRecordsFilled = 0;
    // Calls a method that takes a host record: a failure must leave the record as it was.
    auto withRecord = [&](const char* pszName, const std::function<HRESULT(CVDOCUMENT*)>& call) {
        CVDOCUMENT doc;
        a.Fill(doc, uValid);
        const CVDOCUMENT before = doc;
        const HRESULT hr = call(r.Percent(3) ? nullptr : &doc);
        if (FAILED(hr))
        {
            EXPECT_TRUE(SameRecord(before, doc)) << pszName << " changed the record and failed";
            ++lFailuresLeftUnchanged;
        }
        else if (doc.bstrDocID != before.bstrDocID)
        {
            ++lRecordsFilled;
        }
        DeleteHandedOutCopy(doc);
        FreeHostDocument(doc);
    };
    // Calls a method with one out BSTR, sometimes without a place for it.
    auto withOutBstr = [&](const std::function<HRESULT(BSTR*)>& call) {
        BSTR bstr = nullptr;
        call(r.Percent(5) ? nullptr : &bstr);
        Free(bstr);
    };
    auto withId = [&](const std::function<HRESULT(BSTR)>& call) {
        BSTR bstrId = a.Id(uValid);
        call(bstrId);
        SysFreeString(bstrId);
    };
    auto withText = [&](const std::function<HRESULT(BSTR)>& call) {
        BSTR bstr = a.Text();
        call(bstr);
        SysFreeString(bstr);
    };
    auto outLong = [&]() -> long* {
        static long s_l;
        s_l = 0x5A5A;
        return r.Percent(5) ? nullptr : &s_l;
    };
    auto outBool = [&]() -> VARIANT_BOOL* {
        static VARIANT_BOOL s_vb;
        s_vb = 0x5A5A;
        return r.Percent(5) ? nullptr : &s_vb;
    };

    const IID knownIids[] = {IID_IUnknown, IID_IDispatch, IID_IDocProvider, IID_ICVComponent, IID_ICVDiagnostics,
                             IID_ICVErrorInfo, IID_ICVQueryInfo, IID_ICVRegistration, IID_ICVCustomCommand,
                             IID_ICVCustomCommand2, IID_ICVHelpDefinition, IID_ICVDocumentProvider,
                             IID_ICVDocumentProvider2, IID_ICVDocumentProvider3, IID_ICVDocumentProvider4,
                             IID_ICVDocumentProvider5, IID_ICVDocumentProvider6, IID_ICVDocumentProvider7,
                             IID_IMarshal, IID_IClassFactory};

    const std::vector<Method> methods = {
        // IUnknown and IDispatch (IDocProvider has no members of its own).
        {"QueryInterface", 20, [&] {
             IID iid = r.Percent(80) ? knownIids[r.Below(sizeof(knownIids) / sizeof(knownIids[0]))] : a.Guid();
             IUnknown* pUnknown = nullptr;
             if (SUCCEEDED(m_pProvider->QueryInterface(iid, reinterpret_cast<void**>(&pUnknown))) && pUnknown)
             {
                 pUnknown->AddRef();
                 pUnknown->Release();
                 pUnknown->Release();
             }
         }},
        {"GetTypeInfoCount", 5, [&] {
             UINT n = 0;
             pDispatch->GetTypeInfoCount(r.Percent(10) ? nullptr : &n);
         }},
        {"GetTypeInfo", 3, [&] {
             ITypeInfo* pInfo = nullptr;
             pDispatch->GetTypeInfo(r.Percent(70) ? 0 : r.Next(), 0, r.Percent(10) ? nullptr : &pInfo);
             if (pInfo)
                 pInfo->Release();
         }},
        {"GetIDsOfNames", 3, [&] {
             BSTR bstrName = r.Percent(50) ? SysAllocString(L"GetDocument") : RandomText(r, 20);
             LPOLESTR names[] = {bstrName};
             DISPID id = 0;
             pDispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
             SysFreeString(bstrName);
         }},
        {"Invoke", 3, [&] {
             VARIANTARG arg;
             VariantInit(&arg);
             arg.vt = VT_I4;
             arg.lVal = a.Number();
             DISPPARAMS params = {&arg, nullptr, r.Below(2), 0};
             VARIANT result;
             VariantInit(&result);
             EXCEPINFO info = {};
             UINT uArgErr = 0;
             pDispatch->Invoke(static_cast<DISPID>(a.Number()), IID_NULL, 0, DISPATCH_METHOD, &params, &result, &info,
                               &uArgErr);
             VariantClear(&result);
             SysFreeString(info.bstrSource);
             SysFreeString(info.bstrDescription);
             SysFreeString(info.bstrHelpFile);
         }},
        // ICVComponent
        {"GetName", 20, [&] { withOutBstr([&](BSTR* pb) { return pComponent->GetName(pb); }); }},
        {"GetShortDescription", 20, [&] { withOutBstr([&](BSTR* pb) { return pComponent->GetShortDescription(pb); }); }},
        {"GetVersion", 10, [&] { pComponent->GetVersion(outLong(), outLong(), outLong(), outLong()); }},
        // ICVDiagnostics
        {"GetDiagnosticsInfo", 10, [&] { withOutBstr([&](BSTR* pb) { return pDiagnostics->GetDiagnosticsInfo(pb); }); }},
        {"ExamineError", 5, [&] {
             withOutBstr([&](BSTR* pb) { return pDiagnostics->ExamineError(a.Code(), a.Guid(), pb); });
         }},
        {"FixError", 5, [&] { pDiagnostics->FixError(a.Code(), a.Guid(), outBool()); }},
        // ICVErrorInfo
        {"GetErrorDescription", 20, [&] {
             withOutBstr([&](BSTR* pb) { return pErrorInfo->GetErrorDescription(a.Code(), a.Guid(), pb); });
         }},
        {"GetHelpFile", 5, [&] {
             withOutBstr([&](BSTR* pb) { return pErrorInfo->GetHelpFile(a.Code(), a.Guid(), pb); });
         }},
        {"ICVErrorInfo::GetHelpContext", 10, [&] { pErrorInfo->GetHelpContext(a.Code(), a.Guid(), outLong()); }},
        {"CanDiagnose", 5, [&] { pErrorInfo->CanDiagnose(a.Code(), a.Guid(), outBool()); }},
        {"CanAutofix", 5, [&] { pErrorInfo->CanAutofix(a.Code(), a.Guid(), outBool()); }},
        // ICVQueryInfo
        {"GetSystemInfo", 10, [&] { withOutBstr([&](BSTR* pb) { return pQuery->GetSystemInfo(pb); }); }},
        {"GetCVDependencies", 20, [&] {
             CVFILEINFO info = {};
             pQuery->GetCVDependencies(outLong(), r.Percent(5) ? nullptr : &info);
             SysFreeString(info.bstrID);
         }},
        // ICVRegistration (inside the registry sandbox above)
        {"RegisterDefault", 1, [&] { pRegistration->RegisterDefault(); }},
        {"RegisterWith", 5, [&] {
             BSTR bstrGroup = a.Text(), bstrSubgroup = a.Text(), bstrName = a.Text();
             pRegistration->RegisterWith(bstrGroup, bstrSubgroup, bstrName, a.Number());
             SysFreeString(bstrGroup);
             SysFreeString(bstrSubgroup);
             SysFreeString(bstrName);
         }},
        {"Refresh", 5, [&] { pRegistration->Refresh(); }},
        {"UnRegisterAll", 1, [&] { pRegistration->UnRegisterAll(); }},
        // ICVCustomCommand2; command 0 opens the modal properties dialog and is left out.
        {"GetCustomCommands", 10, [&] { withOutBstr([&](BSTR* pb) { return pCommand->GetCustomCommands(pb); }); }},
        {"InvokeCustomCommand", 10, [&] {
             long lCommand = a.Number();
             pCommand->InvokeCustomCommand(lCommand == 0 ? 1 : lCommand, 0);
         }},
        {"GetCustomCommandState", 10, [&] {
             withId([&](BSTR id) { return pCommand->GetCustomCommandState(a.Number(), id, outLong()); });
         }},
        // ICVHelpDefinition: GetHelpSource frees the incoming string only when it succeeds.
        {"GetHelpSource", 20, [&] {
             if (r.Percent(5))
             {
                 pHelp->GetHelpSource(nullptr);
                 return;
             }
             BSTR bstr = a.Text();
             const BSTR bstrIncoming = bstr;
             const HRESULT hr = pHelp->GetHelpSource(&bstr);
             FreeInOut(bstrIncoming, bstr, hr == S_OK);
         }},
        {"SetHelpSource", 20, [&] { withText([&](BSTR b) { return pHelp->SetHelpSource(b); }); }},
        {"ICVHelpDefinition::GetHelpContext", 10, [&] { pHelp->GetHelpContext(outLong()); }},
        {"SetHelpContext", 10, [&] { pHelp->SetHelpContext(a.Number()); }},
        // ICVDocumentProvider7, slots 3 to 35. The DMS's forms are answered by the stand-in
        // (nothing scripted: cancelled), and window handles are null.
        {"SelectDocument", 10, [&] {
             BSTR bstrFilter = a.Text();
             withOutBstr([&](BSTR* pb) { return p->SelectDocument(0, bstrFilter, pb); });
             SysFreeString(bstrFilter);
         }},
        {"OpenDocument", 20, [&] { withRecord("OpenDocument", [&](CVDOCUMENT* pDoc) { return p->OpenDocument(pDoc); }); }},
        {"GetSaveInfo", 10, [&] {
             BSTR bstrFormats = a.Text();
             long lIndex = a.Number();
             // Bit 0x40: decide without showing the Save As dialog.
             const long lOptions = a.Number() | 0x40;
             withRecord("GetSaveInfo", [&](CVDOCUMENT* pDoc) {
                 return p->GetSaveInfo(0, bstrFormats, lOptions, r.Percent(5) ? nullptr : &lIndex, pDoc);
             });
             SysFreeString(bstrFormats);
         }},
        {"CloseDocument", 20, [&] {
             const long lFlags = a.Number();
             withRecord("CloseDocument", [&](CVDOCUMENT* pDoc) { return p->CloseDocument(pDoc, lFlags); });
         }},
        {"GetDocument", 30, [&] {
             BSTR bstrId = a.Id(uValid * 4);
             const long lMode = r.Percent(50) ? static_cast<long>(r.Below(16)) : a.Number();
             withRecord("GetDocument", [&](CVDOCUMENT* pDoc) { return p->GetDocument(bstrId, lMode, pDoc); });
             SysFreeString(bstrId);
         }},
        {"SaveDocument", 10, [&] {
             const long lFlags = a.Number();
             withRecord("SaveDocument", [&](CVDOCUMENT* pDoc) { return p->SaveDocument(pDoc, lFlags); });
         }},
        {"VersionDocument", 10, [&] {
             BSTR bstrComment = a.Text();
             if (r.Percent(5))
                 p->VersionDocument(nullptr, bstrComment);
             else
             {
                 // With a client the provider frees the incoming ID right after reading it.
                 BSTR bstr = a.Id(uValid);
                 const BSTR bstrIncoming = bstr;
                 p->VersionDocument(&bstr, bstrComment);
                 FreeInOut(bstrIncoming, bstr, bClient);
             }
             SysFreeString(bstrComment);
         }},
        {"DisplayProfile", 5, [&] { withId([&](BSTR id) { return p->DisplayProfile(id, 0); }); }},
        {"GetDocIDDescription", 20, [&] {
             withId([&](BSTR id) {
                 BSTR bstr = nullptr;
                 HRESULT hr = p->GetDocIDDescription(id, r.Percent(5) ? nullptr : &bstr);
                 Free(bstr);
                 return hr;
             });
         }},
        {"SetCallingApplication", 10, [&] { withText([&](BSTR b) { return p->SetCallingApplication(b); }); }},
        {"AddHistoryEvent", 10, [&] {
             BSTR bstrApp = a.Text(), bstrComment = a.Text();
             withId([&](BSTR id) {
                 return p->AddHistoryEvent(id, a.Number(), a.Number(), a.Number(), bstrApp, bstrComment);
             });
             SysFreeString(bstrApp);
             SysFreeString(bstrComment);
         }},
        {"SelectDocumentEx", 10, [&] {
             BSTR bstrFilter = a.Text();
             withId([&](BSTR id) {
                 BSTR bstr = nullptr;
                 HRESULT hr = p->SelectDocumentEx(0, bstrFilter, id, r.Percent(5) ? nullptr : &bstr);
                 Free(bstr);
                 return hr;
             });
             SysFreeString(bstrFilter);
         }},
        {"GetLatestVersion", 10, [&] {
             if (r.Percent(5))
             {
                 p->GetLatestVersion(nullptr);
                 return;
             }
             // The incoming ID stays the host's: the provider overwrites the place without freeing it.
             BSTR bstr = a.Id(uValid);
             const BSTR bstrIncoming = bstr;
             p->GetLatestVersion(&bstr);
             FreeInOut(bstrIncoming, bstr, false);
         }},
        {"GetRelatedDocuments", 10, [&] {
             withId([&](BSTR id) {
                 long lCount = 0;
                 CVDOCUMENT* pDocs = nullptr;
                 HRESULT hr = p->GetRelatedDocuments(id, r.Percent(5) ? nullptr : &lCount, r.Percent(5) ? nullptr : &pDocs);
                 FreeArray(pDocs, lCount);
                 return hr;
             });
         }},
        {"GetVersions", 10, [&] {
             withId([&](BSTR id) {
                 long lCount = 0;
                 CVDOCUMENTVERSION* pVersions = nullptr;
                 HRESULT hr = p->GetVersions(id, r.Percent(5) ? nullptr : &lCount, r.Percent(5) ? nullptr : &pVersions);
                 FreeArray(pVersions, lCount);
                 return hr;
             });
         }},
        {"RelateDocument", 10, [&] {
             BSTR bstrParent = a.Id(uValid);
             withRecord("RelateDocument", [&](CVDOCUMENT* pDoc) { return p->RelateDocument(pDoc, bstrParent); });
             SysFreeString(bstrParent);
         }},
        {"DeleteDocument", 5, [&] { withId([&](BSTR id) { return p->DeleteDocument(id); }); }},
        {"TranslateOdmaID", 20, [&] {
             withId([&](BSTR id) {
                 BSTR bstr = nullptr;
                 HRESULT hr = p->TranslateOdmaID(id, r.Percent(5) ? nullptr : &bstr);
                 Free(bstr);
                 return hr;
             });
         }},
        {"GetDocumentLockStatus", 20, [&] {
             withId([&](BSTR id) {
                 BSTR bstr = nullptr;
                 HRESULT hr = p->GetDocumentLockStatus(id, outLong(), r.Percent(5) ? nullptr : &bstr);
                 Free(bstr);
                 return hr;
             });
         }},
        {"LockDocument", 10, [&] {
             const long lLock = r.Percent(80) ? static_cast<long>(r.Below(4)) : a.Number();
             withId([&](BSTR id) { return p->LockDocument(id, lLock); });
         }},
        {"LockDocumentAsOtherUserForTesting", 5, [&] {
             BSTR bstrUser = a.Text(), bstrPassword = a.Text();
             withId([&](BSTR id) { return p->LockDocumentAsOtherUserForTesting(id, bstrUser, bstrPassword, a.Number()); });
             SysFreeString(bstrUser);
             SysFreeString(bstrPassword);
         }},
        {"ImportDocument", 10, [&] {
             const short nFlags = static_cast<short>(a.Number());
             withRecord("ImportDocument", [&](CVDOCUMENT* pDoc) { return p->ImportDocument(pDoc, nFlags); });
         }},
        {"GetCurrentDmsUser", 10, [&] {
             withId([&](BSTR id) {
                 BSTR bstr = nullptr;
                 HRESULT hr = p->GetCurrentDmsUser(id, r.Percent(5) ? nullptr : &bstr);
                 Free(bstr);
                 return hr;
             });
         }},
        {"GetCapabilities", 10, [&] { withId([&](BSTR id) { return p->GetCapabilities(id, a.Number(), outLong()); }); }},
        {"SaveDocumentEx", 10, [&] {
             BSTR bstrOptions = a.Text();
             withRecord("SaveDocumentEx", [&](CVDOCUMENT* pDoc) {
                 return p->SaveDocumentEx(pDoc, a.Number(), bstrOptions, outLong());
             });
             SysFreeString(bstrOptions);
         }},
        {"SetHostWindow", 10, [&] { p->SetHostWindow(0); }},
        {"SetHostOptions", 10, [&] { p->SetHostOptions(a.Number()); }},
        {"Resolve", 20, [&] { withRecord("Resolve", [&](CVDOCUMENT* pDoc) { return p->Resolve(pDoc); }); }},
        {"CanResolve", 10, [&] { p->CanResolve(outBool()); }},
        {"ResetState", 10, [&] { p->ResetState(); }},
        {"GetDocumentProperty", 10, [&] {
             BSTR bstrProperty = a.Text();
             VARIANT value;
             VariantInit(&value);
             withId([&](BSTR id) { return p->GetDocumentProperty(id, bstrProperty, r.Percent(5) ? nullptr : &value); });
             VariantClear(&value);
             SysFreeString(bstrProperty);
         }},
        {"IsDmsInOfflineMode", 10, [&] { withId([&](BSTR id) { return p->IsDmsInOfflineMode(id, outBool()); }); }},
        {"SetDocumentProperty", 10, [&] {
             BSTR bstrProperty = a.Text();
             VARIANT value;
             VariantInit(&value);
             if (r.Percent(50))
             {
                 value.vt = VT_BSTR;
                 value.bstrVal = a.Text();
             }
             else
             {
                 value.vt = VT_I4;
                 value.lVal = a.Number();
             }
             withId([&](BSTR id) { return p->SetDocumentProperty(id, bstrProperty, value); });
             VariantClear(&value);
             SysFreeString(bstrProperty);
         }},
    };

    unsigned uTotalWeight = 0;
    for (const Method& m : methods)
        uTotalWeight += m.weight;
    std::vector<long> perMethod(methods.size(), 0);
    long lExceptions = 0;
    auto callOne = [&](size_t i, long lCall) {
        g_pszCall = methods[i].name;
        g_lCall = lCall;
        try
        {
            methods[i].call();
        }
        catch (...)
        {
            ADD_FAILURE() << "an exception crossed the interface in call " << lCall << " (" << methods[i].name << ")";
            ++lExceptions;
        }
        ++perMethod[i];
    };

    // One call of each method first: the DMS session, the parked application and the module's
    // one-time state are made before the allocation spy counts.
    for (size_t i = 0; i < methods.size(); ++i)
        callOne(i, -1);
    const LONG lSessionObjects = StandIn_LiveObjects();
    {
        testing_support::AllocationSpy spy;
        for (long lCall = 0; lCall < lCalls && lExceptions < 10; ++lCall)
        {
            // The run moves through client states: DM 5.3, then DM 6.0, then offline, then no client.
            if (lCall == lCalls * 6 / 10)
            {
                ASSERT_EQ(S_OK, StandIn_Install(L"6.0"));
            }
            if (lCall == lCalls * 75 / 100)
            {
                ASSERT_EQ(S_OK, StandIn_SetConnectionState(1 + static_cast<LONG>(r.Below(2))));
            }
            if (lCall == lCalls * 85 / 100)
            {
                StandIn_SetConnectionState(0);
                installPath.Delete();
                bClient = false;
            }
            uint32_t uPick = r.Below(uTotalWeight);
            size_t i = 0;
            while (uPick >= methods[i].weight)
                uPick -= methods[i++].weight;
            callOne(i, lCall);
        }
        g_pszCall = "after the run";
        EXPECT_EQ(0, spy.Outstanding()) << "strings or blocks handed out and never freed";
    }
    EXPECT_EQ(lSessionObjects, StandIn_LiveObjects()) << "DMS objects outlived their calls";
    for (size_t i = 0; i < methods.size(); ++i)
        EXPECT_GT(perMethod[i], 1) << methods[i].name << " was never called by the run";
    EXPECT_GT(lFailuresLeftUnchanged, 0);
    EXPECT_GT(lRecordsFilled, 0) << "no call filled a record: the allocating paths did not run";
    pDispatch = nullptr;
    pComponent = nullptr;
    pDiagnostics = nullptr;
    pErrorInfo = nullptr;
    pQuery = nullptr;
    pRegistration = nullptr;
    pCommand = nullptr;
    pHelp = nullptr;
    m_pProvider = nullptr;
    EXPECT_EQ(S_OK, CallDllCanUnloadNow()) << "an object or lock outlived the run";
    printf("%ld calls of %u methods, seed %llu; %ld records filled, %ld failures left the record alone\n", lCalls,
           static_cast<unsigned>(methods.size()), static_cast<unsigned long long>(seed), lRecordsFilled, lFailuresLeftUnchanged);
}

}  // namespace
