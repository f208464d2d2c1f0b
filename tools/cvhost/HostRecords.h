#pragma once
// Owners for the host structures as a host holds them: a record (CVDOCUMENT, CVDOCUMENTVERSION,
// CVFILEINFO) owns the BSTRs in its fields, and a list method's CoTaskMemAlloc'ed array of
// records owns its records' strings and its block. Whatever is put into a record's string field
// or handed out by the provider is freed when the owner goes.
#include <windows.h>
#include <oleauto.h>

#include <utility>

#include <corvane/CorvaneHost.h>

#include "framework/Handles.h"

// Frees the strings of one record and leaves its string fields null.
inline void FreeHostStrings(CVDOCUMENT& doc)
{
    for (BSTR* pField : {&doc.bstrDocID, &doc.bstrLocalFile, &doc.bstrName, &doc.bstrExtension, &doc.bstrAppID,
                         &doc.bstrTypeID, &doc.bstrAuthorID, &doc.bstrTypistID})
        CScopedBstr dropped(std::exchange(*pField, nullptr));
}

inline void FreeHostStrings(CVDOCUMENTVERSION& version)
{
    CScopedBstr dropped(std::exchange(version.bstrVersion, nullptr));
    FreeHostStrings(version.cvDocument);
}

inline void FreeHostStrings(CVFILEINFO& info)
{
    CScopedBstr dropped(std::exchange(info.bstrID, nullptr));
}

// One host record, zeroed to start with, that owns the strings in its fields.
template <class Struct>
class CHostRecord
{
public:
    CHostRecord() = default;
    CHostRecord(const CHostRecord&) = delete;
    CHostRecord& operator=(const CHostRecord&) = delete;
    ~CHostRecord() { FreeHostStrings(m_record); }

    Struct* Get() { return &m_record; }
    Struct* operator->() { return &m_record; }
    const Struct& operator*() const { return m_record; }

private:
    Struct m_record = {};
};

// The array and count a provider's list method hands out. Count() is the count as answered;
// iterating visits the records of the array (none when no array came).
template <class Struct>
class CHostArray
{
public:
    CHostArray() = default;
    CHostArray(const CHostArray&) = delete;
    CHostArray& operator=(const CHostArray&) = delete;
    ~CHostArray() { Reset(); }

    // The slots for the list method's out parameters; what was held is freed first.
    long* ReceiveCount()
    {
        Reset();
        return &m_lCount;
    }
    Struct** Receive()
    {
        Reset();
        return &m_pArray;
    }

    long Count() const { return m_lCount; }
    const Struct* begin() const { return m_pArray; }
    const Struct* end() const { return m_pArray && m_lCount > 0 ? m_pArray + m_lCount : m_pArray; }

private:
    void Reset()
    {
        for (long i = 0; m_pArray && i < m_lCount; ++i)
            FreeHostStrings(m_pArray[i]);
        CCoTaskMem block(std::exchange(m_pArray, nullptr));
        m_lCount = 0;
    }

    Struct* m_pArray = nullptr;
    long m_lCount = 0;
};
