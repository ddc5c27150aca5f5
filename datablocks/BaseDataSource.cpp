#include <KvsDataBlocks/datablocks/BaseDataSource.h>

// Defaults of the data-source interface; see the header.

void BaseDataSource::SetOption(int) {}

void BaseDataSource::ResetOption(int) {}

bool BaseDataSource::Init()
{
    return false;
}

bool BaseDataSource::DataBlockSetup(unsigned short, const CDataId&)
{
    return false;
}

bool BaseDataSource::InitDataElement(int, unsigned short, unsigned short, unsigned short, unsigned short,
                                     unsigned short)
{
    return false;
}

bool BaseDataSource::DataBlockInit()
{
    return false;
}

bool BaseDataSource::Interpolate(CDataBlock&)
{
    return false;
}

bool BaseDataSource::Interpolate(double, unsigned short, unsigned short, double&, unsigned short&)
{
    return false;
}

bool BaseDataSource::InterpolateHeading(double, unsigned short, unsigned short, double, double, double&,
                                        unsigned short&)
{
    return false;
}

bool BaseDataSource::FindIntervalStartEnd(double, unsigned short, unsigned short, double&, double&, double&,
                                          double&, unsigned short&)
{
    return false;
}

bool BaseDataSource::GetLastAddTime(double& time) const
{
    time = m_dLastAddTime;
    return m_bHasData;
}

bool BaseDataSource::GetDataBlock(int, CDataBlock&)
{
    return false;
}

bool BaseDataSource::GetDataBlock(int, double&, CDataBlock&)
{
    return false;
}

bool BaseDataSource::GetDataTimeStatus(int, double&, unsigned short&)
{
    return false;
}

bool BaseDataSource::UpdateData(double, const CAttributeMap&)
{
    return false;
}

bool BaseDataSource::UpdateDataBlock(CDataBlock&)
{
    return false;
}

bool BaseDataSource::GetBufferStatus(double&, unsigned short&) const
{
    return false;
}

void BaseDataSource::SetBufferStatus(double, unsigned short) {}

bool BaseDataSource::AddDataBlock(const CDataBlock&)
{
    return false;
}

bool BaseDataSource::GetDataId(CDataId&) const
{
    return false;
}

CDataId* BaseDataSource::GetDataIdPtr()
{
    return nullptr;
}

CDataBlock* BaseDataSource::GetLastElementInternal()
{
    return nullptr;
}

CDataBlock* BaseDataSource::GetInternalDataBlock()
{
    return nullptr;
}

void BaseDataSource::CopyDataBlock(CDataBlock&) const {}

void BaseDataSource::NotifySubscribers() {}

bool BaseDataSource::Allocate(long length)
{
    if (length < 0) return false;
    m_lBufSize = length;
    return true;
}

void BaseDataSource::SetInterpolAttribs(bool, double) {}

void BaseDataSource::SetExtrapolationAttribs(bool, double) {}

bool BaseDataSource::GetInterpolAttribs(double&)
{
    return false;
}

bool BaseDataSource::GetExtrapolationAttribs(double&)
{
    return false;
}

long BaseDataSource::GetBufSize() const
{
    return m_lBufSize;
}

long BaseDataSource::GetNumElements() const
{
    return 0;
}

bool BaseDataSource::GetTimeSpan(double&, double&)
{
    return false;
}

double BaseDataSource::GetFirstElementTime()
{
    return 0.0;
}

double BaseDataSource::GetLastElementTime()
{
    return 0.0;
}

void BaseDataSource::HandleAttribsChange(const CDataId&) {}

void BaseDataSource::ReportError(double, bool, int) {}
