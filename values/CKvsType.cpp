#include <KvsDataBlocks/values/CKvsType.h>

// The base value supports nothing; see the header.

bool CKvsType::m_bPrintFullArray = false;
CKvsUnitCnv CKvsType::m_unitCnv;
int CKvsType::m_iGridDecml = 2;
int CKvsType::m_iWeightDecml = 1;
int CKvsType::m_iPressureDecml = 1;
int CKvsType::m_iDensityDecml = 1;
int CKvsType::m_iDepthDecml = 2;
int CKvsType::m_iSpeedDecml = 2;
int CKvsType::m_iDistDecml = 2;
int CKvsType::m_iGeogDecml = 4;
unsigned int CKvsType::m_uGeogFmtFlags = 0;

bool CKvsType::SetValueStr(CString&)
{
    return false;
}

CKvsType* CKvsType::MakeCopy() const
{
    return nullptr;
}

int CKvsType::GetValueStr(CString&) const
{
    return 0;
}

int CKvsType::GetInt(int&) const
{
    return 0;
}

int CKvsType::SetInt(int)
{
    return 0;
}

int CKvsType::GetUInt(unsigned int&) const
{
    return 0;
}

int CKvsType::SetUInt(unsigned int)
{
    return 0;
}

int CKvsType::GetBool(bool&) const
{
    return 0;
}

int CKvsType::SetBool(bool)
{
    return 0;
}

int CKvsType::GetDouble(double&) const
{
    return 0;
}

int CKvsType::SetDouble(double)
{
    return 0;
}

int CKvsType::GetDouble2D(double&, double&) const
{
    return 0;
}

int CKvsType::SetDouble2D(double, double)
{
    return 0;
}

int CKvsType::SetDoubleXD(CKvsType&, CKvsType&, CKvsType&, CKvsType&)
{
    return 0;
}

int CKvsType::ClipValue(CKvsType&, CKvsType&, CKvsType&)
{
    return 0;
}

int CKvsType::NMEAPos(CKvsType&, CKvsType&)
{
    return 0;
}

int CKvsType::Val(CKvsType&)
{
    return 0;
}

int CKvsType::TimeConv(CKvsType&)
{
    return 0;
}

int CKvsType::Inverse(CKvsType&)
{
    return 0;
}

int CKvsType::ExpandTime(CKvsType&)
{
    return 0;
}

int CKvsType::HmsToMsec(CKvsType&)
{
    return 0;
}

int CKvsType::UtcToLocal(CKvsType&)
{
    return 0;
}

int CKvsType::LocalToUtc(CKvsType&)
{
    return 0;
}

int CKvsType::YyToCcyy(CKvsType&)
{
    return 0;
}

int CKvsType::CYMDMsecToMsec(CKvsType&, CKvsType&, CKvsType&, CKvsType&)
{
    return 0;
}

int CKvsType::Pow1D(CKvsType&, CKvsType&)
{
    return 0;
}

int CKvsType::Sqr1D(CKvsType&)
{
    return 0;
}

int CKvsType::Log1D(CKvsType&)
{
    return 0;
}

int CKvsType::Neg(CKvsType&)
{
    return 0;
}

int CKvsType::Int(CKvsType&)
{
    return 0;
}

int CKvsType::ValToStr(CKvsType&)
{
    return 0;
}

int CKvsType::ValToMyStr(CKvsType&, CKvsType&)
{
    return 0;
}

int CKvsType::IsNull(CKvsType&)
{
    return 0;
}

int CKvsType::Sign(CKvsType&)
{
    return 0;
}

int CKvsType::BinVal(CKvsType&, CKvsType&)
{
    return 0;
}

int CKvsType::OutString(CKvsType&)
{
    return 0;
}

int CKvsType::FormatGeogsDMS(CKvsType&, CKvsType&, CKvsType&)
{
    return 0;
}

int CKvsType::Sin(CKvsType&)
{
    return 0;
}

int CKvsType::Cos(CKvsType&)
{
    return 0;
}

int CKvsType::Asin(CKvsType&)
{
    return 0;
}

int CKvsType::Acos(CKvsType&)
{
    return 0;
}

int CKvsType::Bearing(CKvsType&, CKvsType&)
{
    return 0;
}

int CKvsType::Modulo(CKvsType&, CKvsType&)
{
    return 0;
}

CKvsType CKvsType::operator=(const CKvsType&)
{
    return *this;
}

CKvsType CKvsType::operator+(const CKvsType&)
{
    return *this;
}

CKvsType CKvsType::operator-(const CKvsType&)
{
    return *this;
}

CKvsType CKvsType::operator*(const CKvsType&)
{
    return *this;
}

CKvsType CKvsType::operator/(const CKvsType&)
{
    return *this;
}

const CKvsType& CKvsType::operator+=(const CKvsType&)
{
    return *this;
}

const CKvsType& CKvsType::operator-=(const CKvsType&)
{
    return *this;
}

const CKvsType& CKvsType::operator*=(const CKvsType&)
{
    return *this;
}

const CKvsType& CKvsType::operator/=(const CKvsType&)
{
    return *this;
}

int CKvsType::GetDataInfo(CDataInfo&) const
{
    return 0;
}

int CKvsType::SetDataInfo(const CDataInfo&)
{
    return 0;
}

int CKvsType::GetCompOffset(CCompOffset&) const
{
    return 0;
}

int CKvsType::SetCompOffset(const CCompOffset&)
{
    return 0;
}

int CKvsType::GetName(CString&) const
{
    return 0;
}

int CKvsType::SetName(const CString&)
{
    return 0;
}

int CKvsType::GetDouble3D(double&, double&, double&) const
{
    return 0;
}

int CKvsType::SetDouble3D(double, double, double)
{
    return 0;
}
