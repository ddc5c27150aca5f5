// CKvsDouble2D: a formula value holding 2 doubles (x, y), e.g. a grid position or a
// vector. Answers GetDouble2D / SetDouble2D and the text form "x,y" (numbers separated by
// commas, SetValueStr accepts the same); it answers no scalar getter.
// Assignment, += and -= take another 2-component value (one that answers GetDouble2D) and
// work component-wise. *= and /= take a 2-component value (component-wise) or a scalar
// (one that answers GetDouble; every component scaled). Values of another kind, and a
// division in which any divisor is zero, leave the receiver unchanged. The by-value
// operators of the interface return the base part only. The common body is
// KvsDoubleVector.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/values/KvsDoubleVector.h>

class KVS_API CKvsDouble2D : public KvsDoubleVector<2, CKvsDouble2D>
{
public:
    CKvsDouble2D() = default;
    CKvsDouble2D(double x, double y) : KvsDoubleVector({x, y}) {}
    CKvsDouble2D(const CKvsDouble2D&) = default;
    CKvsDouble2D& operator=(const CKvsDouble2D& other)
    {
        m_v = other.m_v;
        return *this;
    }
    using KvsDoubleVector::operator=;

    int GetDouble2D(double& x, double& y) const override;
    int SetDouble2D(double x, double y) override;
};
