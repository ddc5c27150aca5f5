#include <KvsDataBlocks/tide/TideStationDataSource.h>

#include <KvsDataBlocks/datablocks/DefinitionBuild.h>
#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/config/UseAsCodes.h>

#include <cmath>

namespace {

constexpr unsigned short kStationX = UseAs::kPositionX;
constexpr unsigned short kStationY = UseAs::kPositionY;

// The element id an ATTR_ELTINDEX value addresses: truncated toward zero to 16 bits.
unsigned short ElementIdOf(double index)
{
    if (!(index > 0.0)) return 0;
    if (index >= 65535.0) return 65535;
    return static_cast<unsigned short>(index);
}

} // namespace

TideStationDataSource::TideStationDataSource()
{
    m_bHasData = false;
}

TideStationDataSource::~TideStationDataSource() = default;

bool TideStationDataSource::DataBlockSetup(unsigned short, const CDataId&)
{
    m_mustBuild = true;
    DataBlockInit();
    return true;
}

bool TideStationDataSource::DataBlockInit()
{
    if (!m_station.IsOpen()) return false;
    if (!m_mustBuild) return false;
    m_dataId.SetDataType(1);
    m_dataId.SetDeviceNum(1);
    m_dataId.SetVesselId(1);
    m_dataId.SetGroupId(1020);
    const bool built = BuildDataBlockFromDefinition(m_dataId, m_block);
    m_mustBuild = false;
    return built;
}

bool TideStationDataSource::AddDataBlock(const CDataBlock& in)
{
    double value = 0.0;
    unsigned short valueStatus = 0;
    if (!in.GetDataValue(0, value, valueStatus, CDataBlock::kByPosition)) return false;
    m_dLastAddTime = in.GetTime();
    m_bHasData = true;
    m_mustBuild = true;
    DataBlockInit();
    m_block.SetTime(m_dLastAddTime);
    m_block.SetDataValue(0, value, valueStatus, CDataBlock::kByPosition);
    CString id;
    unsigned short status = 0;
    if (in.GetDataValue(1, id, status, CDataBlock::kByPosition)) m_block.SetDataValue(1, id, status, CDataBlock::kByPosition);
    double coordinate = 0.0;
    if (in.GetDataValue(kStationX, coordinate, status, CDataBlock::kByUseAs)) m_block.SetDataValue(kStationX, coordinate, status, CDataBlock::kByUseAs);
    if (in.GetDataValue(kStationY, coordinate, status, CDataBlock::kByUseAs)) m_block.SetDataValue(kStationY, coordinate, status, CDataBlock::kByUseAs);
    SetResultStatus();
    return m_station.AddTideValue(m_dLastAddTime, value);
}

void TideStationDataSource::FillBlock(CDataBlock& block, double time, double value) const
{
    Point pos;
    m_station.GetStationPos(pos);
    block.SetTime(time);
    block.SetDataValue(0, value, 0, CDataBlock::kByPosition);
    block.SetDataValue(1, m_station.GetStationID(), 0, CDataBlock::kByPosition);
    block.SetDataValue(kStationX, pos.x, 0, CDataBlock::kByUseAs);
    block.SetDataValue(kStationY, pos.y, 0, CDataBlock::kByUseAs);
}

bool TideStationDataSource::GetDataBlock(int index, double& time, CDataBlock& out)
{
    DataBlockInit();
    double value = 0.0;
    if (!m_station.GetTideValue(index, time, value)) return false;
    FillBlock(m_block, time, value);
    SetResultStatus();
    out = m_block;
    return true;
}

bool TideStationDataSource::GetDataBlock(int index, CDataBlock& out)
{
    double time = 0.0;
    return GetDataBlock(index, time, out);
}

bool TideStationDataSource::Interpolate(CDataBlock& block)
{
    // Build the block first if it was never built, as GetDataBlock does: otherwise an
    // interpolation right after opening would report success with no tide value in it.
    DataBlockInit();
    double t = block.GetTime();
    double value = 0.0;
    if (!m_station.InterpolateTide(t, value)) return false;
    block = m_block;
    FillBlock(block, t, value);
    m_block = block;
    return true;
}

bool TideStationDataSource::UpdateDataBlock(CDataBlock& block)
{
    double value = 0.0;
    unsigned short status = 0;
    if (!block.GetDataValue(0, value, status, CDataBlock::kByPosition)) return false;
    return m_station.UpdateTideValue(block.GetTime(), value);
}

void TideStationDataSource::UpdateDataBlock(CDataBlock block, const CAttributeMap& attributes)
{
    unsigned int attrStatus = 0;
    double flag = 0.0;
    if (attributes.GetAttribValue(kDeleteFlagAttribute, flag, attrStatus) && flag != 0.0) DeleteDataBlock(block.GetTime());

    double index = 0.0;
    const bool haveIndex = attributes.GetAttribValue(ATTR_ELTINDEX, index, attrStatus);
    double shift = 0.0;
    if (haveIndex && attributes.GetAttribValue(ATTR_VALUESHIFT, shift, attrStatus)) {
        const unsigned short id = ElementIdOf(index);
        double value = 0.0;
        unsigned short status = 0;
        if (block.GetDataAsDouble(id, value, status, CDataBlock::kById, false)) {
            block.SetStatusFlag(kEditedFlag);
            block.SetDataFromDouble(id, value + shift, status, CDataBlock::kById);
            UpdateDataBlock(block);
        }
    }
    double newValue = 0.0;
    if (haveIndex && attributes.GetAttribValue(ATTR_SETVALUE, newValue, attrStatus)) {
        const unsigned short id = ElementIdOf(index);
        double old = 0.0;
        unsigned short status = 0;
        if (block.GetDataAsDouble(id, old, status, CDataBlock::kById, false)) {
            block.SetStatusFlag(kEditedFlag);
            block.SetDataFromDouble(id, newValue, status, CDataBlock::kById);
            // A set value is stored in the tide file, as a shift is.
            UpdateDataBlock(block);
        }
    }
}

bool TideStationDataSource::GetDataId(CDataId& id) const
{
    id = m_dataId;
    return true;
}

CDataId* TideStationDataSource::GetDataIdPtr()
{
    return &m_dataId;
}

void TideStationDataSource::CopyDataBlock(CDataBlock& block) const
{
    block = m_block;
}

void TideStationDataSource::SetInterpolAttribs(bool enable, double window)
{
    m_station.SetInterpolAttribs(enable, window);
}

void TideStationDataSource::SetExtrapolationAttribs(bool enable, double window)
{
    m_station.SetExtrapolationAttribs(enable, window);
}

bool TideStationDataSource::GetInterpolAttribs(double& window)
{
    bool enable = false;
    m_station.GetInterpolAttribs(enable, window);
    return enable;
}

bool TideStationDataSource::GetExtrapolationAttribs(double& window)
{
    bool enable = false;
    m_station.GetExtrapolationAttribs(enable, window);
    return enable;
}

long TideStationDataSource::GetNumElements() const
{
    return m_station.GetNumValues();
}

bool TideStationDataSource::GetTimeSpan(double& first, double& last)
{
    return m_station.GetTimeSpan(first, last);
}

void TideStationDataSource::SetResultStatus()
{
    int n40 = 0, n30 = 0, n20 = 0;
    for (unsigned int i = 0; i < m_block.GetLength() && i <= 0xFFFF; ++i) {
        CKvsBytePtr* element = nullptr;
        if (!m_block.GetData(static_cast<unsigned short>(i), element, CDataBlock::kById)) continue;
        switch (element->GetStatus()) {
        case kvs::kStatusInvalid: ++n40; break;
        case kvs::kStatusRejected: ++n30; break;
        case kvs::kStatusDegraded: ++n20; break;
        default: break;
        }
    }
    m_block.SetStatus(n40   ? kvs::kStatusInvalid
                      : n30 ? kvs::kStatusRejected
                      : n20 ? kvs::kStatusDegraded
                            : kvs::kStatusValid);
}
