// CKvsString: splits a text into items at a one-character separator. The filters use it
// for comma-separated beam lists, the formula engine for ';'-separated names.
// An empty text has no items; otherwise there is one item more than separators, so empty
// items ("a,,b", a trailing ',') are kept. With trim, blanks (spaces, tabs, CR, LF) around
// every item are removed.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>
#include <KvsDataBlocks/platform/CStringArray.h>

class KVS_API CKvsString
{
public:
    explicit CKvsString(char separator = ',') : m_separator(separator) {}
    CKvsString(const CString& text, char separator, bool trim);

    // Replaces the items by those of text, split at the current separator.
    void LoadStringA(const CString& text, bool trim);
    // Takes effect at the next LoadStringA.
    void SetSeparator(char separator) { m_separator = separator; }
    char GetSeparator() const { return m_separator; }

    int Size() const { return m_items.GetSize(); }
    // Item text; an empty text for an index outside 0 .. Size()-1.
    CString operator[](int index) const;
    // True and the item as a decimal integer (int range, optional sign) when it is one;
    // value is left unchanged otherwise and for an index out of range.
    bool GetItem(int index, int& value) const;

private:
    char m_separator;
    CStringArray m_items;
};
