#include <KvsDataBlocks/values/CKvsInt.h>

#include <KvsDataBlocks/values/KvsValueText.h>

#include <climits>

bool CKvsInt::SetValueStr(CString& text)
{
    return kvs::ParseWholeInt(text, m_value);
}

CKvsType* CKvsInt::MakeCopy() const
{
    return new CKvsInt(*this);
}

int CKvsInt::GetValueStr(CString& text) const
{
    text.Format("%d", m_value);
    return 1;
}

int CKvsInt::GetInt(int& out) const { out = m_value; return 1; }
int CKvsInt::SetInt(int value) { m_value = value; return 1; }

int CKvsInt::GetUInt(unsigned int& out) const
{
    if (m_value < 0) return 0;
    out = static_cast<unsigned int>(m_value);
    return 1;
}

int CKvsInt::SetUInt(unsigned int value)
{
    if (value > static_cast<unsigned int>(INT_MAX)) return 0;
    m_value = static_cast<int>(value);
    return 1;
}

int CKvsInt::GetBool(bool& out) const { out = m_value != 0; return 1; }
int CKvsInt::SetBool(bool value) { m_value = value ? 1 : 0; return 1; }
int CKvsInt::GetDouble(double& out) const { out = m_value; return 1; }
int CKvsInt::SetDouble(double value) { return kvs::DoubleToInt(value, m_value) ? 1 : 0; }

template <typename Op>
const CKvsType& CKvsInt::Apply(const CKvsType& other, Op op)
{
    double v = 0.0;
    if (!other.GetDouble(v)) return *this;
    double result = 0.0;
    if (!op(static_cast<double>(m_value), v, result)) return *this;
    kvs::DoubleToInt(result, m_value);
    return *this;
}

CKvsType CKvsInt::operator=(const CKvsType& other)
{
    Apply(other, [](double, double v, double& r) { r = v; return true; });
    return *this;
}

const CKvsType& CKvsInt::operator+=(const CKvsType& other)
{
    return Apply(other, [](double a, double b, double& r) { r = a + b; return true; });
}

const CKvsType& CKvsInt::operator-=(const CKvsType& other)
{
    return Apply(other, [](double a, double b, double& r) { r = a - b; return true; });
}

const CKvsType& CKvsInt::operator*=(const CKvsType& other)
{
    return Apply(other, [](double a, double b, double& r) { r = a * b; return true; });
}

const CKvsType& CKvsInt::operator/=(const CKvsType& other)
{
    return Apply(other, [](double a, double b, double& r) {
        if (b == 0.0) return false;
        r = a / b;
        return true;
    });
}
