#include "framework/RuntimeRelease.h"

namespace __gnu_cxx {
// The C++ runtime's release of its emergency exception buffer (declared in no header).
void __freeres() noexcept;
}  // namespace __gnu_cxx

namespace {

// Every TLS index a process can have: the slots in the thread block and the expansion slots.
constexpr DWORD kTlsSlots = TLS_MINIMUM_AVAILABLE + 1024;

// Calls each of the module's TLS callbacks as the system does when a thread ends.
void RunThreadDetachCallbacks(HMODULE hModule)
{
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (directory.VirtualAddress == 0)
        return;
    auto* pTls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(pBase + directory.VirtualAddress);
    for (auto* ppCallback = reinterpret_cast<const PIMAGE_TLS_CALLBACK*>(pTls->AddressOfCallBacks);
         ppCallback && *ppCallback; ++ppCallback)
        (*ppCallback)(hModule, DLL_THREAD_DETACH, nullptr);
}

}  // namespace

void ReleaseRuntimeOnUnload(HMODULE hModule)
{
    // The thread support keeps each thread's record in a TLS index of its own and clears it
    // when the thread ends; that index is the one slot the callbacks clear. Which index it is
    // the runtime does not say, so the slots are compared before and after. Runs under the
    // loader lock, one module at a time: a static buffer is enough.
    static void* s_values[kTlsSlots];
    const DWORD dwError = GetLastError();
    for (DWORD i = 0; i < kTlsSlots; ++i)
        s_values[i] = TlsGetValue(i);
    RunThreadDetachCallbacks(hModule);
    DWORD dwCleared = 0, dwIndex = 0;
    for (DWORD i = 0; i < kTlsSlots; ++i)
        if (s_values[i] && !TlsGetValue(i))
            ++dwCleared, dwIndex = i;
    // Anything but one cleared slot leaves the index alone rather than free one not ours.
    if (dwCleared == 1)
        TlsFree(dwIndex);
    __gnu_cxx::__freeres();
    SetLastError(dwError);
}
