// BaseDevice: the base class of device drivers (sensors, output devices, remotely
// controlled instruments). It holds only the enable flag and gives every optional driver
// operation a harmless default, so a driver overrides just what it supports; the twenty
// operations every driver must supply are pure. Nothing in this library calls them: the
// applications do, through this base.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/datablocks/CDataId.h>
#include <KvsDataBlocks/platform/CString.h>

class CAttributeMap;
class CDataBlock;
class CForm;
class KVSMessageSocket; // the host's remote-control socket; only passed through here

class KVS_API BaseDevice
{
public:
    BaseDevice() = default;
    BaseDevice(const BaseDevice&) = default;
    BaseDevice& operator=(const BaseDevice&) = default;

    void SetEnable(bool enable) { m_enable = enable; }
    bool GetEnable() const { return m_enable; }

    // The virtual operations below are declared in the driver interface's fixed order.
    virtual ~BaseDevice() = default;
    virtual void SetDeviceNum(unsigned int num);
    virtual void SetDataId(const CDataId& id);

    // Opens the device's port or connection; true when it is ready for use.
    virtual bool Open() = 0;
    // Closes the port or connection; true when it was open.
    virtual bool Close() = 0;
    // Whether the device's port or connection is open.
    virtual bool IsOpen() const = 0;
    // Applies the device's settings from its attribute map; false on an invalid setting.
    virtual bool Configure(const CAttributeMap& attributes) = 0;

    virtual unsigned short GetGroupId();

    // The data identifier of the blocks the device produces or consumes.
    virtual CDataId GetDataId() const = 0;

    virtual void SetDeviceName(CString name);
    virtual void SetDeviceDriverName(CString name);

    // The name of this device instance, as shown to the operator.
    virtual CString GetDeviceName() const = 0;
    // The name of the driver that serves the device.
    virtual CString GetDeviceDriverName() const = 0;
    // Reads what the device delivered since the last call into buffer (at most size bytes);
    // returns the number of bytes read, 0 when nothing arrived, -1 on a port error.
    virtual int ReadInput(char* buffer, int size) = 0;
    // Splits received bytes into complete messages; returns the number of messages found.
    virtual int ParseInput(const char* data, int length) = 0;
    // Decodes one complete message into block; false when the message is not understood.
    virtual bool DecodeMessage(const CString& message, CDataBlock& block) = 0;
    // Builds the output telegram for block (usually through the device's formula).
    virtual bool BuildOutput(const CDataBlock& block, CString& telegram) = 0;
    // Writes a telegram to the device; false when it could not be sent.
    virtual bool WriteOutput(const CString& telegram) = 0;
    // The block holding the device's latest decoded values.
    virtual const CDataBlock& GetDataBlock() const = 0;
    // Brings the device back into its initial state after an error.
    virtual bool Reset() = 0;
    // Starts data acquisition or output; false when the device cannot start.
    virtual bool Start() = 0;
    // Stops data acquisition or output.
    virtual bool Stop() = 0;
    // Whether the device is acquiring or sending data.
    virtual bool IsRunning() const = 0;
    // A short operator text describing the device's current state ("OK", "no data", ...).
    virtual CString GetStatusText() const = 0;

    virtual int GetEnableT0();
    virtual bool GetAlwaysnotifyFlag() const;
    virtual unsigned int GetDeviceNum();
    virtual double GetTimeOut();
    virtual bool GetEnableCTS();
    virtual bool GetRemoteRunning();
    virtual bool DoOutput(long outputIndex);
    virtual bool HasInputs() const;
    virtual bool HasManualInputs() const;
    virtual bool HasOutputs() const;
    virtual bool HasRemoteControl();
    virtual bool HasTimerOutputs();
    virtual bool ResetDeviceTimers();
    virtual void GetOutputStat(double& time, unsigned short& status);
    virtual void SetOutputStat(double time, unsigned short status);
    virtual unsigned int GetIndexNumber();
    virtual bool GetDeviceCtrlDllName(CString& name);
    virtual bool ProcessMessage(char* message, int length);

    // Called by the application's timer; does the device's periodic work (polling, output).
    virtual void OnTimer(double now) = 0;

    virtual double GetDataRate();
    virtual CString GetHandlerType(bool shortForm);
    virtual CString GetPortName();
    virtual void SetLeapSecondsOffset(double seconds);
    virtual bool HasOutputs(int kind);
    virtual void HandleAttribsChange(const CDataId& id);

    // The formula the device builds its output telegrams with; null when it has none.
    virtual CForm* GetOutputForm() = 0;

    virtual CString GetRemoteFilename();
    virtual bool SendManualData();
    virtual bool StartManualInputTimer();
    virtual bool StartOutputTimer();
    virtual void StartRemoteControl();
    // Assigns an empty block to block (the base produces no data).
    virtual void CopyDataBlock(CDataBlock& block) const;
    virtual bool ResizeBuffer(double seconds);
    virtual bool SendMessageA(CString& message, bool wait);
    virtual bool SendMessageA(CForm& form, bool wait);
    virtual bool StartRemoteOnStartup();
    virtual void SetRemoteSocket(KVSMessageSocket* socket);
    virtual bool SendMessageA(CForm* form, bool wait);
    virtual bool SetRemoteRunning(bool running);
    virtual void SetDeviceCtrlViewType(CString type);
    virtual CString GetDeviceCtrlViewType();
    virtual bool StopManualInputTimer();
    virtual bool StopOutputTimer();

private:
    bool m_enable = true;
};
