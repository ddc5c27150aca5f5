// CKvsInt: a formula and attribute value holding one 32-bit signed integer.
// Answers GetInt, GetUInt (status 0 for negative values), GetBool (value != 0), GetDouble
// and GetValueStr (decimal text). Setters: SetInt, SetUInt (status 0 above INT_MAX),
// SetBool (1 or 0), SetDouble (truncated toward zero; status 0 outside int range or NaN),
// SetValueStr (a whole decimal integer).
// Assignment and the compound operators take any value that answers GetDouble; the result
// is computed exactly and truncated toward zero (7 / 2 gives 3, 3 * 2.5 gives 7). The
// receiver is left unchanged when the other value has no number, on division by zero and
// when the result leaves int range. The by-value operators + - * / of the interface return
// the base part only; build arithmetic as result = a; result += b.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/values/CKvsType.h>

class KVS_API CKvsInt : public CKvsType
{
public:
    CKvsInt() = default;
    explicit CKvsInt(int value) : m_value(value) {}
    CKvsInt(const CKvsInt&) = default;
    CKvsInt& operator=(const CKvsInt& other)
    {
        m_value = other.m_value;
        return *this;
    }

    int Value() const { return m_value; }

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


    // Formula operations computed in double and stored truncated toward zero (see
    // CKvsDouble); 0 and the receiver unchanged when the result does not fit an int.
    int ClipValue(CKvsType& value, CKvsType& low, CKvsType& high) override;
    int Pow1D(CKvsType& base, CKvsType& exponent) override;
    int Sqr1D(CKvsType& value) override;
    int Neg(CKvsType& value) override;
    int Int(CKvsType& value) override;
    int Modulo(CKvsType& value, CKvsType& divisor) override;

private:
    // Stores the truncated result when the other value has a number and it fits.
    template <typename Op>
    const CKvsType& Apply(const CKvsType& other, Op op);

    int m_value = 0;
};
