// TideStationDataSource: presents one tide file as a time-series data source. It owns the
// TideStation (the file, its station description and observations) and one tide data
// block of group 1020 built from the data definition: position 0 the tide value, position
// 1 the station id, use-as 505/506 the station position. It fills that block for stored
// or interpolated times and applies attribute-driven edits (delete, shift, set) to the
// stored values. Instances are normally created and shared by TsdsManager.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/BaseDataSource.h>
#include <KvsDataBlocks/datablocks/CDataId.h>
#include <KvsDataBlocks/tide/TideStation.h>

class CAttributeMap;

class KVS_API TideStationDataSource : public BaseDataSource
{
public:
    // The block status flag set on a block whose tide value was edited.
    static constexpr unsigned short kEditedFlag = 0x0100;
    // Attribute that asks for the tide value at the block's time to be deleted.
    static constexpr const char* kDeleteFlagAttribute = "SetDeleteFlag";

    TideStationDataSource();
    ~TideStationDataSource() override;
    TideStationDataSource(const TideStationDataSource&) = delete;
    TideStationDataSource& operator=(const TideStationDataSource&) = delete;

    bool DataBlockSetup(unsigned short count, const CDataId& id) override;
    bool DataBlockInit() override;
    bool Interpolate(CDataBlock& block) override;
    using BaseDataSource::Interpolate;
    bool GetDataBlock(int index, CDataBlock& block) override;
    bool GetDataBlock(int index, double& time, CDataBlock& block) override;
    // Replaces the stored value at the block's time by its position-0 double; false
    // (nothing stored) when the block has no double there or no value at that time.
    bool UpdateDataBlock(CDataBlock& block) override;
    // Stores the block's tide value; false (nothing stored) when it has no double at
    // position 0.
    bool AddDataBlock(const CDataBlock& block) override;
    bool GetDataId(CDataId& id) const override;
    CDataId* GetDataIdPtr() override;
    void CopyDataBlock(CDataBlock& block) const override;
    void SetInterpolAttribs(bool enable, double window) override;
    void SetExtrapolationAttribs(bool enable, double window) override;
    bool GetInterpolAttribs(double& window) override;
    bool GetExtrapolationAttribs(double& window) override;
    long GetNumElements() const override;
    bool GetTimeSpan(double& first, double& last) override;

    // Attribute edits, in this order: delete ("SetDeleteFlag" not 0), shift
    // (ATTR_VALUESHIFT of element ATTR_ELTINDEX, stored in the tide file), set
    // (ATTR_SETVALUE of element ATTR_ELTINDEX, stored in the tide file like the shift).
    void UpdateDataBlock(CDataBlock block, const CAttributeMap& attributes);

    bool FileOpen(const CString& fileName) { return m_station.FileOpen(fileName); }
    int FileClose(bool save) { return m_station.FileClose(save); }
    bool FileSave() { return m_station.FileSave(); }
    bool IsOpen() const { return m_station.IsOpen(); }
    int GetOpenCount() const { return m_station.GetOpenCount(); }
    void GetFileName(CString& name) const { m_station.GetFileName(name); }
    CString GetFileName() const { return m_station.GetFileName(); }
    void SetStationName(const CString& name) { m_station.SetStationName(name); }
    void GetStationName(CString& name) const { m_station.GetStationName(name); }
    CString GetStationName() const { return m_station.GetStationName(); }
    void SetStationID(const CString& id) { m_station.SetStationID(id); }
    void GetStationID(CString& id) const { m_station.GetStationID(id); }
    CString GetStationID() const { return m_station.GetStationID(); }
    void SetStationPos(const Point& pos) { m_station.SetStationPos(pos); }
    void GetStationPos(Point& pos) const { m_station.GetStationPos(pos); }
    void SetStationKP(double kp) { m_station.SetStationKP(kp); }
    double GetStationKP() const { return m_station.GetStationKP(); }
    void SetStationOffset(const double& offset) { m_station.SetStationOffset(offset); }
    void GetStationOffset(double& offset) const { m_station.GetStationOffset(offset); }
    double GetStationOffset() const { return m_station.GetStationOffset(); }
    bool DeleteDataBlock(const double& time) { return m_station.DeleteTideValue(time); }

    // The owned tide file (for the error text of a failed open or save).
    const TideStation& GetTideStation() const { return m_station; }
    TideStation& GetTideStation() { return m_station; }

private:
    void SetResultStatus();
    void FillBlock(CDataBlock& block, double time, double value) const;

    TideStation m_station;
    CDataBlock m_block;
    CDataId m_dataId;
    bool m_mustBuild = true;
};
