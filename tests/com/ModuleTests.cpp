// The module as COM sees it: registration through regsvr32, creation by ProgID, interface
// identity, aggregation, the type library and the unload test.
#include <gtest/gtest.h>

#include "ComTestSupport.h"

namespace {

std::wstring ReadClassesValue(const std::wstring& strKey, const wchar_t* pszName = nullptr)
{
    wchar_t sz[MAX_PATH * 2] = {};
    DWORD cb = sizeof(sz);
    if (RegGetValueW(HKEY_CLASSES_ROOT, strKey.c_str(), pszName, RRF_RT_REG_SZ, nullptr, sz, &cb) != ERROR_SUCCESS)
        return L"<missing>";
    return sz;
}

const wchar_t kClsidKey[] = L"CLSID\\{E5DC3F46-F30B-4614-B1B4-06C568E0BBC0}";

TEST(Module, RegistersAndUnregistersThroughRegsvr32)
{
    const std::wstring module = ProviderModulePath();
    ASSERT_EQ(0, testing_support::RunProgram(L"regsvr32.exe /s /u \"" + module + L"\""));
    EXPECT_EQ(L"<missing>", ReadClassesValue(kClsidKey));
    EXPECT_EQ(L"<missing>", ReadClassesValue(L"CmQuendrel.DocProvider"));
    EXPECT_EQ(L"<missing>", ReadClassesValue(L"CmQuendrel.DocProvider.1"));
    CLSID clsid;
    EXPECT_TRUE(FAILED(CLSIDFromProgID(L"CmQuendrel.DocProvider", &clsid)));

    ASSERT_EQ(0, testing_support::RunProgram(L"regsvr32.exe /s \"" + module + L"\""));
    EXPECT_EQ(L"Quendrel", ReadClassesValue(L"CmQuendrel.DocProvider.1"));
    EXPECT_EQ(L"{E5DC3F46-F30B-4614-B1B4-06C568E0BBC0}", ReadClassesValue(L"CmQuendrel.DocProvider.1\\CLSID"));
    EXPECT_EQ(L"Quendrel", ReadClassesValue(L"CmQuendrel.DocProvider"));
    EXPECT_EQ(L"{E5DC3F46-F30B-4614-B1B4-06C568E0BBC0}", ReadClassesValue(L"CmQuendrel.DocProvider\\CLSID"));
    EXPECT_EQ(L"CmQuendrel.DocProvider.1", ReadClassesValue(L"CmQuendrel.DocProvider\\CurVer"));
    EXPECT_EQ(L"Quendrel", ReadClassesValue(kClsidKey));
    EXPECT_EQ(L"CmQuendrel.DocProvider.1", ReadClassesValue(std::wstring(kClsidKey) + L"\\ProgID"));
    EXPECT_EQ(L"CmQuendrel.DocProvider",
              ReadClassesValue(std::wstring(kClsidKey) + L"\\VersionIndependentProgID"));
    EXPECT_EQ(0, _wcsicmp(module.c_str(), ReadClassesValue(std::wstring(kClsidKey) + L"\\InprocServer32").c_str()));
    EXPECT_EQ(L"Apartment", ReadClassesValue(std::wstring(kClsidKey) + L"\\InprocServer32", L"ThreadingModel"));
}

TEST(Module, CreatesByProgIDAndAnswersEveryInterfaceWithOneIdentity)
{
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"CmQuendrel.DocProvider", &clsid));
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_DocProvider));
    UnknownPtr pUnknown;
    ASSERT_EQ(S_OK, pUnknown.CreateInstance(L"CmQuendrel.DocProvider.1", nullptr, CLSCTX_INPROC_SERVER));

    // All seven document-provider identifiers give one and the same pointer.
    const IID* providerIIDs[] = {&IID_ICVDocumentProvider,  &IID_ICVDocumentProvider2, &IID_ICVDocumentProvider3,
                                 &IID_ICVDocumentProvider4, &IID_ICVDocumentProvider5, &IID_ICVDocumentProvider6,
                                 &IID_ICVDocumentProvider7};
    void* pFirst = nullptr;
    for (const IID* piid : providerIIDs)
    {
        void* pv = nullptr;
        ASSERT_EQ(S_OK, pUnknown->QueryInterface(*piid, &pv));
        if (!pFirst)
            pFirst = pv;
        EXPECT_EQ(pFirst, pv);
        static_cast<IUnknown*>(pv)->Release();
    }

    // Both custom-command identifiers share a pointer; IDispatch is IDocProvider; every
    // interface leads back to the same IUnknown.
    const IID* others[] = {&IID_IDocProvider,    &IID_IDispatch,     &IID_ICVComponent,      &IID_ICVDiagnostics,
                           &IID_ICVErrorInfo,    &IID_ICVQueryInfo,  &IID_ICVRegistration,   &IID_ICVCustomCommand,
                           &IID_ICVCustomCommand2, &IID_ICVHelpDefinition};
    void* pointers[10] = {};
    for (int i = 0; i < 10; ++i)
    {
        ASSERT_EQ(S_OK, pUnknown->QueryInterface(*others[i], &pointers[i])) << i;
        IUnknown* pIdentity = nullptr;
        ASSERT_EQ(S_OK, static_cast<IUnknown*>(pointers[i])->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)));
        EXPECT_EQ(static_cast<IUnknown*>(pUnknown), pIdentity) << i;
        pIdentity->Release();
    }
    EXPECT_EQ(pointers[0], pointers[1]);
    EXPECT_EQ(pointers[7], pointers[8]);
    for (void* pv : pointers)
        static_cast<IUnknown*>(pv)->Release();

    void* pv = nullptr;
    EXPECT_EQ(E_NOINTERFACE, pUnknown->QueryInterface(IID_IClassFactory, &pv));
    EXPECT_EQ(nullptr, pv);
}

// A minimal outer object that aggregates the provider.
class OuterObject : public IUnknown
{
public:
    LONG m_cRef = 1;
    IUnknown* m_pInner = nullptr;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown))
        {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return m_pInner ? m_pInner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
};

TEST(Module, AggregatedInstanceHonoursTheOuterUnknown)
{
    OuterObject outer;
    IUnknown* pWrong = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_DocProvider, &outer, CLSCTX_INPROC_SERVER,
                                                      IID_ICVComponent, reinterpret_cast<void**>(&pWrong)));
    EXPECT_EQ(nullptr, pWrong);

    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DocProvider, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&outer.m_pInner)));
    EXPECT_EQ(1, outer.m_cRef) << "creating the inner object must not count on the outer one";

    ICVComponent* pComponent = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_ICVComponent, reinterpret_cast<void**>(&pComponent)));
    EXPECT_EQ(2, outer.m_cRef) << "an inner interface counts on the outer object";

    IUnknown* pIdentity = nullptr;
    ASSERT_EQ(S_OK, pComponent->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), pIdentity);
    pIdentity->Release();

    BSTR bstrName = nullptr;
    EXPECT_EQ(S_OK, pComponent->GetName(&bstrName));
    EXPECT_STREQ(L"Quendrel", bstrName);
    SysFreeString(bstrName);

    pComponent->Release();
    EXPECT_EQ(1, outer.m_cRef);
    EXPECT_EQ(S_FALSE, CallDllCanUnloadNow());
    EXPECT_EQ(0u, outer.m_pInner->Release());
    EXPECT_EQ(S_OK, CallDllCanUnloadNow());
}

TEST(Module, CanUnloadOnlyWithoutLiveObjectsOrServerLocks)
{
    {
        ICVComponentPtr pComponent(L"CmQuendrel.DocProvider");
        ASSERT_TRUE(pComponent != nullptr);
        EXPECT_EQ(S_FALSE, CallDllCanUnloadNow());
    }
    EXPECT_EQ(S_OK, CallDllCanUnloadNow());

    IClassFactory* pFactory = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_DocProvider, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&pFactory)));
    pFactory->LockServer(TRUE);
    pFactory->Release();
    EXPECT_EQ(S_FALSE, CallDllCanUnloadNow());
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_DocProvider, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&pFactory)));
    pFactory->LockServer(FALSE);
    pFactory->Release();
    EXPECT_EQ(S_OK, CallDllCanUnloadNow());
}

TEST(Module, ListsItsOneClass)
{
    HMODULE hModule = GetModuleHandleW(L"CmQuendrel.dll");
    if (!hModule)
    {
        ICVComponentPtr pLoad(L"CmQuendrel.DocProvider");
        hModule = GetModuleHandleW(L"CmQuendrel.dll");
    }
    ASSERT_NE(nullptr, hModule);
    auto pfn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(CLSID**, ULONG*)>(
        reinterpret_cast<void*>(GetProcAddress(hModule, "DllGetClassID")));
    ASSERT_NE(nullptr, pfn);
    CLSID* pIDs = nullptr;
    ULONG count = 0;
    EXPECT_EQ(E_POINTER, pfn(nullptr, &count));
    EXPECT_EQ(E_POINTER, pfn(&pIDs, nullptr));
    ASSERT_EQ(S_OK, pfn(&pIDs, &count));
    ASSERT_EQ(1u, count);
    EXPECT_TRUE(IsEqualCLSID(CLSID_DocProvider, pIDs[0]));
    CoTaskMemFree(pIDs);

    auto pfnGetClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(hModule, "DllGetClassObject")));
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, pfnGetClassObject(IID_IUnknown, IID_IClassFactory, &pv));
    EXPECT_EQ(nullptr, pv);
}

TEST(Module, DescribesIDocProviderFromTheRegisteredTypeLibrary)
{
    IDocProviderPtr pProvider(L"CmQuendrel.DocProvider");
    ASSERT_TRUE(pProvider != nullptr);
    UINT count = 0;
    EXPECT_EQ(S_OK, pProvider->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    ITypeInfo* pInfo = nullptr;
    EXPECT_EQ(DISP_E_BADINDEX, pProvider->GetTypeInfo(1, 0, &pInfo));
    ASSERT_EQ(S_OK, pProvider->GetTypeInfo(0, 0, &pInfo));
    TYPEATTR* pAttr = nullptr;
    ASSERT_EQ(S_OK, pInfo->GetTypeAttr(&pAttr));
    EXPECT_TRUE(IsEqualIID(IID_IDocProvider, pAttr->guid));
    pInfo->ReleaseTypeAttr(pAttr);
    pInfo->Release();

    // IDocProvider has no members of its own: late binding finds nothing to call.
    LPOLESTR name = const_cast<LPOLESTR>(L"NoSuchMember");
    DISPID dispid = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, pProvider->GetIDsOfNames(IID_NULL, &name, 1, 0, &dispid));
}

}  // namespace
