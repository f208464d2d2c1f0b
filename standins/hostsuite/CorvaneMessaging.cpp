// Stand-in for the host's message display (Corvane.Messaging.dll).
// Everything lives under HKEY_CURRENT_USER "SOFTWARE\Corvane\StandIns\Messaging":
//  - "Interactive" (REG_DWORD) = 1 shows a real message box; otherwise no window ever opens.
//  - Scripted answers: values "Answer1", "Answer2", ... (REG_DWORD button numbers such as
//    IDYES = 6), taken lowest number first, each deleted once used. With none left the answer
//    is IDCANCEL (2).
//  - Each call is recorded: "LastText", "LastSecond", "LastSourceFile", "LastFunction" (REG_SZ),
//    "LastButtons", "LastBranding", "LastType", "LastNumber", "LastLine" (REG_DWORD, negative
//    numbers as their two's complement), "LastParent" (REG_QWORD, the window handle),
//    "LastAnswer" (REG_DWORD) and "CallCount" (REG_DWORD, one more per call).
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <string>

#include "StandInRegistry.h"
#include "framework/HostSuiteExports.h"

namespace {

const wchar_t MESSAGING_KEY[] = L"SOFTWARE\\Corvane\\StandIns\\Messaging";
const wchar_t ANSWER_PREFIX[] = L"Answer";

// The number in a value name "Answer<n>", or 0 when the name has another form.
unsigned long AnswerNumber(const wchar_t* pszName)
{
    const size_t cchPrefix = wcslen(ANSWER_PREFIX);
    if (_wcsnicmp(pszName, ANSWER_PREFIX, cchPrefix) != 0)
        return 0;
    const wchar_t* pszDigits = pszName + cchPrefix;
    if (!*pszDigits)
        return 0;
    for (const wchar_t* p = pszDigits; *p; ++p)
        if (!iswdigit(*p))
            return 0;
    return wcstoul(pszDigits, nullptr, 10);
}

// Takes the next scripted answer off the script; false when there is none.
bool TakeScriptedAnswer(HKEY hKey, int* pnAnswer)
{
    std::wstring strFirst;
    unsigned long ulFirst = 0;
    wchar_t szName[256];
    for (DWORD i = 0;; ++i)
    {
        DWORD cchName = ARRAYSIZE(szName);
        LONG rc = RegEnumValueW(hKey, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            continue;
        unsigned long ulNumber = AnswerNumber(szName);
        if (ulNumber != 0 && (ulFirst == 0 || ulNumber < ulFirst))
        {
            ulFirst = ulNumber;
            strFirst = szName;
        }
    }
    if (ulFirst == 0)
        return false;
    *pnAnswer = static_cast<int>(StandIn::GetDword(hKey, strFirst.c_str(), IDCANCEL));
    RegDeleteValueW(hKey, strFirst.c_str());
    return true;
}

}  // namespace

namespace HostSuite {

int __cdecl ShowMessage(HWND hParent, const wchar_t* pszText, int nButtons, int nBranding, int nType,
                        const wchar_t* pszSecond, int nNumber, const wchar_t* pszSourceFile, int nLine,
                        const wchar_t* pszFunction)
{
    CRegKey key = StandIn::CreateKey(HKEY_CURRENT_USER, MESSAGING_KEY);
    if (!key)
        return IDCANCEL;
    StandIn::SetString(key.Get(), L"LastText", pszText);
    StandIn::SetString(key.Get(), L"LastSecond", pszSecond);
    StandIn::SetString(key.Get(), L"LastSourceFile", pszSourceFile);
    StandIn::SetString(key.Get(), L"LastFunction", pszFunction);
    StandIn::SetDword(key.Get(), L"LastButtons", static_cast<DWORD>(nButtons));
    StandIn::SetDword(key.Get(), L"LastBranding", static_cast<DWORD>(nBranding));
    StandIn::SetDword(key.Get(), L"LastType", static_cast<DWORD>(nType));
    StandIn::SetDword(key.Get(), L"LastNumber", static_cast<DWORD>(nNumber));
    StandIn::SetDword(key.Get(), L"LastLine", static_cast<DWORD>(nLine));
    ULONGLONG ullParent = reinterpret_cast<ULONG_PTR>(hParent);
    RegSetValueExW(key.Get(), L"LastParent", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&ullParent),
                   sizeof(ullParent));
    StandIn::SetDword(key.Get(), L"CallCount", StandIn::GetDword(key.Get(), L"CallCount", 0) + 1);

    int nAnswer = IDCANCEL;
    if (StandIn::GetDword(key.Get(), L"Interactive", 0) == 1)
    {
        // The second string is the message's title; the button set is the low nibble.
        const wchar_t* pszCaption = pszSecond && *pszSecond ? pszSecond : L"Corvane";
        nAnswer = MessageBoxW(hParent, pszText ? pszText : L"", pszCaption, static_cast<UINT>(nButtons) & MB_TYPEMASK);
    }
    else
    {
        TakeScriptedAnswer(key.Get(), &nAnswer);
    }
    StandIn::SetDword(key.Get(), L"LastAnswer", static_cast<DWORD>(nAnswer));
    return nAnswer;
}

}  // namespace HostSuite
