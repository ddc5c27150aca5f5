// CDataInfo: a reference to one data element of one source, a CDataId plus the
// element id within blocks of that source.
#pragma once

#include <KvsDataBlocks/datablocks/CDataId.h>

class CDataInfo
{
public:
    CDataInfo() = default;
    CDataInfo(const CDataId& id, unsigned short elemId) : m_dataId(id), m_elemId(elemId) {}

    const CDataId& GetDataId() const { return m_dataId; }
    void SetDataId(const CDataId& id) { m_dataId = id; }
    unsigned short GetElemId() const { return m_elemId; }
    void SetElemId(unsigned short id) { m_elemId = id; }
    void GetInfo(CDataId& id, unsigned short& elemId) const
    {
        id = m_dataId;
        elemId = m_elemId;
    }

    bool operator==(const CDataInfo& o) const { return m_dataId == o.m_dataId && m_elemId == o.m_elemId; }
    bool operator!=(const CDataInfo& o) const { return !(*this == o); }

private:
    CDataId m_dataId;
    unsigned short m_elemId = 0;
};
