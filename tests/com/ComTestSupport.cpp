#include "ComTestSupport.h"

#include <gtest/gtest.h>

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

namespace {

// Registers the provider with regsvr32 and its type library once for the whole program.
class ComEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        const std::wstring module = ProviderModulePath();
        ASSERT_EQ(0, testing_support::RunProgram(L"regsvr32.exe /s \"" + module + L"\""));
        const std::wstring manager = testing_support::ProgramFolder() + L"\\CmManager.dll";
        ASSERT_EQ(0, testing_support::RunProgram(L"regsvr32.exe /s \"" + manager + L"\""));
        ITypeLib* pTypeLib = nullptr;
        const std::wstring tlb = testing_support::ProgramFolder() + L"\\QuendrelLib.tlb";
        ASSERT_EQ(S_OK, LoadTypeLibEx(tlb.c_str(), REGKIND_REGISTER, &pTypeLib));
        pTypeLib->Release();
    }
    void TearDown() override { CoUninitialize(); }
};

[[maybe_unused]] ::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace
