// CKvsDouble3D: a formula value holding 3 doubles (x, y, z), e.g. a grid position or a
// vector. Answers GetDouble3D / SetDouble3D and the text form "x,y,z" (numbers separated by
// commas, SetValueStr accepts the same); it answers no scalar getter.
// Assignment, += and -= take another 3-component value (one that answers GetDouble3D) and
// work component-wise. *= and /= take a 3-component value (component-wise) or a scalar
// (one that answers GetDouble; every component scaled). Values of another kind, and a
// division in which any divisor is zero, leave the receiver unchanged. The by-value
// operators of the interface return the base part only.
#pragma once

#include <KvsDataBlocks/host/CKvsType.h>

#include <array>

class CKvsDouble3D : public CKvsType
{
public:
    CKvsDouble3D() = default;
    CKvsDouble3D(double x, double y, double z) : m_v{x, y, z} {}
    CKvsDouble3D(const CKvsDouble3D&) = default;
    CKvsDouble3D& operator=(const CKvsDouble3D& other)
    {
        m_v = other.m_v;
        return *this;
    }

    const std::array<double, 3>& Values() const { return m_v; }

    bool SetValueStr(CString& text) override;
    CKvsType* MakeCopy() const override;
    int GetValueStr(CString& text) const override;
    int GetDouble3D(double& x, double& y, double& z) const override;
    int SetDouble3D(double x, double y, double z) override;

    CKvsType operator=(const CKvsType& other) override;
    const CKvsType& operator+=(const CKvsType& other) override;
    const CKvsType& operator-=(const CKvsType& other) override;
    const CKvsType& operator*=(const CKvsType& other) override;
    const CKvsType& operator/=(const CKvsType& other) override;


    // Formula operation: the negated vector, component by component.
    int Neg(CKvsType& value) override;
    // Formula operation: (x, y, z) from the scalars (GetDouble) of the first 3 values; the
    // others are not read. 0 and unchanged when one of them has no scalar.
    int SetDoubleXD(CKvsType& a, CKvsType& b, CKvsType& c, CKvsType& d) override;

private:
    // The other value as 3 components: its own components, or with allowScalar its
    // scalar repeated. False when it has neither.
    static bool Components(const CKvsType& other, bool allowScalar, std::array<double, 3>& out);

    std::array<double, 3> m_v{};
};
