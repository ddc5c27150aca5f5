// The ping exchange carries every value under its own use-as code, takes the alternative
// values (618 for 608, 672 for 619) only when the first is missing, and refuses a block
// without one of the required arrays.
#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/datablocks/DefinitionBuild.h>
#include <KvsDataBlocks/filters/multibeam/detail/PingExchange.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using kvs::multibeam::detail::PingExchange;

namespace {

constexpr int kBeams = 1600; // the built-in definition's array size
constexpr unsigned short kScalars[] = {101, 102, 103, 104, 212, 401, 505, 506, 507, 522, 601, 607, 609, 610, 611,
                                       612, 214, 616, 617, 619, 620, 624, 625, 626, 627, 649, 672, 684, 685};
constexpr unsigned short kArrays[] = {603, 604, 605, 621, 622, 623, 618, 676, 677};

CDataBlock PingBlock(std::initializer_list<unsigned short> without = {})
{
    CDataBlock b;
    EXPECT_TRUE(BuildDataBlockFromDefinition(CDataId(0, 1011, 1, 1), b));
    for (unsigned short code : without) {
        unsigned short at = 0;
        EXPECT_TRUE(b.LookUp(code, CDataBlock::kByUseAs, at));
        b.RemoveDataElement(at);
    }
    b.SetDataValue(UseAs::kBeamCount, kBeams, 0, CDataBlock::kByUseAs);
    return b;
}

// Each value the code itself, each array item code + beam / 8.
CDataBlock Filled(std::initializer_list<unsigned short> without = {})
{
    CDataBlock b = PingBlock(without);
    for (unsigned short code : kScalars) b.SetDataFromDouble(code, code, 0, CDataBlock::kByUseAs);
    std::vector<float> items(kBeams);
    for (unsigned short code : kArrays) {
        for (int i = 0; i < kBeams; ++i) items[i] = static_cast<float>(code + i / 8.0);
        b.SetDataValue(code, items.data(), kBeams, 0, CDataBlock::kByUseAs);
    }
    std::vector<unsigned short> values16(kBeams);
    for (int i = 0; i < kBeams; ++i) values16[i] = static_cast<unsigned short>(608 + i % 5);
    b.SetDataValue(UseAs::kBeamValues16, values16.data(), kBeams, 0, CDataBlock::kByUseAs);
    const std::vector<unsigned int> flags(kBeams, 0x300);
    b.SetDataValue(UseAs::kBeamFlags, flags.data(), kBeams, 0, CDataBlock::kByUseAs);
    return b;
}

double Value(const CDataBlock& b, unsigned short code, unsigned short index = 0)
{
    double v = -1.0;
    unsigned short status = 0;
    if (index == 0 && b.GetDataAsDouble(code, v, status, CDataBlock::kByUseAs, false)) return v; // a scalar
    b.GetDataAsDouble(code, index, v, status, CDataBlock::kByUseAs, false);
    return v;
}

} // namespace

TEST(PingExchange, EveryValueComesBackUnderItsOwnCodeAlternativesOnlyForWhatIsMissingAndIncompleteBlocksAreRefused)
{
    const struct
    {
        std::initializer_list<unsigned short> without;
        unsigned short carried, index; // a value carried and the item of it compared
        double expected;
        std::vector<unsigned short> notCarried; // left with the status they had
    } cases[] = {
        {{}, UseAs::kNadirDepthBelowOffset, 0, 214 - 212, {UseAs::kValue672, UseAs::kBeamValuesFloat}},
        {{UseAs::kValue619}, UseAs::kValue672, 0, 672.0, {UseAs::kValue619}},
        {{UseAs::kBeamValues16}, UseAs::kBeamValuesFloat, 1, 618 + 1 / 8.0, {UseAs::kBeamValues16}},
    };
    for (const auto& c : cases) {
        PingStruct ping;
        ASSERT_TRUE(PingExchange::Read(Filled(c.without), ping, 1));
        CDataBlock out = PingBlock();
        for (unsigned short code : c.notCarried) out.SetDataStatus(code, 40, CDataBlock::kByUseAs);
        PingExchange::Write(out, ping, 0);
        EXPECT_EQ(Value(out, c.carried, c.index), c.expected) << c.carried;
        for (unsigned short code : c.notCarried) {
            double v = 0;
            unsigned short status = 0;
            out.GetDataAsDouble(code, 0, v, status, CDataBlock::kByUseAs, false);
            EXPECT_EQ(status, 40) << code << " was written though the ping did not hold it or held what it stands for";
        }
        if (c.without.size() != 0) continue;
        for (unsigned short code : kScalars) // 619 was there: 672 is not carried
            EXPECT_EQ(Value(out, code), code == UseAs::kValue672 ? 0.0 : code) << code;
        for (unsigned short code : {603, 604, 605, 621, 622, 623, 676, 677})
            for (unsigned short i : {0, 9, kBeams - 1}) EXPECT_EQ(Value(out, code, i), code + i / 8.0) << code;
        EXPECT_EQ(std::pair(Value(out, UseAs::kBeamFlags, 5), Value(out, UseAs::kBeamValues16, 7)),
                  std::pair(0x300 * 1.0, 608 + 2.0));
    }
    // A block without a required array or with more beams than a ping holds is refused
    // (the filter's tests show IsReadable refusing the same blocks).
    std::vector<CDataBlock> bad(1, Filled());
    bad[0].SetDataValue(UseAs::kBeamCount, PingStruct::kMaxBeams + 1, 0, CDataBlock::kByUseAs);
    for (unsigned short code : {UseAs::kAcrossTrack, UseAs::kAlongTrack, UseAs::kBeamZ, UseAs::kBeamFlags})
        bad.push_back(Filled({code}));
    for (const CDataBlock& b : bad) {
        PingStruct ping;
        EXPECT_FALSE(PingExchange::Read(b, ping, 1)) << &b - bad.data();
    }
}
