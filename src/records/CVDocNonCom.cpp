#include "records/CVDocNonCom.h"

#include <utility>

#include "framework/Handles.h"

#include <comdef.h>
#include <cwchar>

#include "records/HostLayout.h"

namespace {

bool IsReadableRegion(const MEMORY_BASIC_INFORMATION& mbi)
{
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return mbi.State == MEM_COMMIT && (mbi.Protect & readable) != 0 && (mbi.Protect & PAGE_GUARD) == 0;
}

// The end of the readable region that holds address, or 0 when address cannot be read.
ULONG_PTR ReadableEnd(ULONG_PTR address)
{
    MEMORY_BASIC_INFORMATION mbi = {};
    if (VirtualQuery(reinterpret_cast<const void*>(address), &mbi, sizeof(mbi)) == 0 || !IsReadableRegion(mbi))
        return 0;
    return reinterpret_cast<ULONG_PTR>(mbi.BaseAddress) + mbi.RegionSize;
}

}  // namespace

bool IsReadableMemory(const void* p, size_t cb)
{
    if (!p)
        return false;
    auto address = reinterpret_cast<ULONG_PTR>(p);
    const ULONG_PTR end = address + cb;
    if (end < address)
        return false;
    while (address < end)
    {
        address = ReadableEnd(address);
        if (address == 0)
            return false;
    }
    return true;
}

CStdStr StdStrFromBstr(const BSTR* pbstrPlace)
{
    if (!IsReadableMemory(pbstrPlace, sizeof(BSTR)))
        return CStdStr();
    const wchar_t* psz = *pbstrPlace;
    if (!psz)
        return CStdStr();
    // Read as a zero-terminated string, whatever a length prefix says (a host may pass a plain
    // wide string), checking each further memory region before the scan enters it.
    const auto start = reinterpret_cast<ULONG_PTR>(psz);
    ULONG_PTR readableEnd = start;
    for (ULONG_PTR at = start;; at += sizeof(wchar_t))
    {
        while (readableEnd < at + sizeof(wchar_t))
        {
            readableEnd = ReadableEnd(readableEnd);
            if (readableEnd == 0)
                return CStdStr();
        }
        if (*reinterpret_cast<const wchar_t*>(at) == L'\0')
            return CStdStr(psz, (at - start) / sizeof(wchar_t));
    }
}

BSTR BstrFromStdStr(const CStdStr& str)
{
    BSTR bstr = SysAllocString(str.c_str());
    if (!bstr)
        _com_issue_error(E_OUTOFMEMORY);
    return bstr;
}

void ReplaceBstr(BSTR* pbstr, const CStdStr& str)
{
    BSTR fresh = BstrFromStdStr(str);
    CScopedBstr old(std::exchange(*pbstr, fresh));
}

CVDocNonCom::CVDocNonCom(const CVDOCUMENT* pDoc)
{
    if (!pDoc || !IsReadableMemory(pDoc, sizeof(CVDOCUMENT)))
        return;
    try
    {
        m_strDocID = StdStrFromBstr(&pDoc->bstrDocID);
        m_strLocalFile = StdStrFromBstr(&pDoc->bstrLocalFile);
        m_strName = StdStrFromBstr(&pDoc->bstrName);
        m_strExtension = StdStrFromBstr(&pDoc->bstrExtension);
        m_strAppID = StdStrFromBstr(&pDoc->bstrAppID);
        m_strTypeID = StdStrFromBstr(&pDoc->bstrTypeID);
        m_strAuthorID = StdStrFromBstr(&pDoc->bstrAuthorID);
        m_strTypistID = StdStrFromBstr(&pDoc->bstrTypistID);
        m_dtVersionDate = pDoc->dtVersionDate;
        m_lFileSizeLow = pDoc->lFileSizeLow;
        m_lFileSizeHigh = pDoc->lFileSizeHigh;
        m_lFlags = pDoc->lFlags;
    }
    catch (...)
    {
        // Keep what was converted so far; the rest stays empty or zero.
    }
}

void CVDocNonCom::Clear()
{
    *this = CVDocNonCom();
}

HRESULT CVDocNonCom::ToCom(CVDOCUMENT* pDoc) const
{
    if (!pDoc)
        return E_POINTER;
    ReplaceBstr(&pDoc->bstrDocID, m_strDocID);
    ReplaceBstr(&pDoc->bstrLocalFile, m_strLocalFile);
    ReplaceBstr(&pDoc->bstrName, m_strName);
    ReplaceBstr(&pDoc->bstrExtension, m_strExtension);
    ReplaceBstr(&pDoc->bstrAppID, m_strAppID);
    ReplaceBstr(&pDoc->bstrTypeID, m_strTypeID);
    ReplaceBstr(&pDoc->bstrAuthorID, m_strAuthorID);
    ReplaceBstr(&pDoc->bstrTypistID, m_strTypistID);
    pDoc->dtVersionDate = m_dtVersionDate;
    pDoc->lFileSizeHigh = m_lFileSizeHigh;
    pDoc->lFileSizeLow = m_lFileSizeLow;
    pDoc->lFlags = m_lFlags;
    return S_OK;
}

HRESULT CVDocumentVersionNoCom::ToCom(CVDOCUMENTVERSION* pVersion) const
{
    if (!pVersion)
        return E_POINTER;
    ReplaceBstr(&pVersion->bstrVersion, m_strVersionLabel);
    return m_Document.ToCom(&pVersion->cvDocument);
}

HRESULT CVFileInfoNoCom::ToCom(CVFILEINFO* pInfo) const
{
    if (!pInfo)
        return E_POINTER;
    pInfo->bstrID = BstrFromStdStr(m_strID);
    pInfo->lMajor = m_lMajor;
    pInfo->lMinor = m_lMinor;
    pInfo->lBuild = m_lBuild;
    pInfo->lRevision = m_lRevision;
    return S_OK;
}
