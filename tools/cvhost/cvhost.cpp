// cvhost: a command-line host for the document provider. It creates the provider through
// COM by its ProgID, calls one method per subcommand and prints the result code by name
// with the out values. Exit code 0 when the call succeeded, 1 when it failed, 2 on misuse.
#include <windows.h>
#include <comdef.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <corvane/CorvaneHost.h>
#include <corvane/QuendrelResults.h>

#include "HResultNames.h"
#include "HostRecords.h"
#include "framework/Handles.h"
#include "operations/PDDocProviderHelper.h"
#include "save/SaveAsDlg.h"
#include "ui/SaveAsDlgWindow.h"
#include "ui/UiResources.h"

_COM_SMARTPTR_TYPEDEF(ICVComponent, __uuidof(ICVComponent));
_COM_SMARTPTR_TYPEDEF(ICVErrorInfo, __uuidof(ICVErrorInfo));
_COM_SMARTPTR_TYPEDEF(ICVQueryInfo, __uuidof(ICVQueryInfo));
_COM_SMARTPTR_TYPEDEF(ICVDocumentProvider7, __uuidof(ICVDocumentProvider7));
_COM_SMARTPTR_TYPEDEF(ICVCustomCommand2, __uuidof(ICVCustomCommand2));
_COM_SMARTPTR_TYPEDEF(ICVRegistration, __uuidof(ICVRegistration));
_COM_SMARTPTR_TYPEDEF(IDispatch, IID_IDispatch);
_COM_SMARTPTR_TYPEDEF(ITypeLib, IID_ITypeLib);
_COM_SMARTPTR_TYPEDEF(ITypeInfo, IID_ITypeInfo);

namespace {

const wchar_t kProgID[] = L"CmQuendrel.DocProvider";
const wchar_t kDmsClientKey[] = L"SOFTWARE\\Hummingbird\\Powerdocs";

using Args = std::vector<std::wstring>;

std::wstring ProgramFolder()
{
    wchar_t sz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, sz, MAX_PATH);
    std::wstring s(sz);
    return s.substr(0, s.find_last_of(L"\\/"));
}

// Prints "Method -> code NAME" and returns the exit code for it.
int Report(const wchar_t* pszMethod, HRESULT hr)
{
    wprintf(L"%ls -> %ls\n", pszMethod, DescribeHResult(hr).c_str());
    return SUCCEEDED(hr) ? 0 : 1;
}

// Whether the provider handed out a string at all (an empty one counts).
bool Received(const _bstr_t& text)
{
    return static_cast<const wchar_t*>(text) != nullptr;
}

// Prints a string the provider handed out, "(null)" for none.
void PrintText(const wchar_t* pszName, const _bstr_t& text)
{
    if (Received(text))
        wprintf(L"  %ls = \"%ls\"\n", pszName, static_cast<const wchar_t*>(text));
    else
        wprintf(L"  %ls = (null)\n", pszName);
}

template <class Ptr>
Ptr CreateProvider()
{
    Ptr p;
    HRESULT hr = p.CreateInstance(kProgID, nullptr, CLSCTX_INPROC_SERVER);
    if (FAILED(hr))
    {
        wprintf(L"CoCreateInstance(%ls) -> %ls\n", kProgID, DescribeHResult(hr).c_str());
        _com_issue_error(hr);
    }
    return p;
}

// Calls DllRegisterServer or DllUnregisterServer of the module beside cvhost, and
// registers or removes the provider's type library with it.
int RegisterModule(bool bRegister)
{
    const std::wstring module = ProgramFolder() + L"\\CmQuendrel.dll";
    HRESULT hr = E_UNEXPECTED;
    {
        // Loaded for the entry point's call only.
        const CLibrary library(LoadLibraryW(module.c_str()));
        if (!library)
        {
            wprintf(L"LoadLibrary(%ls) failed: %lu\n", module.c_str(), GetLastError());
            return 1;
        }
        const char* entry = bRegister ? "DllRegisterServer" : "DllUnregisterServer";
        auto pfn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(GetProcAddress(library.Get(), entry)));
        hr = pfn ? pfn() : E_UNEXPECTED;
    }
    int rc = Report(bRegister ? L"DllRegisterServer" : L"DllUnregisterServer", hr);
    if (FAILED(hr))
        return rc;
    if (bRegister)
    {
        const std::wstring tlb = ProgramFolder() + L"\\QuendrelLib.tlb";
        ITypeLibPtr pTypeLib;
        hr = LoadTypeLibEx(tlb.c_str(), REGKIND_REGISTER, &pTypeLib);
    }
    else
    {
        hr = UnRegisterTypeLib(LIBID_QuendrelLib, 1, 0, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
        if (hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_CANTLOADLIBRARY)
            hr = S_OK;  // it was not registered
    }
    return Report(bRegister ? L"RegisterTypeLib" : L"UnRegisterTypeLib", hr);
}

// register: what a host installer does: the COM registration, then the provider enters itself
// in the host's list of document providers.
int Register()
{
    int rc = RegisterModule(true);
    if (rc != 0)
        return rc;
    ICVRegistrationPtr p = CreateProvider<ICVRegistrationPtr>();
    return Report(L"RegisterDefault", p->RegisterDefault());
}

// unregister: undoes Register. UnRegisterAll leaves the provider's option values in place, so,
// as the host's installer does, they are removed here; the option store has no delete, so the
// subgroup's key goes where the option store keeps it (HKCU\SOFTWARE\Corvane\Options).
int Unregister()
{
    int rc = 0;
    {
        ICVRegistrationPtr p;
        HRESULT hr = p.CreateInstance(kProgID, nullptr, CLSCTX_INPROC_SERVER);
        if (hr == REGDB_E_CLASSNOTREG)
            wprintf(L"%ls is not registered: UnRegisterAll skipped\n", kProgID);
        else
            rc = Report(L"UnRegisterAll", SUCCEEDED(hr) ? p->UnRegisterAll() : hr);
    }
    const LONG lr = RegDeleteTreeW(HKEY_CURRENT_USER,
                                   L"SOFTWARE\\Corvane\\Options\\DocumentProviders\\Hummingbird DM/PowerDocs");
    wprintf(L"provider options %ls\n", lr == ERROR_SUCCESS         ? L"removed"
                                       : lr == ERROR_FILE_NOT_FOUND ? L"were not set"
                                                                    : L"could not be removed");
    if (lr != ERROR_SUCCESS && lr != ERROR_FILE_NOT_FOUND)
        rc = 1;
    return RegisterModule(false) | rc;
}

// Shows, sets or removes the DMS client's "InstallPath", which tells the provider that a
// client is installed.
int DmsClient(const Args& args)
{
    if (args.size() == 2 && args[0] == L"install")
    {
        LONG rc = RegSetKeyValueW(HKEY_LOCAL_MACHINE, kDmsClientKey, L"InstallPath", REG_SZ, args[1].c_str(),
                                  static_cast<DWORD>((args[1].size() + 1) * sizeof(wchar_t)));
        wprintf(L"InstallPath = \"%ls\" (%ls)\n", args[1].c_str(), rc == ERROR_SUCCESS ? L"set" : L"failed");
        return rc == ERROR_SUCCESS ? 0 : 1;
    }
    if (args.size() == 1 && args[0] == L"remove")
    {
        LONG rc = RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kDmsClientKey, L"InstallPath");
        wprintf(L"InstallPath removed\n");
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? 0 : 1;
    }
    wchar_t sz[MAX_PATH] = {};
    DWORD cb = sizeof(sz);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kDmsClientKey, L"InstallPath", RRF_RT_ANY, nullptr, sz, &cb) == ERROR_SUCCESS)
        wprintf(L"InstallPath = \"%ls\"\n", sz);
    else
        wprintf(L"InstallPath is not set: no DMS client\n");
    return 0;
}

// The file the provider was created from: the class's registration decides which one it is.
std::wstring ProviderModule()
{
    wchar_t sz[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"CmQuendrel.dll"), sz, MAX_PATH);
    return sz;
}

int Identity(const Args&)
{
    ICVComponentPtr pComponent = CreateProvider<ICVComponentPtr>();
    wprintf(L"  module = %ls\n", ProviderModule().c_str());
    _bstr_t name;
    int rc = Report(L"GetName", pComponent->GetName(name.GetAddress()));
    PrintText(L"name", name);
    _bstr_t description;
    rc |= Report(L"GetShortDescription", pComponent->GetShortDescription(description.GetAddress()));
    PrintText(L"description", description);
    long major = 0, minor = 0, build = 0, revision = 0;
    rc |= Report(L"GetVersion", pComponent->GetVersion(&major, &minor, &build, &revision));
    wprintf(L"  version = %ld.%ld.%ld.%ld\n", major, minor, build, revision);
    ICVQueryInfoPtr pQuery(pComponent);
    long count = 0;
    CHostRecord<CVFILEINFO> info;
    rc |= Report(L"GetCVDependencies", pQuery->GetCVDependencies(&count, info.Get()));
    wprintf(L"  requires %ls %ld.%ld.%ld.%ld\n", info->bstrID ? info->bstrID : L"(none)", info->lMajor, info->lMinor,
            info->lBuild, info->lRevision);
    return rc;
}

// type-info: what a host that calls the provider through IDispatch relies on: the type library
// registered under its LIBID, and the provider's IDispatch::GetTypeInfo, which loads it from there.
int TypeInfo(const Args&)
{
    ITypeLibPtr pTypeLib;
    int rc = Report(L"LoadRegTypeLib", LoadRegTypeLib(LIBID_QuendrelLib, 1, 0, LOCALE_NEUTRAL, &pTypeLib));
    _bstr_t path;
    if (SUCCEEDED(QueryPathOfRegTypeLib(LIBID_QuendrelLib, 1, 0, LOCALE_NEUTRAL, path.GetAddress())))
        PrintText(L"path", path);
    IDispatchPtr pDispatch = CreateProvider<IDispatchPtr>();
    ITypeInfoPtr pTypeInfo;
    rc |= Report(L"GetTypeInfo", pDispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &pTypeInfo));
    if (pTypeInfo)
    {
        _bstr_t name;
        pTypeInfo->GetDocumentation(MEMBERID_NIL, name.GetAddress(), nullptr, nullptr, nullptr);
        PrintText(L"interface", name);
    }
    return rc;
}

int ErrorDescription(const Args& args)
{
    if (args.size() != 1)
        return 2;
    HRESULT hr = static_cast<HRESULT>(wcstoul(args[0].c_str(), nullptr, 0));
    ICVErrorInfoPtr pErrorInfo = CreateProvider<ICVErrorInfoPtr>();
    _bstr_t description;
    int rc = Report(L"GetErrorDescription", pErrorInfo->GetErrorDescription(hr, GUID_NULL, description.GetAddress()));
    wprintf(L"  code = %ls\n", DescribeHResult(hr).c_str());
    PrintText(L"description", description);
    return rc;
}

int Capabilities(const Args& args)
{
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    long flags = 0;
    int rc = Report(L"GetCapabilities", p->GetCapabilities(_bstr_t(args.empty() ? L"" : args[0].c_str()), 0, &flags));
    if (rc == 0)
        wprintf(L"  flags = 0x%lX%ls\n", flags, (flags & 8) ? L" (offline work supported)" : L"");
    return rc;
}

int Offline(const Args&)
{
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    VARIANT_BOOL vb = VARIANT_FALSE;
    int rc = Report(L"IsDmsInOfflineMode", p->IsDmsInOfflineMode(_bstr_t(L""), &vb));
    if (rc == 0)
        wprintf(L"  offline = %ls\n", vb ? L"yes" : L"no");
    return rc;
}

// Prints the filled fields of a document record.
void PrintDocument(const CVDOCUMENT& doc)
{
    const struct
    {
        const wchar_t* name;
        BSTR field;
    } fields[] = {{L"DocID", doc.bstrDocID},         {L"LocalFile", doc.bstrLocalFile}, {L"Name", doc.bstrName},
                  {L"Extension", doc.bstrExtension}, {L"AppID", doc.bstrAppID},         {L"TypeID", doc.bstrTypeID},
                  {L"AuthorID", doc.bstrAuthorID},   {L"TypistID", doc.bstrTypistID}};
    for (const auto& f : fields)
    {
        if (f.field)
            wprintf(L"  %-10ls = \"%ls\"\n", f.name, f.field);
    }
    wprintf(L"  %-10ls = %ld\n", L"Size", doc.lFileSizeLow);
    wprintf(L"  %-10ls = %ld%ls\n", L"Flags", doc.lFlags, (doc.lFlags & 1) ? L" (checked out)" : L"");
}

bool HasOption(const Args& args, const wchar_t* pszOption)
{
    for (const std::wstring& a : args)
        if (a == pszOption)
            return true;
    return false;
}

// get-document <id> [--lock] [--no-file] [--close [--keep]]: fetch (and optionally close again).
int GetDocument(const Args& args)
{
    if (args.empty())
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    long mode = (HasOption(args, L"--lock") ? 2 : 0) | (HasOption(args, L"--no-file") ? 8 : 0);
    CHostRecord<CVDOCUMENT> doc;
    int rc = Report(L"GetDocument", p->GetDocument(_bstr_t(args[0].c_str()), mode, doc.Get()));
    // The record as the host keeps it goes back in to close the document.
    if (rc == 0 && HasOption(args, L"--close"))
        rc = Report(L"CloseDocument", p->CloseDocument(doc.Get(), HasOption(args, L"--keep") ? 1 : 0));
    PrintDocument(*doc);
    return rc;
}

// open <id>: tells the DMS that the document is being opened.
int Open(const Args& args)
{
    if (args.size() != 1)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    CHostRecord<CVDOCUMENT> doc;
    doc->bstrDocID = SysAllocString(args[0].c_str());
    int rc = Report(L"OpenDocument", p->OpenDocument(doc.Get()));
    PrintDocument(*doc);
    return rc;
}

// close <id> <local file> [--checked-out] [--keep]: closes a document the host had fetched.
// close <id> <file> [--checked-out] [--keep] / save <id> <file> [--checked-out]: the calls that
// take a host record naming a document and its local file.
int RecordCall(const Args& args, bool bSave)
{
    if (args.size() < 2)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    CHostRecord<CVDOCUMENT> doc;
    doc->bstrDocID = SysAllocString(args[0].c_str());
    doc->bstrLocalFile = SysAllocString(args[1].c_str());
    doc->lFlags = HasOption(args, L"--checked-out") ? 1 : 0;
    int rc = bSave ? Report(L"SaveDocument", p->SaveDocument(doc.Get(), 0))
                   : Report(L"CloseDocument", p->CloseDocument(doc.Get(), HasOption(args, L"--keep") ? 1 : 0));
    PrintDocument(*doc);
    return rc;
}

// import <local file> <name> [--checkout]: makes a new document of the file, and fetches and
// checks it out when asked.
int Import(const Args& args)
{
    if (args.size() < 2)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    CHostRecord<CVDOCUMENT> doc;
    doc->bstrLocalFile = SysAllocString(args[0].c_str());
    doc->bstrName = SysAllocString(args[1].c_str());
    int rc = Report(L"ImportDocument", p->ImportDocument(doc.Get(), HasOption(args, L"--checkout") ? 1 : 0));
    PrintDocument(*doc);
    return rc;
}

// lock <id> / unlock <id>
int LockAction(const Args& args, long lAction)
{
    if (args.size() != 1)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    return Report(L"LockDocument", p->LockDocument(_bstr_t(args[0].c_str()), lAction));
}

int CurrentUser(const Args&)
{
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    _bstr_t user;
    int rc = Report(L"GetCurrentDmsUser", p->GetCurrentDmsUser(_bstr_t(L""), user.GetAddress()));
    PrintText(L"user", user);
    return rc;
}

int Describe(const Args& args)
{
    if (args.size() != 1)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    _bstr_t description;
    int rc = Report(L"GetDocIDDescription", p->GetDocIDDescription(_bstr_t(args[0].c_str()), description.GetAddress()));
    PrintText(L"description", description);
    return rc;
}

int TranslateOdma(const Args& args)
{
    if (args.size() != 1)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    _bstr_t docid;
    int rc = Report(L"TranslateOdmaID", p->TranslateOdmaID(_bstr_t(args[0].c_str()), docid.GetAddress()));
    if (Received(docid))
        PrintText(L"docid", docid);
    return rc;
}

int LockStatus(const Args& args)
{
    if (args.size() != 1)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    long status = -1;
    _bstr_t owner;
    int rc = Report(L"GetDocumentLockStatus",
                    p->GetDocumentLockStatus(_bstr_t(args[0].c_str()), &status, owner.GetAddress()));
    if (rc == 0)
    {
        const wchar_t* meaning[] = {L"not locked", L"locked by the current user", L"locked by another user"};
        wprintf(L"  status = %ld (%ls)\n", status, status >= 0 && status <= 2 ? meaning[status] : L"?");
        PrintText(L"owner", owner);
    }
    return rc;
}

// resolve <local file>: the document ID of a file in the DMS's local cache.
int Resolve(const Args& args)
{
    if (args.size() != 1)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    CHostRecord<CVDOCUMENT> doc;
    doc->bstrLocalFile = SysAllocString(args[0].c_str());
    int rc = Report(L"Resolve", p->Resolve(doc.Get()));
    PrintDocument(*doc);
    return rc;
}

// select [--ex <docid>]: the DMS's selection form, or with --ex its version chooser for a document.
int Select(const Args& args)
{
    if (!args.empty() && (args.size() != 2 || args[0] != L"--ex"))
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    _bstr_t docid;
    int rc = args.empty() ? Report(L"SelectDocument", p->SelectDocument(0, _bstr_t(L""), docid.GetAddress()))
                          : Report(L"SelectDocumentEx", p->SelectDocumentEx(0, _bstr_t(L""), _bstr_t(args[1].c_str()),
                                                                            docid.GetAddress()));
    PrintText(L"docid", docid);
    return rc;
}

// versions <docid>: the document's versions, attachments left out.
int Versions(const Args& args)
{
    if (args.size() != 1)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    CHostArray<CVDOCUMENTVERSION> versions;
    int rc = Report(L"GetVersions",
                    p->GetVersions(_bstr_t(args[0].c_str()), versions.ReceiveCount(), versions.Receive()));
    wprintf(L"  count = %ld\n", versions.Count());
    long i = 0;
    for (const CVDOCUMENTVERSION& version : versions)
    {
        wprintf(L"  [%ld] version \"%ls\"\n", i++, version.bstrVersion ? version.bstrVersion : L"");
        PrintDocument(version.cvDocument);
    }
    return rc;
}

// latest <docid>: the ID of the document's latest version.
int Latest(const Args& args)
{
    if (args.size() != 1)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    // In and out in one slot: the provider takes the ID and puts the latest version's there.
    _bstr_t docid(args[0].c_str());
    int rc = Report(L"GetLatestVersion", p->GetLatestVersion(&docid.GetBSTR()));
    PrintText(L"docid", docid);
    return rc;
}

// new-version <docid> [comment]: a new version made from the current content.
int NewVersion(const Args& args)
{
    if (args.empty() || args.size() > 2)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    // In and out in one slot: the provider takes the ID and puts the new version's there.
    _bstr_t docid(args[0].c_str());
    int rc = Report(L"VersionDocument",
                    p->VersionDocument(&docid.GetBSTR(), _bstr_t(args.size() == 2 ? args[1].c_str() : L"")));
    PrintText(L"docid", docid);
    return rc;
}

// option <name> [0|1|text]: shows or sets a global option in the host's option store.
int Option(const Args& args)
{
    const wchar_t kOptions[] = L"SOFTWARE\\Corvane\\Options";
    if (args.size() == 2)
    {
        const std::wstring& value = args[1];
        LONG rc;
        if (value == L"0" || value == L"1")
        {
            DWORD dw = value == L"1" ? 1 : 0;
            rc = RegSetKeyValueW(HKEY_CURRENT_USER, kOptions, args[0].c_str(), REG_DWORD, &dw, sizeof(dw));
        }
        else
        {
            rc = RegSetKeyValueW(HKEY_CURRENT_USER, kOptions, args[0].c_str(), REG_SZ, value.c_str(),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        }
        if (rc != ERROR_SUCCESS)
            return 1;
    }
    else if (args.size() != 1)
    {
        return 2;
    }
    BYTE data[1024] = {};
    DWORD cb = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kOptions, args[0].c_str(), RRF_RT_REG_DWORD | RRF_RT_REG_SZ, &type, data, &cb) !=
        ERROR_SUCCESS)
        wprintf(L"%ls is not set\n", args[0].c_str());
    else if (type == REG_DWORD)
        wprintf(L"%ls = %lu\n", args[0].c_str(), *reinterpret_cast<DWORD*>(data));
    else
        wprintf(L"%ls = \"%ls\"\n", args[0].c_str(), reinterpret_cast<wchar_t*>(data));
    return 0;
}

// The value after an option ("--mask 0x6"), or the default.
std::wstring OptionValue(const Args& args, const wchar_t* pszOption, const wchar_t* pszDefault)
{
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == pszOption)
            return args[i + 1];
    return pszDefault;
}

struct PressOkJob
{
    DWORD thread;    // the thread that shows the dialog
    DWORD delay;     // milliseconds
    int choice = 0;  // the save choice to click before OK (0: leave the dialog's own)
};

BOOL CALLBACK FindVisibleWindow(HWND hWnd, LPARAM lParam)
{
    if (!IsWindowVisible(hWnd))
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hWnd;
    return FALSE;
}

// Presses OK in the dialog, the one visible window of the job's thread, after the delay.
DWORD WINAPI PressOkLater(void* pJob)
{
    const auto* job = static_cast<const PressOkJob*>(pJob);
    Sleep(job->delay);
    HWND dialog = nullptr;
    EnumThreadWindows(job->thread, FindVisibleWindow, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog)
        return 0;
    const int choiceButtons[] = {0, IDC_SAVEAS_NEW_DOCUMENT, IDC_SAVEAS_NEW_VERSION, IDC_SAVEAS_REPLACE_ORIGINAL,
                                 IDC_SAVEAS_ATTACHMENT, IDC_SAVEAS_NEW_SUBVERSION};
    if (job->choice > 0 && job->choice <= 5)
        SendMessageW(GetDlgItem(dialog, choiceButtons[job->choice]), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return 0;
}

// Answers the dialog that this thread shows next, from a thread of its own, after a delay in
// milliseconds: clicks the save choice (0: leaves the dialog's own), then OK. Without a delay
// nothing is answered. Going out of scope waits until the answering thread has ended.
class CDialogAnswerer
{
public:
    explicit CDialogAnswerer(DWORD dwDelay, int nChoice = 0)
        : m_job{GetCurrentThreadId(), dwDelay, nChoice},
          m_thread(dwDelay ? CreateThread(nullptr, 0, PressOkLater, &m_job, 0, nullptr) : nullptr)
    {
    }
    CDialogAnswerer(const CDialogAnswerer&) = delete;
    CDialogAnswerer& operator=(const CDialogAnswerer&) = delete;
    ~CDialogAnswerer()
    {
        if (m_thread)
            WaitForSingleObject(m_thread.Get(), INFINITE);
    }

private:
    PressOkJob m_job;  // read by the answering thread: declared before it starts
    CFileHandle m_thread;
};

// save-dialog [docid] [--mask M] [--formats LIST] [--index N] [--extension EXT] [--ok-after MS]:
// prepares and shows the provider's Save As dialog with the provider's own code (the host
// interface hands no dialog answers back) and prints the user's answers. --ok-after presses
// OK by itself after MS milliseconds (for unattended runs and pictures).
int SaveDialog(const Args& args)
{
    const std::wstring docid = !args.empty() && args[0].rfind(L"--", 0) != 0 ? args[0] : L"";
    const long mask = wcstol(OptionValue(args, L"--mask", L"0xF").c_str(), nullptr, 0);
    const std::wstring formats =
        OptionValue(args, L"--formats", L"Word Document (*.doc)|*.doc|Rich Text (*.rtf)|*.rtf|Plain Text (*.txt)|*.txt");
    long index = wcstol(OptionValue(args, L"--index", L"1").c_str(), nullptr, 0);
    const DWORD okAfter = wcstoul(OptionValue(args, L"--ok-after", L"0").c_str(), nullptr, 0);
    CPDDocProviderHelper helper;
    IVersionPtr version = docid.empty() ? nullptr : helper.GetVersion(docid);
    if (!docid.empty() && !version)
        return Report(L"GetVersion", E_DOCUMENT_NOT_FOUND);
    CSaveAsDlg dlg(0, L"");
    IProfilePtr profile;
    if (Report(L"InitSaveAsDlg", dlg.InitSaveAsDlg(version != nullptr, version, profile, mask, &index, formats)))
        return 1;
    INT_PTR result = IDOK;
    if (!(mask & SAVE_OPTION_SILENT))
    {
        CSaveAsDlgWindow window;
        const CDialogAnswerer answerer(okAfter);
        dlg.PrepareToShow(nullptr);
        result = window.ShowModal(dlg, nullptr);
    }
    wprintf(L"dialog -> %ls\n", result == IDOK ? L"OK" : result == IDCANCEL ? L"Cancel" : L"failed");
    if (result != IDOK)
        return result == IDCANCEL ? 0 : 1;
    const wchar_t* names[] = {L"none", L"New Document", L"New Version", L"Replace Original", L"Attachment",
                              L"New Subversion"};
    const int choice = dlg.GetUserChoice();
    wprintf(L"  choice    = %d (%ls)\n", choice, choice >= 0 && choice <= 5 ? names[choice] : L"?");
    wprintf(L"  comment   = \"%ls\"\n", dlg.GetComment().c_str());
    if (choice == SAVE_CHOICE_NEW_DOCUMENT)
    {
        ILibraryPtr library = dlg.GetSelectedLibrary();
        _bstr_t name;
        if (library)
            library->get_Name(name.GetAddress());
        wprintf(L"  library   = %ls\n", library ? static_cast<const wchar_t*>(name) : L"(none)");
    }
    const std::wstring extension = dlg.GetSaveExtension(formats, &index, OptionValue(args, L"--extension", L""));
    wprintf(L"  format    = %ld\n  extension = \"%ls\"\n", index, extension.c_str());
    return 0;
}

// save-as <docid> <file> [--mask M] [--formats LIST] [--index N] [--silent] [--checked-out]
//         [--choice C --ok-after MS] [--close]:
// the host's whole road of a save: GetSaveInfo for the record of the document (an empty docid
// for a file not yet in the DMS), then SaveDocument of the file into the record it returned,
// and with --close CloseDocument of that record. With --ok-after the dialog is answered by
// itself: choice C clicked, then OK.
int SaveAs(const Args& args)
{
    if (args.size() < 2)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    const std::wstring formats =
        OptionValue(args, L"--formats", L"Word Document (*.doc)|*.doc|Rich Text (*.rtf)|*.rtf|Plain Text (*.txt)|*.txt");
    long mask = wcstol(OptionValue(args, L"--mask", L"0xF").c_str(), nullptr, 0);
    if (HasOption(args, L"--silent"))
        mask |= SAVE_OPTION_SILENT;
    long index = wcstol(OptionValue(args, L"--index", L"1").c_str(), nullptr, 0);
    const DWORD okAfter = wcstoul(OptionValue(args, L"--ok-after", L"0").c_str(), nullptr, 0);
    const int choice = static_cast<int>(wcstol(OptionValue(args, L"--choice", L"0").c_str(), nullptr, 0));

    CHostRecord<CVDOCUMENT> doc;
    doc->bstrDocID = args[0].empty() ? nullptr : SysAllocString(args[0].c_str());
    doc->bstrLocalFile = SysAllocString(args[1].c_str());
    const size_t dot = args[1].rfind(L'.');
    doc->bstrExtension = SysAllocString(dot == std::wstring::npos ? L"" : args[1].c_str() + dot + 1);
    doc->lFlags = HasOption(args, L"--checked-out") ? 1 : 0;

    HRESULT hr = E_FAIL;
    {
        // A silent save shows no dialog: nothing to answer.
        const CDialogAnswerer answerer((mask & SAVE_OPTION_SILENT) ? 0 : okAfter, choice);
        hr = p->GetSaveInfo(0, _bstr_t(formats.c_str()), mask, &index, doc.Get());
    }
    int rc = Report(L"GetSaveInfo", hr);
    if (hr == S_OK)
    {
        wprintf(L"  format     = %ld\n", index);
        rc = Report(L"SaveDocument", p->SaveDocument(doc.Get(), 0));
        // The host's save ends with the document closed; its local file stays.
        if (rc == 0 && HasOption(args, L"--close"))
            rc = Report(L"CloseDocument", p->CloseDocument(doc.Get(), 1));
    }
    PrintDocument(*doc);
    return rc;
}

// related <docid>: the document's related documents (its attachments).
int Related(const Args& args)
{
    if (args.size() != 1)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    CHostArray<CVDOCUMENT> related;
    int rc = Report(L"GetRelatedDocuments",
                    p->GetRelatedDocuments(_bstr_t(args[0].c_str()), related.ReceiveCount(), related.Receive()));
    wprintf(L"  count = %ld\n", related.Count());
    long i = 0;
    for (const CVDOCUMENT& doc : related)
    {
        wprintf(L"  [%ld]\n", i++);
        PrintDocument(doc);
    }
    return rc;
}

// relate <docid> <file> [extension]: attaches a local file to the document.
int Relate(const Args& args)
{
    if (args.size() < 2 || args.size() > 3)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    CHostRecord<CVDOCUMENT> doc;
    doc->bstrLocalFile = SysAllocString(args[1].c_str());
    doc->bstrExtension = SysAllocString(args.size() == 3 ? args[2].c_str() : L"");
    int rc = Report(L"RelateDocument", p->RelateDocument(doc.Get(), _bstr_t(args[0].c_str())));
    PrintDocument(*doc);
    return rc;
}

// delete <docid>: deletes an attachment, or the whole document for a version's ID.
int Delete(const Args& args)
{
    if (args.size() != 1)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    return Report(L"DeleteDocument", p->DeleteDocument(_bstr_t(args[0].c_str())));
}

// history <docid> <type> [n1 n2 text]: records a history event on the document.
int History(const Args& args)
{
    if (args.size() != 2 && args.size() != 5)
        return 2;
    ICVDocumentProvider7Ptr p = CreateProvider<ICVDocumentProvider7Ptr>();
    const bool bFull = args.size() == 5;
    return Report(L"AddHistoryEvent",
                  p->AddHistoryEvent(_bstr_t(args[0].c_str()), wcstol(args[1].c_str(), nullptr, 0),
                                     bFull ? wcstol(args[2].c_str(), nullptr, 0) : 0,
                                     bFull ? wcstol(args[3].c_str(), nullptr, 0) : 0,
                                     _bstr_t(bFull ? args[4].c_str() : L"cvhost"), _bstr_t(L"")));
}

// system-info: the installed DMS client's product name and version.
int SystemInfo(const Args& args)
{
    if (!args.empty())
        return 2;
    ICVQueryInfoPtr p = CreateProvider<ICVQueryInfoPtr>();
    _bstr_t info;
    int rc = Report(L"GetSystemInfo", p->GetSystemInfo(info.GetAddress()));
    PrintText(L"info", info);
    return rc;
}

// properties [--ok-after MS]: shows the provider's properties dialog (custom command 0).
int Properties(const Args& args)
{
    const DWORD okAfter = wcstoul(OptionValue(args, L"--ok-after", L"0").c_str(), nullptr, 0);
    ICVCustomCommand2Ptr p = CreateProvider<ICVCustomCommand2Ptr>();
    const CDialogAnswerer answerer(okAfter);
    return Report(L"InvokeCustomCommand", p->InvokeCustomCommand(0, 0));
}

struct Command
{
    std::function<int(const Args&)> run;
    const wchar_t* usage;
};

const std::map<std::wstring, Command>& Commands()
{
    static const std::map<std::wstring, Command> commands = {
        {L"register", {[](const Args&) { return Register(); },
                       L"register the provider and its type library, and enter it in the host's providers"}},
        {L"unregister", {[](const Args&) { return Unregister(); }, L"undo all that register did"}},
        {L"dms-client", {DmsClient, L"[install <path> | remove]: show or set the DMS client's InstallPath"}},
        {L"identity", {Identity, L"module, name, description, version and dependencies"}},
        {L"type-info", {TypeInfo, L"the registered type library and the provider's IDispatch type information"}},
        {L"error-description", {ErrorDescription, L"<hresult>: the text for a result code"}},
        {L"capabilities", {Capabilities, L"[docid]: the provider's capability flags"}},
        {L"offline?", {Offline, L"whether the DMS works offline"}},
        {L"get-document", {GetDocument, L"<docid> [--lock] [--no-file] [--close [--keep]]: fetch to a local file"}},
        {L"open", {Open, L"<docid>: tell the DMS the document is being opened"}},
        {L"close", {[](const Args& a) { return RecordCall(a, false); },
                    L"<docid> <local file> [--checked-out] [--keep]: close a fetched document"}},
        {L"save", {[](const Args& a) { return RecordCall(a, true); },
                   L"<docid> <local file> [--checked-out]: write the file into the document's version"}},
        {L"import", {Import, L"<local file> <name> [--checkout]: a new document of the file"}},
        {L"lock", {[](const Args& a) { return LockAction(a, 1); }, L"<docid>: check the document out"}},
        {L"unlock", {[](const Args& a) { return LockAction(a, 2); }, L"<docid>: check the document in"}},
        {L"current-user", {CurrentUser, L"the current DMS user"}},
        {L"describe", {Describe, L"<docid>: the document's cache file-name form"}},
        {L"translate-odma", {TranslateOdma, L"<odma id>: translate an ODMA ID into a document ID"}},
        {L"resolve", {Resolve, L"<local file>: the document ID of a file in the DMS's cache"}},
        {L"option", {Option, L"<name> [0|1|text]: show or set a host option"}},
        {L"lock-status", {LockStatus, L"<docid>: lock state and owner"}},
        {L"select", {Select, L"[--ex <docid>]: choose a document (or a version of one) in the DMS's forms"}},
        {L"versions", {Versions, L"<docid>: the document's versions"}},
        {L"latest", {Latest, L"<docid>: the ID of the latest version"}},
        {L"new-version", {NewVersion, L"<docid> [comment]: a new version from the current content"}},
        {L"save-dialog", {SaveDialog, L"[docid] [--mask M] [--formats LIST] [--index N] [--ok-after MS]: Save As"}},
        {L"save-as", {SaveAs, L"<docid|\"\"> <file> [--mask M] [--formats LIST] [--index N] [--silent] "
                              L"[--checked-out] [--choice C --ok-after MS] [--close]: decide, then save"}},
        {L"related", {Related, L"<docid>: the document's related documents (attachments)"}},
        {L"relate", {Relate, L"<docid> <file> [extension]: attach a local file to the document"}},
        {L"delete", {Delete, L"<docid>: delete an attachment, or the whole document"}},
        {L"history", {History, L"<docid> <type 1-5> [n1 n2 text]: record a history event"}},
        {L"system-info", {SystemInfo, L"the DMS client's product name and version"}},
        {L"properties", {Properties, L"[--ok-after MS]: the provider's properties dialog"}},
    };
    return commands;
}

int Usage()
{
    wprintf(L"usage: cvhost <command> [arguments]\n");
    for (const auto& c : Commands())
        wprintf(L"  %-18ls %ls\n", c.first.c_str(), c.second.usage);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Usage();
    auto it = Commands().find(argv[1]);
    if (it == Commands().end())
        return Usage();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    int rc;
    try
    {
        rc = it->second.run(Args(argv + 2, argv + argc));
    }
    catch (const _com_error&)
    {
        rc = 1;  // already reported where it was raised
    }
    if (rc == 2)
        Usage();
    CoUninitialize();
    return rc;
}
