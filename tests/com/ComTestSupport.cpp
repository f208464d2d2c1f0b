#include "ComTestSupport.h"

#include <random>

#include "DmsStandInControl.h"

using testing_support::ProgramFolder;
using testing_support::RunProgram;

std::wstring ProviderModulePath()
{
    return ProgramFolder() + L"\\CmQuendrel.dll";
}

HRESULT CallDllCanUnloadNow()
{
    const auto pfn = ModuleExport<HRESULT STDAPICALLTYPE()>("DllCanUnloadNow");
    return pfn ? pfn() : E_UNEXPECTED;
}

void FreeHostDocument(CVDOCUMENT& doc)
{
    for (BSTR* p : {&doc.bstrDocID, &doc.bstrLocalFile, &doc.bstrName, &doc.bstrExtension, &doc.bstrAppID,
                    &doc.bstrTypeID, &doc.bstrAuthorID, &doc.bstrTypistID})
        SysFreeString(*p);
    doc = CVDOCUMENT{};
}

HRESULT FetchContent(ICVDocumentProvider7* pProvider, const _bstr_t& id, long lFlags, std::string* pContent)
{
    HostDocument host;
    const HRESULT hr = pProvider->GetDocument(id, lFlags, &host.doc);
    *pContent = testing_support::ReadFileBytes(host.LocalFile());
    DeleteFileW(host.LocalFile().c_str());
    return hr;
}

std::string RandomBytes(size_t cb, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(cb, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

std::wstring ProviderTempFolder()
{
    wchar_t sz[MAX_PATH] = {}, szPid[32];
    GetTempPathW(MAX_PATH, sz);
    swprintf(szPid, 32, L"cmtemp%x\\", GetCurrentProcessId());
    return std::wstring(sz) + L"Corvane\\" + szPid;
}

DmsStandInScope::~DmsStandInScope()
{
    StandIn_ClearFaults();
    StandIn_SetConnectionState(0);
    StandIn_SetProcessUser(nullptr);
}

::testing::AssertionResult DmsStandInScope::Prepare(const wchar_t* pszVersion)
{
    const HRESULT hr = StandIn_Install(pszVersion);
    if (hr != S_OK)
        return ::testing::AssertionFailure() << "DMS stand-in install: 0x" << std::hex << hr;
    return Reseed();
}

::testing::AssertionResult DmsStandInScope::Reseed()
{
    const std::pair<const char*, HRESULT> steps[] = {
        {"reset", StandIn_Reset()},           {"library", StandIn_AddLibrary(L"LIB")},
        {"alice", StandIn_AddUser(L"alice")}, {"bob", StandIn_AddUser(L"bob")},
        {"process user", StandIn_SetProcessUser(L"alice")},
    };
    StandIn_ClearFaults();
    for (const auto& step : steps)
        if (step.second != S_OK)
            return ::testing::AssertionFailure() << "DMS stand-in " << step.first << ": 0x" << std::hex << step.second;
    return ::testing::AssertionSuccess();
}

LONG DmsStandInScope::AddDocument(const wchar_t* pszName, const std::string& content)
{
    LONG lNumber = 0;
    EXPECT_EQ(S_OK, StandIn_AddDocument(L"LIB", pszName, L"MS WORD", content.data(),
                                        static_cast<DWORD>(content.size()), &lNumber));
    return lNumber;
}

_bstr_t DmsStandInScope::Id(LONG lNumber, const wchar_t* pszLabel)
{
    return _bstr_t(testing_support::DocId(lNumber, pszLabel).c_str());
}

void RegisterProviderForTests()
{
    ASSERT_EQ(0, RunProgram(L"regsvr32.exe /s \"" + ProviderModulePath() + L"\""));
    ASSERT_EQ(0, RunProgram(L"regsvr32.exe /s \"" + ProgramFolder() + L"\\CmManager.dll\""));
    _com_ptr_t<_com_IIID<ITypeLib, &IID_ITypeLib>> pTypeLib;
    ASSERT_EQ(S_OK, LoadTypeLibEx((ProgramFolder() + L"\\QuendrelLib.tlb").c_str(), REGKIND_REGISTER, &pTypeLib));
}

namespace {

// Puts the thread in an apartment and registers the provider once for the whole program.
class ComEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        RegisterProviderForTests();
    }
    void TearDown() override { CoUninitialize(); }
};

[[maybe_unused]] ::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace
