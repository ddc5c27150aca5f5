// CKvsName: a formula and attribute value holding one text (any bytes).
// Answers GetName and GetValueStr with the text; SetName and SetValueStr replace it. It
// answers none of the number getters. Assignment takes the other value's text form
// (GetValueStr), so a number assigns its decimal text; += appends that text. -=, *= and /=
// are not supported and leave the text unchanged, as do assignments from values without a
// text form. The by-value operators of the interface return the base part only.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/values/CKvsType.h>

class KVS_API CKvsName : public CKvsType
{
public:
    CKvsName() = default;
    explicit CKvsName(const CString& text) : m_text(text) {}
    CKvsName(const CKvsName&) = default;
    CKvsName& operator=(const CKvsName& other)
    {
        m_text = other.m_text;
        return *this;
    }

    const CString& Value() const { return m_text; }

    bool SetValueStr(CString& text) override;
    CKvsType* MakeCopy() const override;
    int GetValueStr(CString& text) const override;
    int GetName(CString& out) const override;
    int SetName(const CString& name) override;

    CKvsType operator=(const CKvsType& other) override;
    const CKvsType& operator+=(const CKvsType& other) override;


    // Formula operations writing text; 1 on success, 0 (text unchanged) otherwise.
    int ValToStr(CKvsType& value) override;                          // the number as "%g"
    int ValToMyStr(CKvsType& value, CKvsType& decimals) override;     // fixed-point with that many decimals (0-15)
    int OutString(CKvsType& text) override;                          // the text with its escapes resolved (\n, \xHH, ...)
    int FormatGeogsDMS(CKvsType& degrees, CKvsType& decimals, CKvsType& kind) override; // DMS text, kind "Lat" or "Lon"

private:
    CString m_text;
};
