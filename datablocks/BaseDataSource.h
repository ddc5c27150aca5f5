// BaseDataSource: the base of the suite's time-series data sources (the tide station data
// source is one). It declares the data-source interface in the base library's slot order
// and gives every operation a harmless default: bool operations report false ("not
// provided"), pointer results are null, counts and times are 0, setters do nothing.
// Exceptions: Allocate records the requested buffer length (GetBufSize returns it) and
// GetLastAddTime reports the protected last-add time and has-data flag. It owns nothing.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/datablocks/CDataId.h>

class CAttributeMap;
class CDataBlock;

class KVS_API BaseDataSource
{
public:
    BaseDataSource() = default;
    BaseDataSource(const BaseDataSource&) = default;
    BaseDataSource& operator=(const BaseDataSource&) = default;
    virtual ~BaseDataSource() = default;

    virtual void SetOption(int option);
    virtual void ResetOption(int option);
    virtual bool Init();
    // Lays out the internal block: count elements for data id (then InitDataElement for
    // each, then DataBlockInit), as CDataBlock's Allocate/SetDataId, InitDataElement, Init.
    virtual bool DataBlockSetup(unsigned short count, const CDataId& id);
    virtual bool InitDataElement(int index, unsigned short id, unsigned short type, unsigned short length,
                                 unsigned short format, unsigned short useAs);
    virtual bool DataBlockInit();
    // Fills block with the source's data at the block's time.
    virtual bool Interpolate(CDataBlock& block);
    // One element's value at time (key and mode as CDataBlock::LookUp).
    virtual bool Interpolate(double time, unsigned short key, unsigned short mode, double& value,
                             unsigned short& status);
    // As Interpolate for a heading in degrees, with the limits of its range.
    virtual bool InterpolateHeading(double time, unsigned short key, unsigned short mode, double low, double high,
                                    double& value, unsigned short& status);
    // The stored samples on both sides of time: start time and value, end time and value.
    virtual bool FindIntervalStartEnd(double time, unsigned short key, unsigned short mode, double& startTime,
                                      double& startValue, double& endTime, double& endValue,
                                      unsigned short& status);
    // The time of the last block added; the result tells whether any block was added.
    virtual bool GetLastAddTime(double& time) const;
    virtual bool GetDataBlock(int index, CDataBlock& block);
    virtual bool GetDataBlock(int index, double& time, CDataBlock& block);
    virtual bool GetDataTimeStatus(int index, double& time, unsigned short& status);
    virtual bool UpdateData(double time, const CAttributeMap& attributes);
    virtual bool UpdateDataBlock(CDataBlock& block);
    virtual bool GetBufferStatus(double& time, unsigned short& status) const;
    virtual void SetBufferStatus(double time, unsigned short status);
    virtual bool AddDataBlock(const CDataBlock& block);
    virtual bool GetDataId(CDataId& id) const;
    virtual CDataId* GetDataIdPtr();
    virtual CDataBlock* GetLastElementInternal();
    virtual CDataBlock* GetInternalDataBlock();
    virtual void CopyDataBlock(CDataBlock& block) const;
    virtual void NotifySubscribers();
    // Records the number of blocks the source is to keep; a negative length is refused.
    virtual bool Allocate(long length);
    // Enable flag and window (seconds) of interpolation and extrapolation in time.
    virtual void SetInterpolAttribs(bool enable, double window);
    virtual void SetExtrapolationAttribs(bool enable, double window);
    virtual bool GetInterpolAttribs(double& window);
    virtual bool GetExtrapolationAttribs(double& window);
    virtual long GetBufSize() const;
    virtual long GetNumElements() const;
    virtual bool GetTimeSpan(double& first, double& last);
    virtual double GetFirstElementTime();
    virtual double GetLastElementTime();
    virtual void HandleAttribsChange(const CDataId& id);
    virtual void ReportError(double time, bool fatal, int code);

protected:
    double m_dLastAddTime = 0.0; // time of the last block added
    bool m_bHasData = false;     // whether any block was added
    long m_lBufSize = 0;         // last length given to Allocate
};
