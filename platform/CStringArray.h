// CStringArray: an ordered list of CString with the framework's array operations.
// Indexes are 0-based; GetAt/operator[] expect a valid index (the caller checks).
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>

#include <vector>

class KVS_API CStringArray
{
public:
    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }
    void SetSize(int size) { m_items.resize(size > 0 ? static_cast<size_t>(size) : 0); }
    void RemoveAll() { m_items.clear(); }

    const CString& GetAt(int index) const { return m_items[static_cast<size_t>(index)]; }
    CString& ElementAt(int index) { return m_items[static_cast<size_t>(index)]; }
    void SetAt(int index, const CString& text) { m_items[static_cast<size_t>(index)] = text; }
    const CString& operator[](int index) const { return GetAt(index); }
    CString& operator[](int index) { return ElementAt(index); }

    // Add returns the index of the new item.
    int Add(const CString& text) { m_items.push_back(text); return GetSize() - 1; }
    void SetAtGrow(int index, const CString& text)
    {
        if (index < 0) return;
        if (index >= GetSize()) SetSize(index + 1);
        m_items[static_cast<size_t>(index)] = text;
    }
    void InsertAt(int index, const CString& text, int count = 1);
    void RemoveAt(int index, int count = 1);
    int Append(const CStringArray& other);
    void Copy(const CStringArray& other) { m_items = other.m_items; }

    bool operator==(const CStringArray& other) const { return m_items == other.m_items; }

    std::vector<CString>::const_iterator begin() const { return m_items.begin(); }
    std::vector<CString>::const_iterator end() const { return m_items.end(); }

private:
    std::vector<CString> m_items;
};
