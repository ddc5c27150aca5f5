#include <KvsDataBlocks/platform/CKvsString.h>

#include <KvsDataBlocks/values/KvsValueText.h>

CKvsString::CKvsString(const CString& text, char separator, bool trim) : m_separator(separator)
{
    LoadStringA(text, trim);
}

void CKvsString::LoadStringA(const CString& text, bool trim)
{
    m_items.RemoveAll();
    if (text.IsEmpty()) return;
    int start = 0;
    for (;;) {
        const int sep = text.Find(m_separator, start);
        CString item = sep < 0 ? text.Mid(start) : text.Mid(start, sep - start);
        if (trim) item.Trim();
        m_items.Add(item);
        if (sep < 0) break;
        start = sep + 1;
    }
}

CString CKvsString::operator[](int index) const
{
    if (index < 0 || index >= m_items.GetSize()) return CString();
    return m_items[index];
}

bool CKvsString::GetItem(int index, int& value) const
{
    if (index < 0 || index >= m_items.GetSize()) return false;
    return kvs::ParseWholeInt(m_items[index], value);
}
