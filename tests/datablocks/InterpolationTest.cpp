#include "datablocks/TestBlocks.h"

#include <cmath>
#include <vector>

using namespace kvs_test;
constexpr unsigned short kPos = CDataBlock::kByPosition;

// A block of an int, a double and a text, with the given values, statuses 0.
static void Sample(CDataBlock& block, int i, double d, const char* text)
{
    Layout(block, {{ET_INT, 4, 1, 101}, {ET_DOUBLE, 8, 4, 201}, {ET_STRING, 4, 1, 301}});
    ASSERT_TRUE(block.SetDataValue(0, i, 0, kPos) && block.SetDataValue(1, d, 0, kPos) && block.SetDataValue(2, CString(text), 0, kPos));
}

TEST(ElementInterpolation, DoublesBlendIntsSwitchAtBOthersKeepAndTheStatusIsTheWorst)
{
    CDataBlock a, b, out;
    Sample(a, 3, 10.0, "aaaa");
    Sample(b, 8, 20.0, "bbbb");
    Sample(out, 0, 0.0, "oooo");
    const auto blend = [&](unsigned short i, double t) { EXPECT_TRUE(At(out, i)->Interpolate(*At(a, i), *At(b, i), t)) << t; };
    std::vector<double> blended; // no clamping; ints switch at b
    for (const auto& [i, t] : {std::pair{1, 0.25}, std::pair{1, 1.5}, std::pair{0, 0.99}, std::pair{0, 1.0}, std::pair{0, std::nan("")}}) {
        blend(static_cast<unsigned short>(i), t);
        double d = 0;
        unsigned short s = 0;
        EXPECT_TRUE(out.GetDataAsDouble(static_cast<unsigned short>(i), d, s, kPos, false));
        blended.push_back(d);
    }
    EXPECT_EQ(blended, (std::vector<double>{12.5, 25.0, 3, 8, 3}));
    // Other types keep their value; only the status follows.
    At(a, 2)->SetStatus(20);
    blend(2, 0.5);
    EXPECT_EQ(WithStatus<CString>(out, 2, kPos), std::tuple(CString("oooo"), 20));
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
    EXPECT_EQ((std::tuple{At(out, 1)->Interpolate(*At(a, 1), *At(b, 0), 0.5), At(out, 0)->Interpolate(*At(a, 1), *At(b, 1), 0.5),
                          WithStatus<double>(out, 1, kPos)}), std::tuple(false, false, std::tuple(15.0, 10)));
}

TEST(BlockInterpolation, TakesALayoutClearsTheStatusWordWhenBothInputsAreValidAndRefusesAShorterOrDifferentB)
{
    CDataBlock a, b, out;
    Sample(a, 3, 10.0, "aaaa");
    Sample(b, 8, 20.0, "bbbb");
    a.SetStatusFlag(0x0100);
    b.SetStatus(40);
    out.SetStatusAndFlags(0x0147);
    // a's layout stays
    EXPECT_EQ((std::tuple{out.Interpolate(a, b, 0.5), out.GetLength(), out.GetStatusAndFlags(), Get<double>(out, 1, kPos)}),
              std::tuple(false, 3u, 0x0147, 0.0));
    b.SetStatusAndFlags(0x0200);
    out.SetTime(77.0);
    EXPECT_TRUE(out.Interpolate(a, b, 0.25));
    // the caller sets the time; a renewed buffer: the text is zero bytes
    EXPECT_EQ(std::tuple(out.GetStatusAndFlags(), out.GetTime(), Get<int>(out, 0, kPos), Get<double>(out, 201), Get<CString>(out, 301)),
              std::tuple(0, 77.0, 3, 12.5, CString('\0', 4)));
    // b may be the result block itself.
    EXPECT_EQ((std::tuple{b.Interpolate(a, b, 0.5), Get<double>(b, 1, kPos)}), std::tuple(true, 15.0));
    // One element by key: the block status does not matter.
    Sample(out, 0, 0.0, "oooo");
    a.SetStatus(40);
    EXPECT_EQ((std::tuple{out.Interpolate(201, CDataBlock::kByUseAs, a, b, 0.5), Get<double>(out, 1, kPos), Get<int>(out, 0, kPos),
                          out.Interpolate(250, CDataBlock::kByUseAs, a, b, 0.5)}), std::tuple(true, 12.5, 0, false));

    // A shorter or different b is refused without reading past it.
    CDataBlock shortB, mixedB;
    Layout(shortB, {{ET_INT, 4, 1, 101}});
    Layout(mixedB, {{ET_INT, 4, 1, 101}, {ET_FLOAT, 4, 4, 201}, {ET_STRING, 4, 1, 301}});
    Sample(a, 3, 10.0, "aaaa");
    Sample(out, 5, 7.0, "oooo");
    At(out, 1)->SetStatus(20);
    out.SetStatusAndFlags(0x0100);
    EXPECT_EQ((std::tuple{out.Interpolate(a, shortB, 0.5), out.GetLength(), out.GetStatusAndFlags()}), std::tuple(false, 3u, 0x0100));
    // a's header, not interpolated; same layout as a: this block's values stay
    EXPECT_EQ((std::tuple{out.Interpolate(a, mixedB, 0.5), WithStatus<double>(out, 1, kPos)}), std::tuple(false, std::tuple(7.0, 0)));
    EXPECT_EQ(std::tuple(out.Interpolate(2, kPos, a, shortB, 0.5), out.Interpolate(201, CDataBlock::kByUseAs, a, mixedB, 0.5)),
              std::tuple(false, false));
}

TEST(ImportItems, CopiesByUseAsCodeResizingWhereNeeded)
{
    CDataBlock target, source;
    Layout(target, {{ET_DOUBLE, 8, 4, 201}, {ET_STRING, 2, 1, 301}, {ET_INT, 4, 1, 101}, {ET_DOUBLE, 8, 1, 505}});
    Layout(source, {{ET_STRING, 6, 1, 301}, {ET_DOUBLE, 8, 4, 201}, {ET_DOUBLE, 8, 4, 201}});
    ASSERT_TRUE(target.SetDataValue(101, 9, 20, CDataBlock::kByUseAs) && target.SetDataValue(505, 1.5, 30, CDataBlock::kByUseAs));
    ASSERT_TRUE(source.SetDataValue(0, CString("abcdef"), 10, kPos) && source.SetDataValue(1, 4.25, 0, kPos) &&
                source.SetDataValue(2, 99.0, 0, kPos));
    EXPECT_TRUE(target.ImportItems(source));

    // The first match; elements without a match keep value and status, also after the resize moved them.
    EXPECT_EQ(std::tuple(Get<double>(target, 201), WithStatus<CString>(target, 301), WithStatus<int>(target, 2, kPos),
                         WithStatus<double>(target, 505)),
              std::tuple(4.25, std::tuple(CString("abcdef"), 10), std::tuple(9, 20), std::tuple(1.5, 30)));
}
