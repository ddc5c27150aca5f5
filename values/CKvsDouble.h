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

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/values/CKvsType.h>

#include <cmath>

class KVS_API CKvsDouble : public CKvsType
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
    void SetValue(double value) { m_value = value; }
    // The address of the held number, valid as long as the object: lets the formula
    // engine compute on plain numbers without a call per value.
    double* ValuePtr() { return &m_value; }

    // base ^ exponent as Pow1D and the formula operator "^" compute it: std::pow, except
    // that an exponent of exactly 2 multiplies (the correctly rounded square, and fast).
    static double Power(double base, double exponent)
    {
        return exponent == 2.0 ? base * base : std::pow(base, exponent);
    }
    // Whether power, the Power of base and exponent, is a defined result: not a negative
    // base to a fractional exponent (NaN from numbers) and not zero to a negative
    // exponent (a pole). NaN operands give NaN, which counts as defined.
    static bool PowerDefined(double base, double exponent, double power)
    {
        // Bitwise on the tests: no branch in the formula engine's number steps.
        const int domain = int(std::isnan(power)) & int(!std::isnan(base)) & int(!std::isnan(exponent));
        const int pole = int(base == 0.0) & int(exponent < 0.0);
        return (domain | pole) == 0;
    }

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


    // Formula operations; the receiver takes the result, 1 on success, 0 (receiver
    // unchanged) when an argument has no number or the operation is undefined for it.
    // Angles are degrees; times are milliseconds since 1970 UTC unless said otherwise.
    int ClipValue(CKvsType& value, CKvsType& low, CKvsType& high) override; // value limited to [low, high]
    int NMEAPos(CKvsType& field, CKvsType& hemisphere) override; // ddmm.mmmm / dddmm.mmmm and N/S/E/W to signed degrees
    int Val(CKvsType& text) override;                            // the number at the start of a text
    int TimeConv(CKvsType& text) override;                       // "hhmmss.ss" to milliseconds of the day
    int Inverse(CKvsType& text) override;                        // the negated number of a text
    int ExpandTime(CKvsType& msOfDay) override;                  // time of day on the current UTC day
    int HmsToMsec(CKvsType& hhmmss) override;                    // number hhmmss.sss to milliseconds of the day
    int UtcToLocal(CKvsType& time) override;                     // plus the local zone offset
    int LocalToUtc(CKvsType& time) override;                     // minus the local zone offset
    int YyToCcyy(CKvsType& year) override;                       // 0-79 -> 2000-2079, 80-99 -> 1980-1999, others unchanged
    int CYMDMsecToMsec(CKvsType& year, CKvsType& month, CKvsType& day, CKvsType& msOfDay) override;
    int Pow1D(CKvsType& base, CKvsType& exponent) override;      // base ^ exponent (Power); undefined powers refused
    int Sqr1D(CKvsType& value) override;                         // square root; negative values refused
    int Log1D(CKvsType& value) override;                         // base-10 logarithm; values <= 0 refused
    int Neg(CKvsType& value) override;                           // -value
    int Int(CKvsType& value) override;                           // truncated toward zero
    int IsNull(CKvsType& value) override;                        // 1 when the value is 0, else 0
    int Sign(CKvsType& value) override;                          // -1, 0 or 1
    int BinVal(CKvsType& text, CKvsType& count) override;        // unsigned integer of the first count (1-8) bytes, little-endian
    int Sin(CKvsType& angle) override;
    int Cos(CKvsType& angle) override;
    int Asin(CKvsType& value) override;                          // degrees; |value| > 1 refused
    int Acos(CKvsType& value) override;                          // degrees; |value| > 1 refused
    int Bearing(CKvsType& dx, CKvsType& dy) override;            // direction of (dx east, dy north), [0, 360)
    int Modulo(CKvsType& value, CKvsType& divisor) override;     // remainder in [0, |divisor|); divisor 0 refused

private:
    double m_value = 0.0;
};
