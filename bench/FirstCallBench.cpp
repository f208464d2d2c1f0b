// The first call of a process, run by getdocument_bench.exe in a fresh process each time:
//   firstcall_bench provider <document ID> <result file>
//     creates the provider (loading its module) and calls GetDocument twice;
//   firstcall_bench hand <library> <number> <result file>
//     does by hand what the first GetDocument's algorithm does: a DMS session, its logon, the
//     application object kept for the process, then the fetch's own calls and the copy.
// It does not link the DMS stand-in: the stand-in loads only when the code measured creates
// its first DMS object, as it would in a host. Writes "create <s>", "first <wall> <dms> <copy>",
// "second <wall> <dms> <copy>" and "call <method> <calls> <seconds>" lines to the result file.
#include <windows.h>
#include <comdef.h>

#include <cstdio>
#include <string>

#include <corvane/CorvaneHost.h>

#include "BenchSupport.h"

_COM_SMARTPTR_TYPEDEF(ICVDocumentProvider7, __uuidof(ICVDocumentProvider7));

using namespace bench;

namespace {

void FreeDocument(CVDOCUMENT& d)
{
    for (BSTR b : {d.bstrDocID, d.bstrLocalFile, d.bstrName, d.bstrExtension, d.bstrAppID, d.bstrTypeID,
                   d.bstrAuthorID, d.bstrTypistID})
        SysFreeString(b);
    d = CVDOCUMENT{};
}

int Fail(const wchar_t* pszWhat, HRESULT hr)
{
    fwprintf(stderr, L"firstcall_bench: %ls failed: 0x%08lX\n", pszWhat, static_cast<unsigned long>(hr));
    return 1;
}

void WriteCalls(const StandInAccounting& accounting, FILE* pOut)
{
    for (const auto& method : accounting.Calls())
        fwprintf(pOut, L"call %ls %ld %.9f\n", method.first.c_str(), method.second.calls, method.second.seconds);
}

int Provider(const wchar_t* pszID, FILE* pOut)
{
    const double t0 = Now();
    ICVDocumentProvider7Ptr p;
    HRESULT hr = p.CreateInstance(L"CmQuendrel.DocProvider", nullptr, CLSCTX_INPROC_SERVER);
    const double create = Now() - t0;
    if (FAILED(hr))
        return Fail(L"creating the provider", hr);
    if (!TimeCopiesOf(GetModuleHandleW(L"CmQuendrel.dll")))
        return Fail(L"timing the provider's copies", E_FAIL);
    if (GetModuleHandleW(L"DmsStandIn.dll"))
        fwprintf(stderr, L"firstcall_bench: the DMS module was loaded with the provider\n");
    fwprintf(pOut, L"create %.9f\n", create);

    StandInAccounting accounting;
    double dmsBefore = 0;
    for (const wchar_t* pszRun : {L"first", L"second"})
    {
        const _bstr_t id(pszID);
        CVDOCUMENT doc = {};
        const double copyBefore = CopySeconds();
        const double t1 = Now();
        hr = p->GetDocument(id, 0, &doc);
        const double wall = Now() - t1;
        const double copy = CopySeconds() - copyBefore;
        if (FAILED(hr) || !doc.bstrLocalFile)
            return Fail(L"GetDocument", hr);
        if (!accounting.pfnDmsSeconds && !accounting.Find())
            return Fail(L"finding the DMS stand-in's accounting", E_FAIL);
        const double dms = accounting.pfnDmsSeconds() - dmsBefore;
        fwprintf(pOut, L"%ls %.9f %.9f %.9f\n", pszRun, wall, dms, copy);
        if (dmsBefore == 0)
            WriteCalls(accounting, pOut);
        dmsBefore += dms;
        DeleteFileW(doc.bstrLocalFile);
        FreeDocument(doc);
    }
    return 0;
}

int Hand(const wchar_t* pszLibrary, LONG lNumber, FILE* pOut)
{
    try
    {
        const double t0 = Now();
        IDMSessionPtr pSession;
        DmsCheck(pSession.CreateInstance(CLSID_Session, nullptr, CLSCTX_INPROC_SERVER));
        DmsCheck(pSession->Logon(0));
        const IApplicationPtr pKept = ApplicationByHand();
        const double logon = Now() - t0;
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, szTemp);
        double copy = 0;
        const double wall = GetDocumentByHand(pszLibrary, lNumber, std::wstring(szTemp) + L"quendrel-bench-first.doc",
                                              false, &copy);
        StandInAccounting accounting;
        if (!accounting.Find())
            return Fail(L"finding the DMS stand-in's accounting", E_FAIL);
        fwprintf(pOut, L"create %.9f\nfirst %.9f %.9f %.9f\n", logon, wall, accounting.pfnDmsSeconds(), copy);
        WriteCalls(accounting, pOut);
        return 0;
    }
    catch (const _com_error& e)
    {
        return Fail(L"the fetch by hand", e.Error());
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (!((mode == L"provider" && argc == 4) || (mode == L"hand" && argc == 5)))
    {
        fwprintf(stderr, L"usage: firstcall_bench provider <document ID> <result file>\n"
                         L"       firstcall_bench hand <library> <number> <result file>\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    FILE* pOut = _wfopen(argv[argc - 1], L"w");
    if (!pOut)
        return Fail(L"opening the result file", E_FAIL);
    const int rc = mode == L"provider" ? Provider(argv[2], pOut) : Hand(argv[2], _wtol(argv[3]), pOut);
    fclose(pOut);
    CoUninitialize();
    return rc;
}
