#include "datablocks/TestBlocks.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using kvs_test::Layout;
using kvs_test::At;
using kvs_test::Get;
constexpr unsigned short kPos = CDataBlock::kByPosition;

namespace {

// A block of an int, a double and a text, with the given values, statuses 0.
void Sample(CDataBlock& block, int i, double d, const char* text)
{
    Layout(block, {{ET_INT, 4, 1, 101}, {ET_DOUBLE, 8, 4, 201}, {ET_STRING, 4, 1, 301}});
    ASSERT_TRUE(block.SetDataValue(0, i, 0, kPos));
    ASSERT_TRUE(block.SetDataValue(1, d, 0, kPos));
    ASSERT_TRUE(block.SetDataValue(2, CString(text), 0, kPos));
}

} // namespace

TEST(ElementInterpolation, DoublesBlendIntsSwitchAtBOthersKeepAndTheStatusIsTheWorst)
{
    CDataBlock a, b, out;
    Sample(a, 3, 10.0, "aaaa");
    Sample(b, 8, 20.0, "bbbb");
    Sample(out, 0, 0.0, "oooo");
    const auto blend = [&](unsigned short i, double t) { EXPECT_TRUE(At(out, i)->Interpolate(*At(a, i), *At(b, i), t)) << t; };
    blend(1, 0.25);
    EXPECT_EQ(Get<double>(out, 1, kPos), 12.5);
    blend(1, 1.5);
    EXPECT_EQ(Get<double>(out, 1, kPos), 25.0); // no clamping
    std::vector<int> ints;
    for (double t : {0.99, 1.0, std::nan("")}) {
        blend(0, t);
        ints.push_back(Get<int>(out, 0, kPos));
    }
    EXPECT_EQ(ints, (std::vector<int>{3, 8, 3}));
    // Other types keep their value; only the status follows.
    At(a, 2)->SetStatus(20);
    blend(2, 0.5);
    unsigned short status = 0;
    EXPECT_EQ(Get<CString>(out, 2, kPos, &status), "oooo");
    EXPECT_EQ(status, 20);
    const struct { unsigned short a, b, result; } cases[] = {
        {20, 30, 30}, {10, 30, 10}, {40, 0, 40}, {0, 0, 0}, {0, 20, 20}, {30, 40, 40}, {10, 40, 40}, {7, 0, 0}};
    for (const auto& c : cases) {
        At(a, 1)->SetStatus(c.a);
        At(b, 1)->SetStatus(c.b);
        blend(1, 0.5);
        EXPECT_EQ(At(out, 1)->GetStatus(), c.result) << c.a << " " << c.b;
    }
    // Differing types change nothing.
    At(out, 1)->SetStatus(10);
    EXPECT_FALSE(At(out, 1)->Interpolate(*At(a, 1), *At(b, 0), 0.5));
    EXPECT_FALSE(At(out, 0)->Interpolate(*At(a, 1), *At(b, 1), 0.5));
    EXPECT_EQ(Get<double>(out, 1, kPos, &status), 15.0);
    EXPECT_EQ(status, 10);
}

TEST(BlockInterpolation, TakesALayoutAndClearsTheStatusWordWhenBothInputsAreValid)
{
    CDataBlock a, b, out;
    Sample(a, 3, 10.0, "aaaa");
    Sample(b, 8, 20.0, "bbbb");
    a.SetStatusFlag(0x0100);
    b.SetStatus(40);
    out.SetStatusAndFlags(0x0147);
    EXPECT_FALSE(out.Interpolate(a, b, 0.5));
    EXPECT_EQ(out.GetLength(), 3u); // a's layout stays
    EXPECT_EQ(out.GetStatusAndFlags(), 0x0147);
    EXPECT_EQ(Get<double>(out, 1, kPos), 0.0);
    b.SetStatusAndFlags(0x0200);
    out.SetTime(77.0);
    EXPECT_TRUE(out.Interpolate(a, b, 0.25));
    EXPECT_EQ(out.GetStatusAndFlags(), 0);
    EXPECT_EQ(out.GetTime(), 77.0); // the caller sets the time
    EXPECT_EQ(Get<int>(out, 0, kPos), 3);
    EXPECT_EQ(Get<double>(out, 201, CDataBlock::kByUseAs), 12.5);
    EXPECT_EQ(Get<CString>(out, 301), CString('\0', 4)); // renewed buffer: the text is zero bytes
    // b may be the result block itself.
    EXPECT_TRUE(b.Interpolate(a, b, 0.5));
    EXPECT_EQ(Get<double>(b, 1, kPos), 15.0);
    // One element by key: the block status does not matter.
    Sample(out, 0, 0.0, "oooo");
    a.SetStatus(40);
    EXPECT_TRUE(out.Interpolate(201, CDataBlock::kByUseAs, a, b, 0.5));
    EXPECT_EQ(Get<double>(out, 1, kPos), 12.5);
    EXPECT_EQ(Get<int>(out, 0, kPos), 0);
    EXPECT_FALSE(out.Interpolate(250, CDataBlock::kByUseAs, a, b, 0.5));
}

TEST(BlockInterpolation, ShorterOrDifferentBIsRefusedWithoutReadingPastIt)
{
    CDataBlock a, shortB, mixedB, out;
    Sample(a, 3, 10.0, "aaaa");
    Layout(shortB, {{ET_INT, 4, 1, 101}});
    Layout(mixedB, {{ET_INT, 4, 1, 101}, {ET_FLOAT, 4, 4, 201}, {ET_STRING, 4, 1, 301}});
    Sample(out, 5, 7.0, "oooo");
    At(out, 1)->SetStatus(20);
    out.SetStatusAndFlags(0x0100);
    EXPECT_FALSE(out.Interpolate(a, shortB, 0.5));
    EXPECT_EQ(out.GetLength(), 3u);
    EXPECT_EQ(out.GetStatusAndFlags(), 0x0100);
    EXPECT_FALSE(out.Interpolate(a, mixedB, 0.5));
    EXPECT_EQ(At(out, 1)->GetStatus(), 0);     // a's header, not interpolated
    EXPECT_EQ(Get<double>(out, 1, kPos), 7.0); // same layout as a: this block's values stay
    EXPECT_FALSE(out.Interpolate(2, kPos, a, shortB, 0.5));
    EXPECT_FALSE(out.Interpolate(201, CDataBlock::kByUseAs, a, mixedB, 0.5));
}

TEST(ImportItems, CopiesByUseAsCodeResizingWhereNeeded)
{
    CDataBlock target, source;
    Layout(target, {{ET_DOUBLE, 8, 4, 201}, {ET_STRING, 2, 1, 301}, {ET_INT, 4, 1, 101}, {ET_DOUBLE, 8, 1, 505}});
    Layout(source, {{ET_STRING, 6, 1, 301}, {ET_DOUBLE, 8, 4, 201}, {ET_DOUBLE, 8, 4, 201}});
    ASSERT_TRUE(target.SetDataValue(101, 9, 20, CDataBlock::kByUseAs));
    ASSERT_TRUE(target.SetDataValue(505, 1.5, 30, CDataBlock::kByUseAs));
    ASSERT_TRUE(source.SetDataValue(0, CString("abcdef"), 10, kPos));
    ASSERT_TRUE(source.SetDataValue(1, 4.25, 0, kPos));
    ASSERT_TRUE(source.SetDataValue(2, 99.0, 0, kPos));
    EXPECT_TRUE(target.ImportItems(source));

    unsigned short status = 0;
    EXPECT_EQ(Get<double>(target, 201), 4.25); // the first match
    EXPECT_EQ(Get<CString>(target, 301, CDataBlock::kByUseAs, &status), "abcdef");
    EXPECT_EQ(status, 10);
    // Elements without a match keep value and status, also after the resize moved them.
    EXPECT_EQ(Get<int>(target, 2, kPos), 9);
    EXPECT_EQ(Get<double>(target, 505, CDataBlock::kByUseAs, &status), 1.5);
    EXPECT_EQ(status, 30);
}
