#include <KvsDataBlocks/host/CKvsDouble2D.h>

#include <KvsDataBlocks/host/KvsValueText.h>

namespace {

constexpr size_t kSize = 2;

} // namespace

bool CKvsDouble2D::SetValueStr(CString& text)
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

CKvsType* CKvsDouble2D::MakeCopy() const
{
    return new CKvsDouble2D(*this);
}

int CKvsDouble2D::GetValueStr(CString& text) const
{
    text = kvs::ShortestText(m_v[0]);
    for (size_t i = 1; i < kSize; ++i) text += "," + kvs::ShortestText(m_v[i]);
    return 1;
}

int CKvsDouble2D::GetDouble2D(double& x, double& y) const
{
    x = m_v[0];
    y = m_v[1];
    return 1;
}

int CKvsDouble2D::SetDouble2D(double x, double y)
{
    m_v = {x, y};
    return 1;
}

bool CKvsDouble2D::Components(const CKvsType& other, bool allowScalar, std::array<double, kSize>& out)
{
    if (other.GetDouble2D(out[0], out[1])) return true;
    double s = 0.0;
    if (!allowScalar || !other.GetDouble(s)) return false;
    out.fill(s);
    return true;
}

CKvsType CKvsDouble2D::operator=(const CKvsType& other)
{
    std::array<double, kSize> v{};
    if (Components(other, false, v)) m_v = v;
    return *this;
}

const CKvsType& CKvsDouble2D::operator+=(const CKvsType& other)
{
    std::array<double, kSize> v{};
    if (Components(other, false, v))
        for (size_t i = 0; i < kSize; ++i) m_v[i] += v[i];
    return *this;
}

const CKvsType& CKvsDouble2D::operator-=(const CKvsType& other)
{
    std::array<double, kSize> v{};
    if (Components(other, false, v))
        for (size_t i = 0; i < kSize; ++i) m_v[i] -= v[i];
    return *this;
}

const CKvsType& CKvsDouble2D::operator*=(const CKvsType& other)
{
    std::array<double, kSize> v{};
    if (Components(other, true, v))
        for (size_t i = 0; i < kSize; ++i) m_v[i] *= v[i];
    return *this;
}

const CKvsType& CKvsDouble2D::operator/=(const CKvsType& other)
{
    std::array<double, kSize> v{};
    if (!Components(other, true, v)) return *this;
    for (double d : v)
        if (d == 0.0) return *this;
    for (size_t i = 0; i < kSize; ++i) m_v[i] /= v[i];
    return *this;
}

int CKvsDouble2D::SetDoubleXD(CKvsType& a, CKvsType& b, CKvsType&, CKvsType&)
{
    std::array<double, kSize> v{};
    if (!a.GetDouble(v[0]) || !b.GetDouble(v[1])) return 0;
    m_v = v;
    return 1;
}
