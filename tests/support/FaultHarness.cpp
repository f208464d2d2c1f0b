#include "FaultHarness.h"

#include <comdef.h>

#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "DmsStandInControl.h"
#include "TestSupport.h"

_COM_SMARTPTR_TYPEDEF(ICVDocumentProvider7, __uuidof(ICVDocumentProvider7));

namespace fault_harness {

namespace {

using testing_support::ReadFileBytes;

std::string Narrow(const std::wstring& s)
{
    return std::string(s.begin(), s.end());
}

std::string Hex(HRESULT hr)
{
    char sz[16];
    snprintf(sz, sizeof sz, "0x%08lX", static_cast<unsigned long>(hr));
    return sz;
}

ICVDocumentProvider7Ptr NewProvider()
{
    ICVDocumentProvider7Ptr pProvider;
    EXPECT_EQ(S_OK, pProvider.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER));
    return pProvider;
}

// Stand-in objects alive once the module has let its parked DMS application go.
LONG SettledLiveObjects()
{
    if (HMODULE hModule = GetModuleHandleW(L"CmQuendrel.dll"))
        if (auto pfn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                reinterpret_cast<void*>(GetProcAddress(hModule, "DllCanUnloadNow"))))
            pfn();
    return StandIn_LiveObjects();
}

// Lets go of the error information the last failing call left on this thread.
void DropThreadErrorInfo()
{
    IErrorInfo* pInfo = nullptr;
    if (GetErrorInfo(0, &pInfo) == S_OK && pInfo)
        pInfo->Release();
}

const wchar_t kUser[] = L"alice";
const wchar_t kOtherUser[] = L"bob";

std::wstring Id(LONG lDoc, const wchar_t* pszLabel)
{
    return L"PowerDocs://LIB/" + std::to_wstring(lDoc) + L"/" + pszLabel;
}

// A file held open without sharing by another process (holdfile.exe beside the tests) for
// the lifetime of the object; a file it had to make is deleted afterwards.
class HeldFile
{
public:
    explicit HeldFile(const std::wstring& strPath) : m_strPath(strPath)
    {
        m_bExisted = GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
        for (int i = 0; i < 400 && !m_bHeld; ++i)
        {
            // The probe below can itself make the holder's open fail: a holder that gave up is
            // started again.
            if (!m_pi.hProcess || WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0)
            {
                Release();
                if (!Start(strPath))
                    return;
                Sleep(50);
            }
            HANDLE h = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
            m_bHeld = h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
            if (!m_bHeld)
                Sleep(50);
        }
    }
    ~HeldFile()
    {
        Release();
        if (!m_bExisted)
            DeleteFileW(m_strPath.c_str());
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Held() const { return m_bHeld; }

private:
    bool Start(const std::wstring& strPath)
    {
        std::wstring strCommand = L"\"" + testing_support::ProgramFolder() + L"\\holdfile.exe\" \"" + strPath + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        return CreateProcessW(nullptr, &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi) != 0;
    }
    void Release()
    {
        if (!m_pi.hProcess)
            return;
        TerminateProcess(m_pi.hProcess, 0);
        WaitForSingleObject(m_pi.hProcess, 10000);
        CloseHandle(m_pi.hThread);
        CloseHandle(m_pi.hProcess);
        m_pi = PROCESS_INFORMATION{};
    }

    std::wstring m_strPath;
    bool m_bExisted = false;
    bool m_bHeld = false;
    PROCESS_INFORMATION m_pi = {};
};

// The stand-in's forms for Raised, ErrorNumber and Silent.
const LONG kStandInForms[] = {STANDIN_FAULT_RAISED, STANDIN_FAULT_ERROR_NUMBER, STANDIN_FAULT_SILENT};

// The injection points of the calls counted since `before` was taken: the first three calls of a
// method in each form it can fail in, later ones raised.
std::vector<FaultRun> PointsSince(const std::map<std::wstring, LONG>& before)
{
    std::vector<FaultRun> points;
    for (const StandInCall& call : StandIn_EachCountedCall())
    {
        auto it = before.find(call.strMethod);
        const LONG lCall = call.lCall - (it == before.end() ? 0 : it->second);
        if (lCall < 1)
            continue;
        const std::pair<wchar_t, FaultForm> forms[] = {
            {L'R', FaultForm::Raised}, {L'E', FaultForm::ErrorNumber}, {L'S', FaultForm::Silent}};
        for (const auto& form : forms)
            if (call.strForms.find(form.first) != std::wstring::npos && (lCall <= 3 || form.second == FaultForm::Raised))
            {
                points.emplace_back();
                points.back().strMethod = call.strMethod;
                points.back().lCall = lCall;
                points.back().form = form.second;
            }
    }
    return points;
}

std::map<std::wstring, LONG> CallsSoFar()
{
    std::map<std::wstring, LONG> calls;
    for (const StandInCall& call : StandIn_EachCountedCall())
        calls[call.strMethod] = call.lCall;
    return calls;
}

}  // namespace

CatalogCounts CountCatalog()
{
    const _bstr_t catalog(StandIn_ListCatalog(), false);
    std::wistringstream lines(catalog.length() ? static_cast<const wchar_t*>(catalog) : L"");
    CatalogCounts counts;
    // Profiles are listed indented by two, their versions by six, attachments marked.
    for (std::wstring line; std::getline(lines, line);)
        if (line.find(L"(attachment)") != std::wstring::npos)
            ++counts.nAttachments;
        else if (line.compare(0, 6, L"      ") == 0)
            ++counts.nVersions;
        else if (line.compare(0, 2, L"  ") == 0)
            ++counts.nProfiles;
    return counts;
}

std::string FaultRun::Where() const
{
    static const char* const kForms[] = {"raised", "error number", "status 0 without error number", "local copy"};
    if (form == FaultForm::LocalCopy)
        return "the local copy's target held open";
    return Narrow(strMethod) + " #" + std::to_string(lCall) + " (" + kForms[static_cast<int>(form)] + ")";
}

int RunWithFaultAtEachCall(const Step& setup, const Operation& operation, const Check& check,
                           const std::function<std::wstring()>& localCopyTarget)
{
    // The clean run: its calls are the injection points. A run before it makes the calls that
    // only a process's first operation makes (the logon among them), so that the n-th call of a
    // method is the same call in the clean run and in every faulted run.
    std::vector<FaultRun> points;
    for (int nRun = 0; nRun < 2; ++nRun)
    {
        StandIn_ClearFaults();
        ICVDocumentProvider7Ptr pProvider = NewProvider();
        setup(pProvider);
        const std::map<std::wstring, LONG> before = CallsSoFar();
        const HRESULT hrClean = operation(pProvider);
        EXPECT_TRUE(SUCCEEDED(hrClean)) << "the operation fails without a fault: " << Hex(hrClean);
        points = PointsSince(before);
    }
    EXPECT_FALSE(points.empty()) << "the operation made no DMS call that can fail";
    const std::wstring strTarget = localCopyTarget ? localCopyTarget() : std::wstring();
    const LONG lBaseObjects = SettledLiveObjects();
    if (!strTarget.empty())
    {
        points.emplace_back();
        points.back().form = FaultForm::LocalCopy;
    }

    for (FaultRun& run : points)
    {
        StandIn_ClearFaults();
        ICVDocumentProvider7Ptr pProvider = NewProvider();
        setup(pProvider);
        run.before = CountCatalog();
        long lOutstanding = 0;
        {
            std::unique_ptr<HeldFile> pHeld;
            if (run.form == FaultForm::LocalCopy)
            {
                pHeld.reset(new HeldFile(strTarget));
                EXPECT_TRUE(pHeld->Held()) << "could not hold " << Narrow(strTarget);
            }
            else
                EXPECT_EQ(S_OK, StandIn_InjectFaultForm(run.strMethod.c_str(), kStandInForms[static_cast<int>(run.form)],
                                                        run.lCall, FALSE));
            testing_support::AllocationSpy spy;
            run.hr = operation(pProvider);
            // A fault the run did not reach must not strike the checks.
            if (run.form != FaultForm::LocalCopy)
                StandIn_InjectFaultForm(run.strMethod.c_str(), STANDIN_FAULT_NONE, 0, FALSE);
            DropThreadErrorInfo();
            pProvider = nullptr;
            EXPECT_GE(lBaseObjects, SettledLiveObjects()) << "a DMS object outlived the run: " << run.Where();
            lOutstanding = spy.Outstanding();
        }
        EXPECT_EQ(0, lOutstanding) << "strings or blocks left allocated: " << run.Where();
        EXPECT_TRUE(run.form != FaultForm::LocalCopy || FAILED(run.hr))
            << "success with the copy's target held open: " << Hex(run.hr);
        check(run);
    }
    StandIn_ClearFaults();
    return static_cast<int>(points.size());
}

bool IsDM6()
{
    wchar_t sz[32] = {};
    DWORD cb = sizeof(sz);
    return RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Hummingbird\\PowerDOCS", L"CurrentVersion", RRF_RT_REG_SZ,
                        nullptr, sz, &cb) == ERROR_SUCCESS &&
           sz[0] == L'6';
}

std::string StoredContent(LONG lDoc, const wchar_t* pszLabel, const wchar_t* pszLibrary)
{
    wchar_t sz[MAX_PATH] = {};
    if (IsDM6() && StandIn_CacheFilePath(pszLibrary, lDoc, pszLabel, sz, MAX_PATH) == S_OK &&
        GetFileAttributesW(sz) != INVALID_FILE_ATTRIBUTES)
        return ReadFileBytes(sz);
    if (StandIn_ServerFilePath(pszLibrary, lDoc, pszLabel, sz, MAX_PATH) != S_OK)
        return "<none>";
    return ReadFileBytes(sz);
}

::testing::AssertionResult FileHolds(const std::wstring& strPath, const std::string& expected)
{
    const std::string content = ReadFileBytes(strPath);
    if (content == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << Narrow(strPath) << " holds \"" << content.substr(0, 64) << "\", not \""
                                         << expected.substr(0, 64) << "\"";
}

::testing::AssertionResult StoredIsOldOrNew(LONG lDoc, const wchar_t* pszLabel, const std::string& old,
                                            const std::string& edit)
{
    const std::string stored = StoredContent(lDoc, pszLabel);
    if (stored == old || stored == edit)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "version " << Narrow(pszLabel) << " stores \"" << stored.substr(0, 64)
                                         << "\", neither the old content nor the new";
}

::testing::AssertionResult FetchHandsOutStored(LONG lDoc, const wchar_t* pszLabel)
{
    const std::string stored = StoredContent(lDoc, pszLabel);
    for (const wchar_t* pszUser : {kUser, kOtherUser})
    {
        StandIn_SetProcessUser(pszUser);
        ICVDocumentProvider7Ptr pProvider = NewProvider();
        CVDOCUMENT doc = {};
        const HRESULT hr = pProvider->GetDocument(_bstr_t(Id(lDoc, pszLabel).c_str()), 0, &doc);
        const std::wstring strLocal = doc.bstrLocalFile ? doc.bstrLocalFile : L"";
        for (BSTR b : {doc.bstrDocID, doc.bstrLocalFile, doc.bstrName, doc.bstrExtension, doc.bstrAppID,
                       doc.bstrTypeID, doc.bstrAuthorID, doc.bstrTypistID})
            SysFreeString(b);
        const std::string fetched = ReadFileBytes(strLocal);
        DeleteFileW(strLocal.c_str());
        StandIn_SetProcessUser(kUser);
        if (hr != S_OK)
            return ::testing::AssertionFailure() << "GetDocument by " << Narrow(pszUser) << " answers " << Hex(hr);
        if (fetched != stored)
            return ::testing::AssertionFailure() << "GetDocument by " << Narrow(pszUser) << " hands out \""
                                                 << fetched.substr(0, 64) << "\" while the DMS stores \""
                                                 << stored.substr(0, 64) << "\"";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult NothingHeld(LONG lDoc, bool bHeldBefore, long lRecordFlags)
{
    long lState = -1;
    {
        ICVDocumentProvider7Ptr pProvider = NewProvider();
        _bstr_t owner;
        const HRESULT hr = pProvider->GetDocumentLockStatus(_bstr_t(Id(lDoc, L"1").c_str()), &lState, owner.GetAddress());
        if (hr != S_OK)
            return ::testing::AssertionFailure() << "GetDocumentLockStatus answers " << Hex(hr);
    }
    if (bHeldBefore && lState != 1)
        return ::testing::AssertionFailure() << "lock state " << lState << ": the user's check-out went";
    if (bHeldBefore || (lRecordFlags & 1) != 0)
        return ::testing::AssertionSuccess();
    if (lState != 0)
        return ::testing::AssertionFailure() << "lock state " << lState << ": left checked out";
    if (StandIn_IsSelectedForEdit(L"LIB", lDoc))
        return ::testing::AssertionFailure() << "left selected for editing";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ResultIsHonest(const FaultRun& run, bool bDone, bool bCancelPossible)
{
    if (run.hr == S_OK)
        return bDone ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "S_OK, the work not done";
    if (run.hr == S_FALSE && !(bCancelPossible && run.form != FaultForm::Raised))
        return ::testing::AssertionFailure() << "S_FALSE, a cancel nobody made";
    if (SUCCEEDED(run.hr) && run.hr != S_FALSE)
        return ::testing::AssertionFailure() << "success code " << Hex(run.hr) << " for a failure";
    const CatalogCounts now = CountCatalog();
    if (!(now == run.before))
        return ::testing::AssertionFailure() << Hex(run.hr) << " with something half-made: "
                                             << now.nProfiles - run.before.nProfiles << " profiles, "
                                             << now.nVersions - run.before.nVersions << " versions, "
                                             << now.nAttachments - run.before.nAttachments << " attachments more";
    return ::testing::AssertionSuccess();
}

}  // namespace fault_harness
