#include <KvsDataBlocks/host/CKvsDouble3D.h>

#include <KvsDataBlocks/host/KvsValueText.h>

namespace {

constexpr size_t kSize = 3;

} // namespace

bool CKvsDouble3D::SetValueStr(CString& text)
{
    std::array<double, kSize> v{};
    int start = 0;
    for (size_t i = 0; i < kSize; ++i) {
        const int comma = text.Find(',', start);
        const bool last = i + 1 == kSize;
        if (last != (comma < 0)) return false;
        const CString part = last ? text.Mid(start) : text.Mid(start, comma - start);
        if (!kvs::ParseWholeDouble(part, v[i])) return false;
        start = comma + 1;
    }
    m_v = v;
    return true;
}

CKvsType* CKvsDouble3D::MakeCopy() const
{
    return new CKvsDouble3D(*this);
}

int CKvsDouble3D::GetValueStr(CString& text) const
{
    text = kvs::ShortestText(m_v[0]);
    for (size_t i = 1; i < kSize; ++i) text += "," + kvs::ShortestText(m_v[i]);
    return 1;
}

int CKvsDouble3D::GetDouble3D(double& x, double& y, double& z) const
{
    x = m_v[0];
    y = m_v[1];
    z = m_v[2];
    return 1;
}

int CKvsDouble3D::SetDouble3D(double x, double y, double z)
{
    m_v = {x, y, z};
    return 1;
}

bool CKvsDouble3D::Components(const CKvsType& other, bool allowScalar, std::array<double, kSize>& out)
{
    if (other.GetDouble3D(out[0], out[1], out[2])) return true;
    double s = 0.0;
    if (!allowScalar || !other.GetDouble(s)) return false;
    out.fill(s);
    return true;
}

CKvsType CKvsDouble3D::operator=(const CKvsType& other)
{
    std::array<double, kSize> v{};
    if (Components(other, false, v)) m_v = v;
    return *this;
}

const CKvsType& CKvsDouble3D::operator+=(const CKvsType& other)
{
    std::array<double, kSize> v{};
    if (Components(other, false, v))
        for (size_t i = 0; i < kSize; ++i) m_v[i] += v[i];
    return *this;
}

const CKvsType& CKvsDouble3D::operator-=(const CKvsType& other)
{
    std::array<double, kSize> v{};
    if (Components(other, false, v))
        for (size_t i = 0; i < kSize; ++i) m_v[i] -= v[i];
    return *this;
}

const CKvsType& CKvsDouble3D::operator*=(const CKvsType& other)
{
    std::array<double, kSize> v{};
    if (Components(other, true, v))
        for (size_t i = 0; i < kSize; ++i) m_v[i] *= v[i];
    return *this;
}

const CKvsType& CKvsDouble3D::operator/=(const CKvsType& other)
{
    std::array<double, kSize> v{};
    if (!Components(other, true, v)) return *this;
    for (double d : v)
        if (d == 0.0) return *this;
    for (size_t i = 0; i < kSize; ++i) m_v[i] /= v[i];
    return *this;
}

int CKvsDouble3D::SetDoubleXD(CKvsType& a, CKvsType& b, CKvsType& c, CKvsType&)
{
    std::array<double, kSize> v{};
    if (!a.GetDouble(v[0]) || !b.GetDouble(v[1]) || !c.GetDouble(v[2])) return 0;
    m_v = v;
    return 1;
}
