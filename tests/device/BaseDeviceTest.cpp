#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/device/BaseDevice.h>

#include <gtest/gtest.h>

namespace {

// The smallest driver: supplies the operations every driver must have, nothing else.
class PseudoDevice : public BaseDevice
{
public:
    bool Open() override { return true; }
    bool Close() override { return true; }
    bool IsOpen() const override { return false; }
    bool Configure(const CAttributeMap&) override { return true; }
    CDataId GetDataId() const override { return CDataId(); }
    CString GetDeviceName() const override { return "pseudo"; }
    CString GetDeviceDriverName() const override { return "pseudo driver"; }
    int ReadInput(char*, int) override { return 0; }
    int ParseInput(const char*, int) override { return 0; }
    bool DecodeMessage(const CString&, CDataBlock&) override { return false; }
    bool BuildOutput(const CDataBlock&, CString&) override { return false; }
    bool WriteOutput(const CString&) override { return false; }
    const CDataBlock& GetDataBlock() const override { return m_block; }
    bool Reset() override { return true; }
    bool Start() override { return true; }
    bool Stop() override { return true; }
    bool IsRunning() const override { return false; }
    CString GetStatusText() const override { return "OK"; }
    void OnTimer(double) override {}
    CForm* GetOutputForm() override { return nullptr; }

private:
    CDataBlock m_block;
};

} // namespace

TEST(BaseDevice, ANewDeviceIsEnabledAndItsOptionalOperationsDoNothing)
{
    PseudoDevice d;
    EXPECT_TRUE(d.GetEnable());
    EXPECT_EQ(d.GetDeviceNum(), 1u);
    EXPECT_EQ(d.GetPortName(), "INVALID");
    EXPECT_EQ(d.GetHandlerType(true), "Pseudo");
    EXPECT_EQ(d.GetHandlerType(false), "Pseudo");
    EXPECT_FALSE(d.HasInputs());
    EXPECT_FALSE(d.HasOutputs(1));
    EXPECT_FALSE(d.DoOutput(3));
    EXPECT_FALSE(d.StartOutputTimer());
    EXPECT_FALSE(d.SetRemoteRunning(true));
    EXPECT_FALSE(d.GetRemoteRunning());
    CString msg("$GPGGA"), dll("untouched");
    char raw[] = "abc";
    EXPECT_FALSE(d.SendMessageA(msg, true));
    EXPECT_FALSE(d.SendMessageA(static_cast<CForm*>(nullptr), false));
    EXPECT_FALSE(d.ProcessMessage(raw, 3));
    EXPECT_EQ(msg, "$GPGGA");
    EXPECT_FALSE(d.GetDeviceCtrlDllName(dll));
    EXPECT_EQ(dll, "untouched");
    double t = 5.0;
    unsigned short s = 7;
    d.SetOutputStat(9.0, 3);
    d.GetOutputStat(t, s);
    EXPECT_EQ(t, 0.0);
    EXPECT_EQ(s, 0);
}

TEST(BaseDevice, CopyKeepsTheEnableFlag)
{
    PseudoDevice d;
    d.SetEnable(false);
    PseudoDevice copy(d), assigned;
    assigned = d;
    EXPECT_FALSE(copy.GetEnable());
    EXPECT_FALSE(assigned.GetEnable());
    d.SetEnable(true);
    assigned = d;
    EXPECT_TRUE(assigned.GetEnable());
}

TEST(BaseDevice, CopyDataBlockEmptiesTheBlock)
{
    PseudoDevice d;
    CDataBlock block;
    ASSERT_TRUE(block.Allocate(2));
    ASSERT_TRUE(block.InitDataElement(0, 1, 103, 8, 1, 0));
    ASSERT_TRUE(block.InitDataElement(1, 2, 101, 4, 1, 0));
    ASSERT_TRUE(block.Init());
    block.SetTime(12.5);
    d.CopyDataBlock(block);
    EXPECT_EQ(block.GetLength(), 0u);
    EXPECT_EQ(block.GetTime(), 0.0);
    EXPECT_EQ(block.GetStatus(), 40);
}
