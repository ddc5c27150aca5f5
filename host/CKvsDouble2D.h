// CKvsDouble2D: a formula value holding 2 doubles (x, y), e.g. a grid position or a
// vector. Answers GetDouble2D / SetDouble2D and the text form "x,y" (numbers separated by
// commas, SetValueStr accepts the same); it answers no scalar getter.
// Assignment, += and -= take another 2-component value (one that answers GetDouble2D) and
// work component-wise. *= and /= take a 2-component value (component-wise) or a scalar
// (one that answers GetDouble; every component scaled). Values of another kind, and a
// division in which any divisor is zero, leave the receiver unchanged. The by-value
// operators of the interface return the base part only.
#pragma once

#include <KvsDataBlocks/host/CKvsType.h>

#include <array>

class CKvsDouble2D : public CKvsType
{
public:
    CKvsDouble2D() = default;
    CKvsDouble2D(double x, double y) : m_v{x, y} {}
    CKvsDouble2D(const CKvsDouble2D&) = default;
    CKvsDouble2D& operator=(const CKvsDouble2D& other)
    {
        m_v = other.m_v;
        return *this;
    }

    const std::array<double, 2>& Values() const { return m_v; }

    bool SetValueStr(CString& text) override;
    CKvsType* MakeCopy() const override;
    int GetValueStr(CString& text) const override;
    int GetDouble2D(double& x, double& y) const override;
    int SetDouble2D(double x, double y) override;

    CKvsType operator=(const CKvsType& other) override;
    const CKvsType& operator+=(const CKvsType& other) override;
    const CKvsType& operator-=(const CKvsType& other) override;
    const CKvsType& operator*=(const CKvsType& other) override;
    const CKvsType& operator/=(const CKvsType& other) override;


    // Formula operation: the negated vector, component by component.
    int Neg(CKvsType& value) override;
    // Formula operation: (x, y) from the scalars (GetDouble) of the first 2 values; the
    // others are not read. 0 and unchanged when one of them has no scalar.
    int SetDoubleXD(CKvsType& a, CKvsType& b, CKvsType& c, CKvsType& d) override;

private:
    // The other value as 2 components: its own components, or with allowScalar its
    // scalar repeated. False when it has neither.
    static bool Components(const CKvsType& other, bool allowScalar, std::array<double, 2>& out);

    std::array<double, 2> m_v{};
};
