#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/device/BaseDevice.h>

#include <gtest/gtest.h>

namespace {

// The smallest driver: supplies the operations every driver must have, nothing else.
struct PseudoDevice : BaseDevice
{
    bool Open() override { return true; } bool Close() override { return true; } bool Reset() override { return true; }
    bool Start() override { return true; } bool Stop() override { return true; } bool IsOpen() const override { return false; }
    bool IsRunning() const override { return false; } bool Configure(const CAttributeMap&) override { return true; }
    CDataId GetDataId() const override { return CDataId(); } CString GetStatusText() const override { return "OK"; }
    CString GetDeviceName() const override { return "pseudo"; } CString GetDeviceDriverName() const override { return "driver"; }
    int ReadInput(char*, int) override { return 0; } int ParseInput(const char*, int) override { return 0; }
    bool DecodeMessage(const CString&, CDataBlock&) override { return false; } void OnTimer(double) override {}
    bool BuildOutput(const CDataBlock&, CString&) override { return false; } CForm* GetOutputForm() override { return nullptr; }
    bool WriteOutput(const CString&) override { return false; } const CDataBlock& GetDataBlock() const override { return block; }
    CDataBlock block;
};

} // namespace

TEST(BaseDevice, ANewDeviceIsEnabledAndItsOptionalOperationsDoNothing)
{
    PseudoDevice d;
    EXPECT_EQ(std::tuple(d.GetEnable(), d.GetDeviceNum(), d.GetPortName(), d.GetHandlerType(true), d.GetHandlerType(false)),
              std::tuple(true, 1u, CString("INVALID"), CString("Pseudo"), CString("Pseudo")));
    CString msg("$GPGGA"), dll("untouched");
    char raw[] = "abc";
    const bool done[] = {d.HasInputs(), d.HasOutputs(1), d.DoOutput(3), d.StartOutputTimer(), d.SetRemoteRunning(true),
                         d.GetRemoteRunning(), d.SendMessageA(msg, true), d.SendMessageA(static_cast<CForm*>(nullptr), false),
                         d.ProcessMessage(raw, 3), d.GetDeviceCtrlDllName(dll)};
    for (bool b : done) EXPECT_FALSE(b);
    double t = 5.0;
    unsigned short s = 7;
    d.SetOutputStat(9.0, 3);
    d.GetOutputStat(t, s);
    EXPECT_EQ(std::tuple(msg, dll, t, s), std::tuple(CString("$GPGGA"), CString("untouched"), 0.0, 0));
    // Copies keep the enable flag; CopyDataBlock empties the block.
    d.SetEnable(false);
    PseudoDevice copy(d), assigned;
    assigned = d;
    CDataBlock block;
    ASSERT_TRUE(block.Allocate(2));
    block.SetTime(12.5);
    block.SetStatus(0);
    d.CopyDataBlock(block);
    EXPECT_EQ(std::tuple(copy.GetEnable(), assigned.GetEnable(), block.GetLength(), block.GetTime(), block.GetStatus()),
              std::tuple(false, false, 0u, 0.0, 40));
}
