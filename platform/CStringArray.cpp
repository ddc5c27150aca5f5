#include <KvsDataBlocks/platform/CStringArray.h>

#include <algorithm>

void CStringArray::InsertAt(int index, const CString& text, int count)
{
    if (count <= 0 || index < 0) return;
    if (index > GetSize()) SetSize(index);
    m_items.insert(m_items.begin() + index, static_cast<size_t>(count), text);
}

void CStringArray::RemoveAt(int index, int count)
{
    if (index < 0 || count <= 0 || index >= GetSize()) return;
    const int last = std::min(GetSize(), index + count);
    m_items.erase(m_items.begin() + index, m_items.begin() + last);
}

int CStringArray::Append(const CStringArray& other)
{
    const int first = GetSize();
    m_items.insert(m_items.end(), other.m_items.begin(), other.m_items.end());
    return first;
}
