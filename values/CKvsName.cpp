#include <KvsDataBlocks/values/CKvsName.h>

bool CKvsName::SetValueStr(CString& text)
{
    m_text = text;
    return true;
}

CKvsType* CKvsName::MakeCopy() const
{
    return new CKvsName(*this);
}

int CKvsName::GetValueStr(CString& text) const
{
    text = m_text;
    return 1;
}

int CKvsName::GetName(CString& out) const
{
    out = m_text;
    return 1;
}

int CKvsName::SetName(const CString& name)
{
    m_text = name;
    return 1;
}

CKvsType CKvsName::operator=(const CKvsType& other)
{
    CString text;
    if (other.GetValueStr(text)) m_text = text;
    return *this;
}

const CKvsType& CKvsName::operator+=(const CKvsType& other)
{
    CString text;
    if (other.GetValueStr(text)) m_text += text;
    return *this;
}
