// CKvsDouble: a formula and attribute value holding one double.
// Answers the scalar getters: GetDouble; GetInt and GetUInt (truncated toward zero, status
// 0 when the value lies outside the target's range or is NaN); GetBool (value != 0);
// GetValueStr (shortest text that reads back to the same double). Setters: SetDouble,
// SetInt, SetUInt, SetBool (1 or 0), SetValueStr (a whole decimal number).
// Assignment and the compound operators take any value that answers GetDouble; when the
// other value does not, or on division by zero, the receiver is left unchanged (no
// infinities or NaN are produced by /=). The by-value operators + - * / of the interface
// return the base part only; build arithmetic as result = a; result += b.
#pragma once

#include <KvsDataBlocks/host/CKvsType.h>

class CKvsDouble : public CKvsType
{
public:
    CKvsDouble() = default;
    explicit CKvsDouble(double value) : m_value(value) {}
    CKvsDouble(const CKvsDouble&) = default;
    CKvsDouble& operator=(const CKvsDouble& other)
    {
        m_value = other.m_value;
        return *this;
    }

    double Value() const { return m_value; }

    bool SetValueStr(CString& text) override;
    CKvsType* MakeCopy() const override;
    int GetValueStr(CString& text) const override;

    int GetInt(int& out) const override;
    int SetInt(int value) override;
    int GetUInt(unsigned int& out) const override;
    int SetUInt(unsigned int value) override;
    int GetBool(bool& out) const override;
    int SetBool(bool value) override;
    int GetDouble(double& out) const override;
    int SetDouble(double value) override;

    CKvsType operator=(const CKvsType& other) override;
    const CKvsType& operator+=(const CKvsType& other) override;
    const CKvsType& operator-=(const CKvsType& other) override;
    const CKvsType& operator*=(const CKvsType& other) override;
    const CKvsType& operator/=(const CKvsType& other) override;

private:
    double m_value = 0.0;
};
