#pragma once
// Helpers of the routines that take DMS objects and must give them back on failure (check-outs,
// saves): one step of giving back, and the placeholder file that lives only as long as a save
// needs it.
#include <windows.h>

#include <comdef.h>

#include <utility>

#include "framework/Logging.h"
#include "framework/StdStr.h"

// Runs one step of giving back (an unlock, a release, a deletion of a half-made object). A step
// that fails is logged at the caller's site under pszFunction and answered, never raised, so that
// the steps after it still run.
template <class Step>
HRESULT GiveBackStep(const Corvane::Logging::LogSite& site, const wchar_t* pszFunction, Step step)
{
    HRESULT hr;
    try
    {
        hr = step();
    }
    catch (const _com_error& e)
    {
        hr = e.Error();
    }
    catch (...)
    {
        hr = E_FAIL;
    }
    if (FAILED(hr))
        Corvane::Logging::LogError(site, pszFunction, FormatHResult(hr));
    return hr;
}

// Deletes the file it names when the scope ends; an empty path deletes nothing.
class CScopedFileDeletion
{
public:
    explicit CScopedFileDeletion(CStdStr strPath) : m_strPath(std::move(strPath)) {}
    ~CScopedFileDeletion()
    {
        if (!m_strPath.empty())
            DeleteFileW(m_strPath.c_str());
    }
    CScopedFileDeletion(const CScopedFileDeletion&) = delete;
    CScopedFileDeletion& operator=(const CScopedFileDeletion&) = delete;

    const CStdStr& Path() const { return m_strPath; }

private:
    CStdStr m_strPath;
};
