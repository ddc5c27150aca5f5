#include <KvsDataBlocks/values/CKvsDouble.h>

#include <KvsDataBlocks/values/KvsValueText.h>

bool CKvsDouble::SetValueStr(CString& text)
{
    return kvs::ParseWholeDouble(text, m_value);
}

CKvsType* CKvsDouble::MakeCopy() const
{
    return new CKvsDouble(*this);
}

int CKvsDouble::GetValueStr(CString& text) const
{
    text = kvs::ShortestText(m_value);
    return 1;
}

int CKvsDouble::GetInt(int& out) const { return kvs::DoubleToInt(m_value, out) ? 1 : 0; }
int CKvsDouble::SetInt(int value) { m_value = value; return 1; }
int CKvsDouble::GetUInt(unsigned int& out) const { return kvs::DoubleToUInt(m_value, out) ? 1 : 0; }
int CKvsDouble::SetUInt(unsigned int value) { m_value = value; return 1; }
int CKvsDouble::GetBool(bool& out) const { out = m_value != 0.0; return 1; }
int CKvsDouble::SetBool(bool value) { m_value = value ? 1.0 : 0.0; return 1; }
int CKvsDouble::GetDouble(double& out) const { out = m_value; return 1; }
int CKvsDouble::SetDouble(double value) { m_value = value; return 1; }

CKvsType CKvsDouble::operator=(const CKvsType& other)
{
    double v = 0.0;
    if (other.GetDouble(v)) m_value = v;
    return *this;
}

const CKvsType& CKvsDouble::operator+=(const CKvsType& other)
{
    double v = 0.0;
    if (other.GetDouble(v)) m_value += v;
    return *this;
}

const CKvsType& CKvsDouble::operator-=(const CKvsType& other)
{
    double v = 0.0;
    if (other.GetDouble(v)) m_value -= v;
    return *this;
}

const CKvsType& CKvsDouble::operator*=(const CKvsType& other)
{
    double v = 0.0;
    if (other.GetDouble(v)) m_value *= v;
    return *this;
}

const CKvsType& CKvsDouble::operator/=(const CKvsType& other)
{
    double v = 0.0;
    if (other.GetDouble(v) && v != 0.0) m_value /= v;
    return *this;
}
