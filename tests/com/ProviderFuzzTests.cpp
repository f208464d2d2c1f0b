// Random calls of every method of every interface of the provider against a seeded DMS stand-in:
// no crash or exception across the interface, a failed call leaves the host's record alone, and
// nothing handed out leaks. QUENDREL_FUZZ_SEED and QUENDREL_FUZZ_CALLS replay another run.

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>

#include "ComTestSupport.h"
#include "DmsStandInControl.h"
#include "RegistrySandbox.h"

namespace {

// splitmix64: the same on every platform, so that a seed replays a run exactly.
struct Random
{
    uint64_t state;
    uint32_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
    }
    uint32_t Below(size_t n) { return n ? Next() % static_cast<uint32_t>(n) : 0; }
    bool Percent(uint32_t p) { return Below(100) < p; }
};

uint64_t EnvNumber(const char* pszName, uint64_t uDefault)
{
    const char* psz = getenv(pszName);
    return psz && *psz ? strtoull(psz, nullptr, 0) : uDefault;
}

const long kUnwritten = 0x5A5A5A5A;

// The arguments of one call, drawn at random, owned here and freed as the host frees them (Clear).
class Arguments
{
public:
    Arguments(Random& r, std::vector<std::wstring> validIds) : m_r(r), m_validIds(std::move(validIds)) {}

    // A fresh string the caller owns: mostly printable, some separators, zeros and lone surrogates.
    BSTR NewText(size_t cchMax)
    {
        const UINT cch = m_r.Below(cchMax + 1);
        BSTR bstr = SysAllocStringLen(nullptr, cch);
        for (UINT i = 0; i < cch; ++i)
            bstr[i] = m_r.Percent(15) ? L"\0/\\"[m_r.Below(3)]
                      : m_r.Percent(5) ? static_cast<wchar_t>(0xD800 + m_r.Below(0x800))
                                       : static_cast<wchar_t>(0x20 + m_r.Below(0x5F));
        return bstr;
    }
    BSTR NewText() { return m_r.Percent(20) ? nullptr : NewText(m_r.Percent(5) ? 3000 : 30); }
    // A fresh document ID (or null) that the caller owns. Valid IDs reach the DMS and cost most.
    BSTR NewId(uint32_t uValidPercent)
    {
        static const wchar_t* const kMalformed[] = {
            L"PowerDocs://", L"PowerDocs://LIB", L"PowerDocs://LIB/", L"PowerDocs://LIB/abc/1", L"//",
            L"PowerDocs://LIB/-1/1", L"PowerDocs://LIB/99999999999999999999/1", L"PowerDocs:\\\\LIB\\1\\1",
            L"::ODMA\\PCDOCS", L"::ODMA\\PCDOCS\\LIB\\1\\1", L"PowerDocs://LIB/1/1/1", L"PowerDocs://lib/1/x",
            L"PowerDocs://NOPE/1/1", L"PowerDocs://LIB/999999/1", L"PowerDocs://LIB/1/999"};
        if (m_r.Percent(uValidPercent))
            return SysAllocString(m_validIds[m_r.Below(m_validIds.size())].c_str());
        switch (m_r.Below(5))
        {
        case 0: return nullptr;
        case 1: return SysAllocString(L"");
        case 2: return NewText(m_r.Percent(50) ? 300 : m_r.Percent(90) ? 5000 : 70000);  // beyond any path's length
        case 3: return SysAllocString(kMalformed[m_r.Below(sizeof(kMalformed) / sizeof(kMalformed[0]))]);
        default: return NewText(40);
        }
    }

    // Strings handed in, owned until the call is over.
    BSTR Id(uint32_t uValidPercent) { return Keep(NewId(uValidPercent)); }
    BSTR Text() { return Keep(NewText()); }
    BSTR Text(size_t cchMax) { return Keep(NewText(cchMax)); }
    // Out places, now and then none at all.
    BSTR* OutText() { return m_r.Percent(5) ? nullptr : m_out.strings.emplace_back().GetAddress(); }
    long* OutLong() { return m_r.Percent(5) ? nullptr : &m_out.longs.emplace_back(kUnwritten); }
    VARIANT_BOOL* OutBool() { return m_r.Percent(5) ? nullptr : &m_out.bools.emplace_back(VARIANT_BOOL(kUnwritten)); }
    // An array handed out with its count; freed with the strings of its elements.
    long* Count() { return m_r.Percent(5) ? nullptr : &m_out.lCount; }
    CVDOCUMENT** OutDocs() { return m_r.Percent(5) ? nullptr : &m_out.pDocs; }
    CVDOCUMENTVERSION** OutVersions() { return m_r.Percent(5) ? nullptr : &m_out.pVersions; }
    bool OutUntouched() const
    {
        const Owned& o = m_out;
        return o.lCount == kUnwritten && !o.pDocs && !o.pVersions &&
               std::all_of(o.strings.begin(), o.strings.end(), [](const _bstr_t& b) { return !b; }) &&
               std::all_of(o.longs.begin(), o.longs.end(), [](long l) { return l == kUnwritten; }) &&
               std::all_of(o.bools.begin(), o.bools.end(), [](VARIANT_BOOL vb) { return vb == VARIANT_BOOL(kUnwritten); });
    }
    void Clear()
    {
        for (long i = 0; m_out.pDocs && i < m_out.lCount; ++i)
            FreeHostDocument(m_out.pDocs[i]);
        for (long i = 0; m_out.pVersions && i < m_out.lCount; ++i)
            SysFreeString(m_out.pVersions[i].bstrVersion), FreeHostDocument(m_out.pVersions[i].cvDocument);
        CoTaskMemFree(m_out.pDocs);
        CoTaskMemFree(m_out.pVersions);
        m_out = Owned();
    }

    long Number()
    {
        static const long kEdgeNumbers[] = {0, 1, 2, 3, 8, 10, -1, 0x40, 0x7FFFFFFF, static_cast<long>(0x80000000)};
        return m_r.Percent(70) ? kEdgeNumbers[m_r.Below(sizeof(kEdgeNumbers) / sizeof(kEdgeNumbers[0]))] : static_cast<long>(m_r.Next());
    }
    // The provider's own codes, the host's, codes near S_OK and E_FAIL, and any other.
    HRESULT Code()
    {
        static const HRESULT kBases[] = {static_cast<HRESULT>(0x801D0000), static_cast<HRESULT>(0x80120000), S_OK, E_FAIL};
        return m_r.Percent(75) ? kBases[m_r.Below(4)] + static_cast<HRESULT>(m_r.Below(0x20)) : static_cast<HRESULT>(m_r.Next());
    }
    GUID Guid()
    {
        GUID guid = GUID_NULL;
        for (size_t i = 0; m_r.Percent(50) && i < sizeof(guid); ++i)
            reinterpret_cast<BYTE*>(&guid)[i] = static_cast<BYTE>(m_r.Next());
        return guid;
    }

    // A host record with random strings (some null), numbers and flags; the caller frees it.
    void Fill(CVDOCUMENT& doc, uint32_t uValidPercent)
    {
        doc = {NewId(uValidPercent),
               m_r.Percent(30) ? SysAllocString((ProviderTempFolder() + L"none.doc").c_str()) : NewText(),
               NewText(), NewText(), NewText(), NewText(), NewText(), NewText(),
               m_r.Percent(50) ? 0.0 : static_cast<double>(m_r.Next()) / 7.0, Number(), Number(),
               m_r.Percent(50) ? static_cast<long>(m_r.Below(3)) : Number()};
    }

private:
    BSTR Keep(BSTR bstr) { return m_out.in.emplace_back(bstr, false), bstr; }

    Random& m_r;
    std::vector<std::wstring> m_validIds;
    struct Owned
    {
        std::deque<_bstr_t> in, strings;
        std::deque<long> longs;
        std::deque<VARIANT_BOOL> bools;
        long lCount = kUnwritten;
        CVDOCUMENT* pDocs = nullptr;
        CVDOCUMENTVERSION* pVersions = nullptr;
    } m_out;
};

// One row per method: name, share of the calls, the call. kRecord rows get a host record (now and
// then none) in pDoc; kDms rows answer E_NO_DMS_CLIENT without a client and write nothing.
enum : unsigned { kRecord = 1, kDms = 2 };
struct Method { const char* name; unsigned weight; std::function<HRESULT(CVDOCUMENT* pDoc)> call; unsigned flags = 0; };
#define CALL(expression) [&]([[maybe_unused]] CVDOCUMENT* pDoc) -> HRESULT { return (expression); }

// The record's bytes up to its last member: a failed call must leave them as they were.
const size_t kRecordBytes = offsetof(CVDOCUMENT, lFlags) + sizeof(long);

TEST(ProviderFuzzTest, RandomCallsOfEveryMethodNeitherCrashNorThrowNorLeak)
{
    DmsStandInScope dms;
    // Put back for the programs after this one, however the test ends: the client the run changes.
    const std::shared_ptr<void> restore(nullptr, [](void*) { StandIn_Install(L"5.3"), StandIn_Reset(); });
    ASSERT_TRUE(dms.Prepare(L"5.3"));
    const LONG lTwo = dms.AddDocument(L"Two versions", "first"), lTaken = dms.AddDocument(L"Taken by bob", "taken");
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", lTwo, L"2", "second", 6, L"second"));
    ASSERT_EQ(S_OK, StandIn_AddVersion(L"LIB", lTwo, L"PDF", "attachment", 10, L"attachment"));
    ASSERT_EQ(S_OK, StandIn_SetLock(L"LIB", lTaken, L"bob"));
    std::vector<std::wstring> validIds = {testing_support::DocId(lTwo, L"2"), testing_support::DocId(lTwo, L"PDF")};
    for (LONG n : {dms.AddDocument(L"Plain", "one"), lTwo, lTaken})
        for (const std::wstring& id : {testing_support::DocId(n, L"1"), testing_support::DocId(n, L""),
                                       L"powerdocs://lib/" + std::to_wstring(n) + L"/1",
                                       L"::ODMA\\PCDOCS\\LIB\\" + std::to_wstring(n) + L"\\1"})
            validIds.push_back(id);
    ICVDocumentProvider7Ptr pProvider;
    ASSERT_EQ(S_OK, pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
    // Host-level registration writes the host's option store: the test's writes go away again.
    registry_sandbox::CRegistrySandbox registration({{HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options\\DocumentProviders"}});
    testing_support::ScopedRegValue resolve(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options", L"DM5ResolveFilenames");
    resolve.SetDword(1);
    testing_support::ScopedRegValue installPath(HKEY_LOCAL_MACHINE, kDmsClientKey, L"InstallPath");

    const uint64_t seed = EnvNumber("QUENDREL_FUZZ_SEED", 20261207);
    const long lCalls = static_cast<long>(EnvNumber("QUENDREL_FUZZ_CALLS", 100000));
    Random r{seed};
    Arguments a(r, validIds);
    bool bClient = true;         // InstallPath present: DMS methods reach the logic object
    const uint32_t uValid = 10;  // percent of document IDs that name a seeded document
    auto id = [&] { return a.Id(uValid); };
    auto text = [&] { return a.Text(); };

    // An in/out string: the host frees the incoming string unless the provider took it, and the
    // string in the place afterwards when it is another.
    bool bInOutWritten = false;
    auto inOut = [&](BSTR bstrIn, const std::function<HRESULT(BSTR*)>& call, const std::function<bool(HRESULT)>& taken) {
        BSTR bstr = bstrIn;
        const bool bPlace = !r.Percent(5);
        const HRESULT hr = call(bPlace ? &bstr : nullptr);
        const bool bTaken = bPlace && taken(hr);
        bInOutWritten = bstr != bstrIn;
        if (!bTaken)
            SysFreeString(bstrIn);
        if (bTaken || bstr != bstrIn)
            SysFreeString(bstr);
        return hr;
    };

    // The provider's other interfaces are asked for at every call.
    ICVDocumentProvider7* p = pProvider;
    const IID knownIids[] = {IID_IUnknown, IID_IDispatch, IID_IDocProvider, IID_ICVComponent, IID_ICVDiagnostics,
                             IID_ICVErrorInfo, IID_ICVQueryInfo, IID_ICVRegistration, IID_ICVCustomCommand,
                             IID_ICVCustomCommand2, IID_ICVHelpDefinition, IID_ICVDocumentProvider,
                             IID_ICVDocumentProvider2, IID_ICVDocumentProvider3, IID_ICVDocumentProvider4,
                             IID_ICVDocumentProvider5, IID_ICVDocumentProvider6, IID_ICVDocumentProvider7,
                             IID_IMarshal, IID_IClassFactory};
    UnknownPtr pAsked;  // interfaces and type information handed out
    _variant_t vArgument, vResult;
    DISPPARAMS params = {&vArgument, nullptr, 0, 0};
    EXCEPINFO excepInfo = {};
    CVFILEINFO fileInfo = {};
    UINT uArgErr = 0, uCount = 0;
    long lCommand = 0;
    DISPID dispid = 0;
    LPOLESTR names[1] = {};
    const std::vector<Method> methods = {
        // IUnknown and IDispatch (IDocProvider has no members of its own).
        {"QueryInterface", 20, CALL(pProvider->QueryInterface(r.Percent(80) ? knownIids[r.Below(sizeof(knownIids) / sizeof(IID))] : a.Guid(),
                                                                reinterpret_cast<void**>(&pAsked)))},
        {"GetTypeInfoCount", 5, CALL(IDocProviderPtr(p)->GetTypeInfoCount(r.Percent(10) ? nullptr : &uCount))},
        {"GetTypeInfo", 3, CALL(IDocProviderPtr(p)->GetTypeInfo(r.Percent(70) ? 0 : r.Next(), 0, r.Percent(10) ? nullptr : reinterpret_cast<ITypeInfo**>(&pAsked)))},
        {"GetIDsOfNames", 3, CALL((names[0] = r.Percent(50) ? const_cast<LPOLESTR>(L"GetDocument") : a.Text(20),
                                   IDocProviderPtr(p)->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid)))},
        {"Invoke", 3, CALL((vArgument = _variant_t(a.Number(), VT_I4), params.cArgs = r.Below(2),
                            IDocProviderPtr(p)->Invoke(static_cast<DISPID>(a.Number()), IID_NULL, 0, DISPATCH_METHOD,
                                                       &params, &vResult, &excepInfo, &uArgErr)))},
        // ICVComponent, ICVDiagnostics, ICVErrorInfo, ICVQueryInfo
        {"GetName", 20, CALL(ICVComponentPtr(p)->GetName(a.OutText()))},
        {"GetShortDescription", 20, CALL(ICVComponentPtr(p)->GetShortDescription(a.OutText()))},
        {"GetVersion", 10, CALL(ICVComponentPtr(p)->GetVersion(a.OutLong(), a.OutLong(), a.OutLong(), a.OutLong()))},
        {"GetDiagnosticsInfo", 10, CALL(ICVDiagnosticsPtr(p)->GetDiagnosticsInfo(a.OutText()))},
        {"ExamineError", 5, CALL(ICVDiagnosticsPtr(p)->ExamineError(a.Code(), a.Guid(), a.OutText()))},
        {"FixError", 5, CALL(ICVDiagnosticsPtr(p)->FixError(a.Code(), a.Guid(), a.OutBool()))},
        {"GetErrorDescription", 20, CALL(ICVErrorInfoPtr(p)->GetErrorDescription(a.Code(), a.Guid(), a.OutText()))},
        {"GetHelpFile", 5, CALL(ICVErrorInfoPtr(p)->GetHelpFile(a.Code(), a.Guid(), a.OutText()))},
        {"ICVErrorInfo::GetHelpContext", 10, CALL(ICVErrorInfoPtr(p)->GetHelpContext(a.Code(), a.Guid(), a.OutLong()))},
        {"CanDiagnose", 5, CALL(ICVErrorInfoPtr(p)->CanDiagnose(a.Code(), a.Guid(), a.OutBool()))},
        {"CanAutofix", 5, CALL(ICVErrorInfoPtr(p)->CanAutofix(a.Code(), a.Guid(), a.OutBool()))},
        {"GetSystemInfo", 10, CALL(ICVQueryInfoPtr(p)->GetSystemInfo(a.OutText()))},
        {"GetCVDependencies", 20, CALL(ICVQueryInfoPtr(p)->GetCVDependencies(a.OutLong(), r.Percent(5) ? nullptr : &fileInfo))},
        // ICVRegistration (inside the registry sandbox above)
        {"RegisterDefault", 1, CALL(ICVRegistrationPtr(p)->RegisterDefault())},
        {"RegisterWith", 5, CALL(ICVRegistrationPtr(p)->RegisterWith(text(), text(), text(), a.Number()))},
        {"Refresh", 5, CALL(ICVRegistrationPtr(p)->Refresh())},
        {"UnRegisterAll", 1, CALL(ICVRegistrationPtr(p)->UnRegisterAll())},
        // ICVCustomCommand2; command 0 opens the modal properties dialog and is left out.
        {"GetCustomCommands", 10, CALL(ICVCustomCommand2Ptr(p)->GetCustomCommands(a.OutText()))},
        {"InvokeCustomCommand", 10, CALL(ICVCustomCommand2Ptr(p)->InvokeCustomCommand((lCommand = a.Number()) ? lCommand : 1, 0))},
        {"GetCustomCommandState", 10, CALL(ICVCustomCommand2Ptr(p)->GetCustomCommandState(a.Number(), id(), a.OutLong()))},
        // ICVHelpDefinition: GetHelpSource takes the incoming string only when it succeeds.
        {"GetHelpSource", 20, CALL(inOut(a.NewText(), [&](BSTR* pb) { return ICVHelpDefinitionPtr(p)->GetHelpSource(pb); },
                                         [](HRESULT hr) { return hr == S_OK; }))},
        {"SetHelpSource", 20, CALL(ICVHelpDefinitionPtr(p)->SetHelpSource(text()))},
        {"ICVHelpDefinition::GetHelpContext", 10, CALL(ICVHelpDefinitionPtr(p)->GetHelpContext(a.OutLong()))},
        {"SetHelpContext", 10, CALL(ICVHelpDefinitionPtr(p)->SetHelpContext(a.Number()))},
        // ICVDocumentProvider7, slots 3 to 35. The DMS's forms are answered by the stand-in
        // (nothing scripted: cancelled), and window handles are null.
        {"SelectDocument", 10, CALL(p->SelectDocument(0, text(), a.OutText())), kDms},
        {"OpenDocument", 20, CALL(p->OpenDocument(pDoc)), kDms | kRecord},
        // Bit 0x40: decide without showing the Save As dialog.
        {"GetSaveInfo", 10, CALL(p->GetSaveInfo(0, text(), a.Number() | 0x40, a.OutLong(), pDoc)), kDms | kRecord},
        {"CloseDocument", 20, CALL(p->CloseDocument(pDoc, a.Number())), kDms | kRecord},
        {"GetDocument", 30, CALL(p->GetDocument(a.Id(uValid * 4), r.Percent(50) ? static_cast<long>(r.Below(16)) : a.Number(), pDoc)), kDms | kRecord},
        {"SaveDocument", 10, CALL(p->SaveDocument(pDoc, a.Number())), kDms | kRecord},
        // With a client the provider frees the incoming ID right after reading it.
        {"VersionDocument", 10, CALL(inOut(a.NewId(uValid), [&](BSTR* pb) { return p->VersionDocument(pb, text()); },
                                           [&](HRESULT) { return bClient; })), kDms},
        {"DisplayProfile", 5, CALL(p->DisplayProfile(id(), 0)), kDms},
        {"GetDocIDDescription", 20, CALL(p->GetDocIDDescription(id(), a.OutText())), kDms},
        {"SetCallingApplication", 10, CALL(p->SetCallingApplication(text())), kDms},
        {"AddHistoryEvent", 10, CALL(p->AddHistoryEvent(id(), a.Number(), a.Number(), a.Number(), text(), text())), kDms},
        {"SelectDocumentEx", 10, CALL(p->SelectDocumentEx(0, text(), id(), a.OutText())), kDms},
        // The incoming ID stays the host's: the provider overwrites the place without freeing it.
        {"GetLatestVersion", 10, CALL(inOut(a.NewId(uValid), [&](BSTR* pb) { return p->GetLatestVersion(pb); },
                                            [](HRESULT) { return false; })), kDms},
        {"GetRelatedDocuments", 10, CALL(p->GetRelatedDocuments(id(), a.Count(), a.OutDocs())), kDms},
        {"GetVersions", 10, CALL(p->GetVersions(id(), a.Count(), a.OutVersions())), kDms},
        {"RelateDocument", 10, CALL(p->RelateDocument(pDoc, id())), kDms | kRecord},
        {"DeleteDocument", 5, CALL(p->DeleteDocument(id())), kDms},
        {"TranslateOdmaID", 20, CALL(p->TranslateOdmaID(id(), a.OutText())), kDms},
        {"GetDocumentLockStatus", 20, CALL(p->GetDocumentLockStatus(id(), a.OutLong(), a.OutText())), kDms},
        {"LockDocument", 10, CALL(p->LockDocument(id(), r.Percent(80) ? static_cast<long>(r.Below(4)) : a.Number())), kDms},
        {"LockDocumentAsOtherUserForTesting", 5, CALL(p->LockDocumentAsOtherUserForTesting(id(), text(), text(), a.Number())), kDms},
        {"ImportDocument", 10, CALL(p->ImportDocument(pDoc, static_cast<short>(a.Number()))), kDms | kRecord},
        {"GetCurrentDmsUser", 10, CALL(p->GetCurrentDmsUser(id(), a.OutText())), kDms},
        {"GetCapabilities", 10, CALL(p->GetCapabilities(id(), a.Number(), a.OutLong())), kDms},
        {"SaveDocumentEx", 10, CALL(p->SaveDocumentEx(pDoc, a.Number(), text(), a.OutLong())), kDms | kRecord},
        {"SetHostWindow", 10, CALL(p->SetHostWindow(0))},
        {"SetHostOptions", 10, CALL(p->SetHostOptions(a.Number()))},
        {"Resolve", 20, CALL(p->Resolve(pDoc)), kDms | kRecord},
        {"CanResolve", 10, CALL(p->CanResolve(a.OutBool()))},
        {"ResetState", 10, CALL(p->ResetState())},
        {"GetDocumentProperty", 10, CALL(p->GetDocumentProperty(id(), text(), r.Percent(5) ? nullptr : &vResult))},
        {"IsDmsInOfflineMode", 10, CALL(p->IsDmsInOfflineMode(id(), a.OutBool())), kDms},
        {"SetDocumentProperty", 10, CALL(p->SetDocumentProperty(id(), text(), r.Percent(50) ? _variant_t(a.Number(), VT_I4)
                                                                                            : _variant_t(_bstr_t(a.NewText(), false))))},
    };

    unsigned uTotalWeight = 0;
    for (const Method& m : methods)
        uTotalWeight += m.weight;
    std::vector<long> perMethod(methods.size(), 0);
    long lExceptions = 0, lFailuresLeftUnchanged = 0, lRecordsFilled = 0, lWithoutClient = 0;
    auto callOne = [&](size_t i, long lCall) {
        const Method& m = methods[i];
        CVDOCUMENT doc = {}, before;
        if ((m.flags & kRecord))
            a.Fill(doc, uValid);
        std::memcpy(&before, &doc, sizeof(doc));
        try
        {
            const HRESULT hr = m.call((m.flags & kRecord) && r.Percent(3) ? nullptr : &doc);
            const bool bUnchanged = std::memcmp(&before, &doc, kRecordBytes) == 0;
            EXPECT_TRUE(SUCCEEDED(hr) || bUnchanged) << m.name << " changed the record and failed";
            lFailuresLeftUnchanged += (m.flags & kRecord) && FAILED(hr) && bUnchanged;
            lRecordsFilled += (m.flags & kRecord) && SUCCEEDED(hr) && doc.bstrDocID != before.bstrDocID;
            if (!bClient && (m.flags & kDms))
            {
                EXPECT_EQ(E_NO_DMS_CLIENT, hr) << m.name << " without a client";
                EXPECT_TRUE(a.OutUntouched() && !bInOutWritten) << m.name << " wrote an out value without a client";
                ++lWithoutClient;
            }
        }
        catch (...)
        {
            ADD_FAILURE() << "an exception crossed the interface in call " << lCall << " (" << m.name << ")";
            ++lExceptions;
        }
        // A fetched copy in the provider's folder is the host's to delete; so are all out values.
        const std::wstring strTemp = ProviderTempFolder();
        if (doc.bstrLocalFile && _wcsnicmp(doc.bstrLocalFile, strTemp.c_str(), strTemp.size()) == 0)
            DeleteFileW(doc.bstrLocalFile);
        FreeHostDocument(doc);
        pAsked = nullptr;
        for (BSTR* pb : {&excepInfo.bstrSource, &excepInfo.bstrDescription, &excepInfo.bstrHelpFile, &fileInfo.bstrID})
            SysFreeString(*pb), *pb = nullptr;
        vResult.Clear();
        a.Clear();
        bInOutWritten = false;
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
            if (lCall == lCalls * 6 / 10 || lCall == lCalls * 75 / 100)
            {
                ASSERT_EQ(S_OK, lCall == lCalls * 6 / 10 ? StandIn_Install(L"6.0")
                                                         : StandIn_SetConnectionState(1 + static_cast<LONG>(r.Below(2))));
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
        EXPECT_EQ(0, spy.Outstanding()) << "strings or blocks handed out and never freed";
    }
    EXPECT_EQ(lSessionObjects, StandIn_LiveObjects()) << "DMS objects outlived their calls";
    for (size_t i = 0; i < methods.size(); ++i)
        EXPECT_GT(perMethod[i], 1) << methods[i].name << " was never called by the run";
    EXPECT_GT(lFailuresLeftUnchanged, 0);
    EXPECT_GT(lWithoutClient, 0);
    EXPECT_GT(lRecordsFilled, 0) << "no call filled a record: the allocating paths did not run";
    pProvider = nullptr;
    EXPECT_EQ(S_OK, CallDllCanUnloadNow()) << "an object or lock outlived the run";

    printf("%ld calls of %u methods, seed %llu; %ld records filled, %ld failures left the record alone\n", lCalls,
           static_cast<unsigned>(methods.size()), static_cast<unsigned long long>(seed), lRecordsFilled, lFailuresLeftUnchanged);
}

}  // namespace
