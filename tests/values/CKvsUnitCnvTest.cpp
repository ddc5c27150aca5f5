#include <KvsDataBlocks/values/CKvsUnitCnv.h>

#include <gtest/gtest.h>

TEST(CKvsUnitCnv, FormatCodesMapToTheirQuantities)
{
    EXPECT_EQ(CKvsUnitCnv::ConvertFMTtoUNIT(2), CKvsUnitCnv::UNIT_DISTANCE);
    EXPECT_EQ(CKvsUnitCnv::ConvertFMTtoUNIT(3), CKvsUnitCnv::UNIT_SPEED);
    EXPECT_EQ(CKvsUnitCnv::ConvertFMTtoUNIT(4), CKvsUnitCnv::UNIT_DEPTH);
    EXPECT_EQ(CKvsUnitCnv::ConvertFMTtoUNIT(7), CKvsUnitCnv::UNIT_DENSITY);
    EXPECT_EQ(CKvsUnitCnv::ConvertFMTtoUNIT(36), CKvsUnitCnv::UNIT_PRESSURE);
    EXPECT_EQ(CKvsUnitCnv::ConvertFMTtoUNIT(39), CKvsUnitCnv::UNIT_WEIGHT);
    for (int format : {6, 8, 9, 35, 37, 38, 40, 41, 42, 43})
        EXPECT_NE(CKvsUnitCnv::ConvertFMTtoUNIT(format), CKvsUnitCnv::UNIT_NONE) << format;
    for (int format : {0, 1, 5, 10, 11, 20, 21, 30, 44, 45, 46, 65535})
        EXPECT_EQ(CKvsUnitCnv::ConvertFMTtoUNIT(format), CKvsUnitCnv::UNIT_NONE) << format;
}

TEST(CKvsUnitCnv, InternalUnitsByDefault)
{
    const CKvsUnitCnv cnv;
    EXPECT_EQ(cnv.ConvertUnit(CKvsUnitCnv::UNIT_DEPTH, 12.5), 12.5);
    EXPECT_EQ(cnv.GetUnitMnem(CKvsUnitCnv::UNIT_DEPTH), "m");
    EXPECT_EQ(cnv.GetUnitMnem(CKvsUnitCnv::UNIT_SPEED), "m/s");
    EXPECT_EQ(cnv.ConvertUnit(CKvsUnitCnv::UNIT_NONE, 3.0), 3.0);
    EXPECT_EQ(cnv.ConvertUnit(999, 3.0), 3.0);
    EXPECT_EQ(cnv.GetUnitMnem(CKvsUnitCnv::UNIT_NONE), "");
    EXPECT_EQ(cnv.GetUnitMnem(-4), "");
}

TEST(CKvsUnitCnv, ConvertsLengthsAndSpeedsToTheChosenUnit)
{
    CKvsUnitCnv cnv;
    const int dist = CKvsUnitCnv::UNIT_DISTANCE, depth = CKvsUnitCnv::UNIT_DEPTH, speed = CKvsUnitCnv::UNIT_SPEED;
    ASSERT_TRUE(cnv.SetDisplayUnit(dist, CKvsUnitCnv::DU_FOOT));
    EXPECT_DOUBLE_EQ(cnv.ConvertUnit(dist, 0.3048), 1.0);
    EXPECT_EQ(cnv.GetUnitMnem(dist), "ft");
    EXPECT_EQ(cnv.ConvertUnit(depth, 1.0), 1.0); // depth keeps its own setting
    ASSERT_TRUE(cnv.SetDisplayUnit(depth, CString("usft")));
    EXPECT_DOUBLE_EQ(cnv.ConvertUnit(depth, 1200.0), 3937.0);
    EXPECT_EQ(cnv.GetUnitMnem(depth), "usft");
    ASSERT_TRUE(cnv.SetDisplayUnit(depth, CKvsUnitCnv::DU_FATHOM));
    EXPECT_DOUBLE_EQ(cnv.ConvertUnit(depth, 18.288), 10.0);
    EXPECT_EQ(cnv.GetUnitMnem(depth), "fm");
    ASSERT_TRUE(cnv.SetDisplayUnit(speed, CKvsUnitCnv::DU_KNOT));
    EXPECT_DOUBLE_EQ(cnv.ConvertUnit(speed, 1852.0 / 3600.0), 1.0);
    EXPECT_EQ(cnv.GetUnitMnem(speed), "kn");
    ASSERT_TRUE(cnv.SetDisplayUnit(speed, CString("km/h")));
    EXPECT_DOUBLE_EQ(cnv.ConvertUnit(speed, 10.0), 36.0);
    EXPECT_DOUBLE_EQ(cnv.ConvertToInternal(speed, 36.0), 10.0);
}

TEST(CKvsUnitCnv, RefusesUnitsOfAnotherQuantity)
{
    CKvsUnitCnv cnv;
    EXPECT_FALSE(cnv.SetDisplayUnit(CKvsUnitCnv::UNIT_DEPTH, CKvsUnitCnv::DU_KNOT));
    EXPECT_FALSE(cnv.SetDisplayUnit(CKvsUnitCnv::UNIT_SPEED, CString("ft")));
    EXPECT_FALSE(cnv.SetDisplayUnit(CKvsUnitCnv::UNIT_SPEED, CString("KN")));
    EXPECT_FALSE(cnv.SetDisplayUnit(CKvsUnitCnv::UNIT_NONE, CKvsUnitCnv::DU_METRE));
    EXPECT_FALSE(cnv.SetDisplayUnit(CKvsUnitCnv::UNIT_DEPTH, 1000));
    EXPECT_EQ(cnv.GetDisplayUnit(CKvsUnitCnv::UNIT_DEPTH), CKvsUnitCnv::DU_METRE);
    EXPECT_EQ(cnv.GetDisplayUnit(CKvsUnitCnv::UNIT_SPEED), CKvsUnitCnv::DU_METRE_PER_SECOND);
    EXPECT_EQ(cnv.GetDisplayUnit(CKvsUnitCnv::UNIT_NONE), -1);
}

TEST(CKvsUnitCnv, AffineTemperatureRoundTrips)
{
    CKvsUnitCnv cnv;
    const int temp = CKvsUnitCnv::ConvertFMTtoUNIT(8);
    ASSERT_TRUE(cnv.SetDisplayUnit(temp, CKvsUnitCnv::DU_FAHRENHEIT));
    EXPECT_DOUBLE_EQ(cnv.ConvertUnit(temp, 100.0), 212.0);
    EXPECT_DOUBLE_EQ(cnv.ConvertToInternal(temp, 32.0), 0.0);
}
