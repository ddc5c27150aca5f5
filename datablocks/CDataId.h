// CDataId: identifies the source of a data block by four 16-bit numbers: data type,
// vessel id, group id (which data-definition group lays the block out) and device number.
#pragma once

class CDataId
{
public:
    CDataId() = default;
    // Arguments in the suite's order: data type, group id, device number, vessel id.
    CDataId(unsigned short dataType, unsigned short groupId, unsigned short deviceNum, unsigned short vesselId)
        : m_dataType(dataType), m_vesselId(vesselId), m_groupId(groupId), m_deviceNum(deviceNum) {}

    unsigned short GetDataType() const { return m_dataType; }
    void SetDataType(unsigned short v) { m_dataType = v; }
    unsigned short GetVesselId() const { return m_vesselId; }
    void SetVesselId(unsigned short v) { m_vesselId = v; }
    unsigned short GetGroupId() const { return m_groupId; }
    void SetGroupId(unsigned short v) { m_groupId = v; }
    unsigned short GetDeviceNum() const { return m_deviceNum; }
    void SetDeviceNum(unsigned short v) { m_deviceNum = v; }

    bool operator==(const CDataId& o) const
    {
        return m_dataType == o.m_dataType && m_vesselId == o.m_vesselId && m_groupId == o.m_groupId &&
               m_deviceNum == o.m_deviceNum;
    }
    bool operator!=(const CDataId& o) const { return !(*this == o); }

private:
    unsigned short m_dataType = 0;
    unsigned short m_vesselId = 0;
    unsigned short m_groupId = 0;
    unsigned short m_deviceNum = 0;
};
