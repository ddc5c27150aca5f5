#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

TEST(KvsValueFormulaOps, NmeaFieldsAndTimesOfDay)
{
    CKvsDouble r(0.0);
    CKvsName lat("4807.038"), north("N"), lon("01131.000"), west("W");
    ASSERT_EQ(r.NMEAPos(lat, north), 1);
    EXPECT_NEAR(r.Value(), 48.1173, 1e-9);
    ASSERT_EQ(r.NMEAPos(lon, west), 1);
    EXPECT_NEAR(r.Value(), -11.516666666666667, 1e-12);
    CKvsName hms("123519.50");
    ASSERT_EQ(r.TimeConv(hms), 1);
    EXPECT_EQ(r.Value(), (12 * 3600 + 35 * 60 + 19.5) * 1000.0);
    CKvsDouble yy(26), old(95), four(2026);
    r.YyToCcyy(yy);
    EXPECT_EQ(r.Value(), 2026);
    r.YyToCcyy(old);
    EXPECT_EQ(r.Value(), 1995);
    r.YyToCcyy(four);
    EXPECT_EQ(r.Value(), 2026);
    CKvsDouble year(2026), month(1), day(2), ms(1000);
    ASSERT_EQ(r.CYMDMsecToMsec(year, month, day, ms), 1);
    EXPECT_EQ(r.Value(), 1767312000000.0 + 1000.0);
}

TEST(KvsValueFormulaOps, DateRefusesDaysTheMonthDoesNotHave)
{
    CKvsDouble r(7.0), year(2026), ms(0);
    for (int bad : {29, 30, 31}) {
        CKvsDouble feb(2), day(bad);
        EXPECT_EQ(r.CYMDMsecToMsec(year, feb, day, ms), 0) << bad;
    }
    CKvsDouble april(4), thirtyOne(31);
    EXPECT_EQ(r.CYMDMsecToMsec(year, april, thirtyOne, ms), 0);
    EXPECT_EQ(r.Value(), 7.0);
    CKvsDouble leap(2024), feb(2), day(29);
    ASSERT_EQ(r.CYMDMsecToMsec(leap, feb, day, ms), 1);
    EXPECT_EQ(r.Value(), 1709164800000.0);
}

TEST(KvsValueFormulaOps, ArithmeticRefusesWhatIsUndefined)
{
    CKvsDouble r(7.0), neg(-4.0), zero(0.0), two(2.0), three(3.0);
    EXPECT_EQ(r.Sqr1D(neg), 0);
    EXPECT_EQ(r.Value(), 7.0);
    EXPECT_EQ(r.Log1D(zero), 0);
    EXPECT_EQ(r.Modulo(two, zero), 0);
    ASSERT_EQ(r.Modulo(neg, three), 1);
    EXPECT_EQ(r.Value(), 2.0);
    ASSERT_EQ(r.Pow1D(two, three), 1);
    EXPECT_EQ(r.Value(), 8.0);
    CKvsDouble half(0.5), minusOne(-1.0);
    EXPECT_EQ(r.Pow1D(neg, half), 0);      // a negative base to a fractional power
    EXPECT_EQ(r.Pow1D(zero, minusOne), 0); // zero to a negative power
    EXPECT_EQ(r.Value(), 8.0);
    ASSERT_EQ(r.Pow1D(neg, three), 1);
    EXPECT_EQ(r.Value(), -64.0);
    CKvsDouble east(1.0), south(-1.0);
    ASSERT_EQ(r.Bearing(east, south), 1);
    EXPECT_DOUBLE_EQ(r.Value(), 135.0);
    CKvsName bytes(std::string("\x01\x02", 2));
    ASSERT_EQ(r.BinVal(bytes, two), 1);
    EXPECT_EQ(r.Value(), 0x0201); // little-endian
    EXPECT_EQ(r.BinVal(bytes, three), 0); // more bytes than the text holds
    CKvsInt i(0);
    CKvsDouble big(1e12);
    EXPECT_EQ(i.Neg(big), 0);
}

TEST(KvsValueFormulaOps, TextResults)
{
    CKvsName r;
    CKvsDouble v(3.14159), d(2);
    ASSERT_EQ(r.ValToMyStr(v, d), 1);
    EXPECT_EQ(r.Value(), "3.14");
    CKvsName esc("a\\tb\\x41");
    ASSERT_EQ(r.OutString(esc), 1);
    EXPECT_EQ(r.Value(), "a\tbA");
}
