#include "framework/TakeGuard.h"

#include <comdef.h>

#include "framework/Logging.h"

CTakeGuard::Take CTakeGuard::Took(const wchar_t* pszWhat, GiveBackStep giveBack)
{
    m_entries.push_back(Entry{pszWhat, std::move(giveBack), true, false});
    return m_entries.size() - 1;
}

HRESULT CTakeGuard::GiveBack(Take take) noexcept
{
    if (take >= m_entries.size() || !m_entries[take].bHeld)
        return S_OK;
    Entry& entry = m_entries[take];
    HRESULT hr;
    try
    {
        hr = entry.giveBack();
    }
    catch (const _com_error& e)
    {
        hr = FAILED(e.Error()) ? e.Error() : E_FAIL;
    }
    catch (...)
    {
        hr = E_FAIL;
    }
    if (SUCCEEDED(hr))
    {
        entry.bHeld = false;
        return hr;
    }
    LOG_ERROR(m_pszFunction, CStdStr::Format(L"Could not give back %ls: ", entry.pszWhat) + FormatHResult(hr));
    return hr;
}

HRESULT CTakeGuard::GiveBackAll() noexcept
{
    HRESULT hrFirst = S_OK;
    for (size_t n = m_entries.size(); n-- > 0;)
    {
        const Entry& entry = m_entries[n];
        if (!entry.bHeld || entry.bKept)
            continue;
        const HRESULT hr = GiveBack(n);
        if (FAILED(hr) && SUCCEEDED(hrFirst))
            hrFirst = hr;
    }
    return hrFirst;
}

void CTakeGuard::Keep(Take take)
{
    if (take < m_entries.size())
        m_entries[take].bKept = true;
}

void CTakeGuard::Commit()
{
    for (Entry& entry : m_entries)
        entry.bKept = true;
}

bool CTakeGuard::Holds(Take take) const
{
    return take < m_entries.size() && m_entries[take].bHeld;
}
