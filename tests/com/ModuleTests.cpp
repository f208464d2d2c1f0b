// The module as COM sees it: creation by ProgID, interface identity, aggregation, its class list,
// the unload test and repeated loading (what registration writes is installer_package's to check).

#include "ComTestSupport.h"

namespace {

TEST(Module, CreatesByProgIDAndAnswersEveryInterfaceWithOneIdentity)
{
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"CmQuendrel.DocProvider", &clsid));
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_DocProvider));
    UnknownPtr pUnknown;
    ASSERT_EQ(S_OK, pUnknown.CreateInstance(L"CmQuendrel.DocProvider.1", nullptr, CLSCTX_INPROC_SERVER));

    // The seven document-provider identifiers give one pointer, so do the two custom-command
    // identifiers, and IDispatch is IDocProvider; every interface leads back to one IUnknown.
    const std::vector<std::vector<IID>> groups = {
        {IID_ICVDocumentProvider, IID_ICVDocumentProvider2, IID_ICVDocumentProvider3, IID_ICVDocumentProvider4,
         IID_ICVDocumentProvider5, IID_ICVDocumentProvider6, IID_ICVDocumentProvider7},
        {IID_ICVCustomCommand, IID_ICVCustomCommand2},
        {IID_IDocProvider, IID_IDispatch},
        {IID_ICVComponent}, {IID_ICVDiagnostics}, {IID_ICVErrorInfo}, {IID_ICVQueryInfo}, {IID_ICVRegistration},
        {IID_ICVHelpDefinition}};
    for (const std::vector<IID>& group : groups)
    {
        UnknownPtr pFirst;
        for (const IID& iid : group)
        {
            UnknownPtr pInterface, pIdentity;
            ASSERT_EQ(S_OK, pUnknown->QueryInterface(iid, reinterpret_cast<void**>(&pInterface)));
            if (!pFirst)
                pFirst = pInterface;
            EXPECT_EQ(pFirst.GetInterfacePtr(), pInterface.GetInterfacePtr());
            ASSERT_EQ(S_OK, pInterface->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)));
            EXPECT_EQ(pUnknown.GetInterfacePtr(), pIdentity.GetInterfacePtr());
        }
    }
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
        if (!IsEqualIID(riid, IID_IUnknown))
            return m_pInner ? m_pInner->QueryInterface(riid, ppv) : E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
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
    {
        ICVComponentPtr pComponent;
        ASSERT_EQ(S_OK, outer.QueryInterface(IID_ICVComponent, reinterpret_cast<void**>(&pComponent)));
        EXPECT_EQ(2, outer.m_cRef) << "an inner interface counts on the outer object";
        UnknownPtr pIdentity;
        ASSERT_EQ(S_OK, pComponent->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)));
        EXPECT_EQ(static_cast<IUnknown*>(&outer), pIdentity.GetInterfacePtr());
        _bstr_t name;
        EXPECT_EQ(S_OK, pComponent->GetName(name.GetAddress()));
        EXPECT_STREQ(L"Quendrel", static_cast<const wchar_t*>(name));
    }
    EXPECT_EQ(1, outer.m_cRef);
    EXPECT_EQ(S_FALSE, CallDllCanUnloadNow());
    // The inner object's own IUnknown is the outer object's to release, by hand.
    EXPECT_EQ(0u, outer.m_pInner->Release());
    EXPECT_EQ(S_OK, CallDllCanUnloadNow());
}

TEST(Module, ListsItsOneClassAndCanUnloadOnlyWithoutLiveObjectsOrServerLocks)
{
    {
        ICVComponentPtr pComponent(L"CmQuendrel.DocProvider");
        ASSERT_TRUE(pComponent != nullptr);
        EXPECT_EQ(S_FALSE, CallDllCanUnloadNow());

        // Its class list, and no class object for any other class.
        const auto pfnGetClassID = ModuleExport<HRESULT STDAPICALLTYPE(CLSID**, ULONG*)>("DllGetClassID");
        ASSERT_NE(nullptr, pfnGetClassID);
        CLSID* pIDs = nullptr;
        ULONG count = 0;
        EXPECT_EQ(E_POINTER, pfnGetClassID(nullptr, &count));
        EXPECT_EQ(E_POINTER, pfnGetClassID(&pIDs, nullptr));
        ASSERT_EQ(S_OK, pfnGetClassID(&pIDs, &count));
        EXPECT_TRUE(count == 1 && IsEqualCLSID(CLSID_DocProvider, pIDs[0])) << count;
        CoTaskMemFree(pIDs);
        const auto pfnGetClassObject = ModuleExport<HRESULT STDAPICALLTYPE(REFCLSID, REFIID, void**)>("DllGetClassObject");
        void* pv = reinterpret_cast<void*>(1);
        EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, pfnGetClassObject(IID_IUnknown, IID_IClassFactory, &pv));
        EXPECT_EQ(nullptr, pv);
    }
    EXPECT_EQ(S_OK, CallDllCanUnloadNow());
    for (BOOL bLock : {TRUE, FALSE})
    {
        _com_ptr_t<_com_IIID<IClassFactory, &IID_IClassFactory>> pFactory;
        ASSERT_EQ(S_OK, CoGetClassObject(CLSID_DocProvider, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                         reinterpret_cast<void**>(&pFactory)));
        pFactory->LockServer(bLock);
        pFactory = nullptr;
        EXPECT_EQ(bLock ? S_FALSE : S_OK, CallDllCanUnloadNow());
    }
}

// A host that frees unused libraries loads the provider anew for each use: 200 rounds of loading
// it, fetching a document through a provider of its own class object and freeing it again leave
// no handles, memory or TLS indices behind once the first rounds have settled.
TEST(Module, LoadingAndFreeingAgainAndAgainLeavesNothingBehind)
{
    DmsStandInScope dms;
    ASSERT_TRUE(dms.Prepare());
    const _bstr_t id = dms.Id(dms.AddDocument(L"Reloaded", "reloaded"), L"1");
    CoFreeUnusedLibrariesEx(0, 0);
    const std::wstring strPath = ProviderModulePath();
    ASSERT_EQ(nullptr, GetModuleHandleW(strPath.c_str())) << "COM still holds the module";
    testing_support::ProcessFootprint settled;
    for (int round = 1; round <= 200; ++round)
    {
        const HMODULE hModule = LoadLibraryW(strPath.c_str());
        ASSERT_NE(nullptr, hModule);
        {
            const auto pfn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
                reinterpret_cast<void*>(GetProcAddress(hModule, "DllGetClassObject")));
            _com_ptr_t<_com_IIID<IClassFactory, &IID_IClassFactory>> pFactory;
            ASSERT_EQ(S_OK, pfn(CLSID_DocProvider, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)));
            ICVDocumentProvider7Ptr pProvider;
            ASSERT_EQ(S_OK, pFactory->CreateInstance(nullptr, __uuidof(ICVDocumentProvider7),
                                                     reinterpret_cast<void**>(&pProvider)));
            std::string content;
            ASSERT_EQ(S_OK, FetchContent(pProvider, id, 0, &content));
            ASSERT_EQ("reloaded", content);
        }
        FreeLibrary(hModule);
        ASSERT_EQ(nullptr, GetModuleHandleW(strPath.c_str())) << "still loaded after round " << round;
        if (round == 20)
            settled = testing_support::ProcessFootprint();
    }
    EXPECT_EQ("", testing_support::GrowthSince(settled));
}

}  // namespace
