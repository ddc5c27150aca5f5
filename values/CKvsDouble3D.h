// CKvsDouble3D: a formula value holding 3 doubles (x, y, z), e.g. a grid position or a
// vector. Answers GetDouble3D / SetDouble3D and the text form "x,y,z" (numbers separated by
// commas, SetValueStr accepts the same); it answers no scalar getter.
// Assignment, += and -= take another 3-component value (one that answers GetDouble3D) and
// work component-wise. *= and /= take a 3-component value (component-wise) or a scalar
// (one that answers GetDouble; every component scaled). Values of another kind, and a
// division in which any divisor is zero, leave the receiver unchanged. The by-value
// operators of the interface return the base part only. The common body is
// KvsDoubleVector.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/values/KvsDoubleVector.h>

class KVS_API CKvsDouble3D : public KvsDoubleVector<3, CKvsDouble3D>
{
public:
    CKvsDouble3D() = default;
    CKvsDouble3D(double x, double y, double z) : KvsDoubleVector({x, y, z}) {}
    CKvsDouble3D(const CKvsDouble3D&) = default;
    CKvsDouble3D& operator=(const CKvsDouble3D& other)
    {
        m_v = other.m_v;
        return *this;
    }
    using KvsDoubleVector::operator=;

    int GetDouble3D(double& x, double& y, double& z) const override;
    int SetDouble3D(double x, double y, double z) override;
};
