#include "ComTestSupport.h"

#include <gtest/gtest.h>

#include "DmsStandInControl.h"

std::wstring ProviderModulePath()
{
    return testing_support::ProgramFolder() + L"\\CmQuendrel.dll";
}

HRESULT CallDllCanUnloadNow()
{
    HMODULE hModule = GetModuleHandleW(L"CmQuendrel.dll");
    if (!hModule)
        return E_UNEXPECTED;
    auto pfn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(hModule, "DllCanUnloadNow")));
    return pfn ? pfn() : E_UNEXPECTED;
}

ScopedDmsClient::ScopedDmsClient(bool bInstalled) : m_installPath(HKEY_LOCAL_MACHINE, kDmsClientKey, L"InstallPath")
{
    if (bInstalled)
        m_installPath.SetString(L"C:\\Program Files\\DMS");
    else
        m_installPath.Delete();
}

void FreeHostDocument(CVDOCUMENT& doc)
{
    for (BSTR* p : {&doc.bstrDocID, &doc.bstrLocalFile, &doc.bstrName, &doc.bstrExtension, &doc.bstrAppID,
                    &doc.bstrTypeID, &doc.bstrAuthorID, &doc.bstrTypistID})
        SysFreeString(*p);
    doc = CVDOCUMENT{};
}

void HostDocument::Clear()
{
    FreeHostDocument(doc);
}

std::wstring ProviderTempFolder()
{
    wchar_t sz[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, sz);
    wchar_t szPid[32];
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
    struct Step
    {
        const char* name;
        HRESULT hr;
    };
    const Step steps[] = {
        {"reset", StandIn_Reset()},           {"library", StandIn_AddLibrary(L"LIB")},
        {"alice", StandIn_AddUser(L"alice")}, {"bob", StandIn_AddUser(L"bob")},
        {"process user", StandIn_SetProcessUser(L"alice")},
    };
    StandIn_ClearFaults();
    for (const Step& step : steps)
        if (step.hr != S_OK)
            return ::testing::AssertionFailure() << "DMS stand-in " << step.name << ": 0x" << std::hex << step.hr;
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
    return _bstr_t((L"PowerDocs://LIB/" + std::to_wstring(lNumber) + L"/" + pszLabel).c_str());
}

void RegisterProviderForTests()
{
    const std::wstring module = ProviderModulePath();
    ASSERT_EQ(0, testing_support::RunProgram(L"regsvr32.exe /s \"" + module + L"\""));
    const std::wstring manager = testing_support::ProgramFolder() + L"\\CmManager.dll";
    ASSERT_EQ(0, testing_support::RunProgram(L"regsvr32.exe /s \"" + manager + L"\""));
    ITypeLib* pTypeLib = nullptr;
    const std::wstring tlb = testing_support::ProgramFolder() + L"\\QuendrelLib.tlb";
    ASSERT_EQ(S_OK, LoadTypeLibEx(tlb.c_str(), REGKIND_REGISTER, &pTypeLib));
    pTypeLib->Release();
}

namespace {

// Registers the provider with regsvr32 and its type library once for the whole program.
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
