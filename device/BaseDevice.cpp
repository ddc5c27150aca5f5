#include <KvsDataBlocks/device/BaseDevice.h>

#include <KvsDataBlocks/datablocks/CDataBlock.h>

void BaseDevice::SetDeviceNum(unsigned int) {}
void BaseDevice::SetDataId(const CDataId&) {}
unsigned short BaseDevice::GetGroupId() { return 0; }
void BaseDevice::SetDeviceName(CString) {}
void BaseDevice::SetDeviceDriverName(CString) {}
int BaseDevice::GetEnableT0() { return 0; }
bool BaseDevice::GetAlwaysnotifyFlag() const { return false; }
unsigned int BaseDevice::GetDeviceNum() { return 1; }
double BaseDevice::GetTimeOut() { return 0.0; }
bool BaseDevice::GetEnableCTS() { return false; }
bool BaseDevice::GetRemoteRunning() { return false; }
bool BaseDevice::DoOutput(long) { return false; }
bool BaseDevice::HasInputs() const { return false; }
bool BaseDevice::HasManualInputs() const { return false; }
bool BaseDevice::HasOutputs() const { return false; }
bool BaseDevice::HasRemoteControl() { return false; }
bool BaseDevice::HasTimerOutputs() { return false; }
bool BaseDevice::ResetDeviceTimers() { return false; }

void BaseDevice::GetOutputStat(double& time, unsigned short& status)
{
    time = 0.0;
    status = 0;
}

void BaseDevice::SetOutputStat(double, unsigned short) {}
unsigned int BaseDevice::GetIndexNumber() { return 0; }
bool BaseDevice::GetDeviceCtrlDllName(CString&) { return false; }
bool BaseDevice::ProcessMessage(char*, int) { return false; }
double BaseDevice::GetDataRate() { return 0.0; }
CString BaseDevice::GetHandlerType(bool) { return CString("Pseudo"); }
CString BaseDevice::GetPortName() { return CString("INVALID"); }
void BaseDevice::SetLeapSecondsOffset(double) {}
bool BaseDevice::HasOutputs(int) { return false; }
void BaseDevice::HandleAttribsChange(const CDataId&) {}
CString BaseDevice::GetRemoteFilename() { return CString(); }
bool BaseDevice::SendManualData() { return false; }
bool BaseDevice::StartManualInputTimer() { return false; }
bool BaseDevice::StartOutputTimer() { return false; }
void BaseDevice::StartRemoteControl() {}

void BaseDevice::CopyDataBlock(CDataBlock& block) const
{
    block = CDataBlock();
}

bool BaseDevice::ResizeBuffer(double) { return false; }
bool BaseDevice::SendMessageA(CString&, bool) { return false; }
bool BaseDevice::SendMessageA(CForm&, bool) { return false; }
bool BaseDevice::StartRemoteOnStartup() { return false; }
void BaseDevice::SetRemoteSocket(KVSMessageSocket*) {}
bool BaseDevice::SendMessageA(CForm*, bool) { return false; }
bool BaseDevice::SetRemoteRunning(bool) { return false; }
void BaseDevice::SetDeviceCtrlViewType(CString) {}
CString BaseDevice::GetDeviceCtrlViewType() { return CString(); }
bool BaseDevice::StopManualInputTimer() { return false; }
bool BaseDevice::StopOutputTimer() { return false; }
