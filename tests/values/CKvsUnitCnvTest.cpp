#include <KvsDataBlocks/values/CKvsUnitCnv.h>

#include <gtest/gtest.h>

using U = CKvsUnitCnv;

TEST(CKvsUnitCnv, FormatCodesDefaultsRefusalsAndConversionToTheChosenUnitOfEachQuantity)
{
    const std::pair<int, int> known[] = {{2, U::UNIT_DISTANCE}, {3, U::UNIT_SPEED},     {4, U::UNIT_DEPTH},
                                         {7, U::UNIT_DENSITY},  {36, U::UNIT_PRESSURE}, {39, U::UNIT_WEIGHT}};
    for (const auto& [format, unit] : known) EXPECT_EQ(U::ConvertFMTtoUNIT(format), unit) << format;
    for (int format : {6, 8, 9, 35, 37, 38, 40, 41, 42, 43})
        EXPECT_NE(U::ConvertFMTtoUNIT(format), U::UNIT_NONE) << format;
    for (int format : {0, 1, 5, 10, 11, 20, 21, 30, 44, 45, 46, 65535})
        EXPECT_EQ(U::ConvertFMTtoUNIT(format), U::UNIT_NONE) << format;
    U cnv;
    EXPECT_EQ(cnv.ConvertUnit(U::UNIT_DEPTH, 12.5), 12.5);
    EXPECT_EQ(cnv.ConvertUnit(999, 3.0), 3.0);
    const std::pair<int, const char*> mnemonics[] = {{U::UNIT_DEPTH, "m"}, {U::UNIT_SPEED, "m/s"}, {U::UNIT_NONE, ""}, {-4, ""}};
    for (const auto& [unit, text] : mnemonics) EXPECT_EQ(cnv.GetUnitMnem(unit), text) << unit;
    EXPECT_EQ(std::vector<int>({cnv.GetDisplayUnit(U::UNIT_DEPTH), cnv.GetDisplayUnit(U::UNIT_SPEED),
                                cnv.GetDisplayUnit(U::UNIT_NONE)}),
              std::vector<int>({U::DU_METRE, U::DU_METRE_PER_SECOND, -1}));
    EXPECT_FALSE(cnv.SetDisplayUnit(U::UNIT_DEPTH, U::DU_KNOT) || cnv.SetDisplayUnit(U::UNIT_SPEED, CString("ft")) ||
                 cnv.SetDisplayUnit(U::UNIT_SPEED, CString("KN")) || cnv.SetDisplayUnit(U::UNIT_NONE, U::DU_METRE) ||
                 cnv.SetDisplayUnit(U::UNIT_DEPTH, 1000));
    EXPECT_EQ(cnv.GetDisplayUnit(U::UNIT_DEPTH), U::DU_METRE);
    const int dist = U::UNIT_DISTANCE, depth = U::UNIT_DEPTH, speed = U::UNIT_SPEED, temp = U::ConvertFMTtoUNIT(8);
    ASSERT_TRUE(cnv.SetDisplayUnit(dist, U::DU_FOOT));
    EXPECT_EQ(cnv.ConvertUnit(depth, 1.0), 1.0); // depth keeps its own setting
    // name: set by name when not null
    const struct { int unit; double internal, shown; const char* mnemonic; int code; const char* name; } cases[] = {
        {dist, 0.3048, 1.0, "ft", U::DU_FOOT, nullptr},      {depth, 1200.0, 3937.0, "usft", 0, "usft"},
        {depth, 18.288, 10.0, "fm", U::DU_FATHOM, nullptr},  {speed, 1852.0 / 3600.0, 1.0, "kn", U::DU_KNOT, nullptr},
        {speed, 10.0, 36.0, "km/h", 0, "km/h"},              {temp, 100.0, 212.0, nullptr, U::DU_FAHRENHEIT, nullptr},
        {temp, 0.0, 32.0, nullptr, U::DU_FAHRENHEIT, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        ASSERT_TRUE(c.name ? cnv.SetDisplayUnit(c.unit, CString(c.name)) : cnv.SetDisplayUnit(c.unit, c.code));
        EXPECT_DOUBLE_EQ(cnv.ConvertUnit(c.unit, c.internal), c.shown);
        EXPECT_NEAR(cnv.ConvertToInternal(c.unit, c.shown), c.internal, 1e-12);
        EXPECT_EQ(cnv.GetUnitMnem(c.unit), c.mnemonic ? CString(c.mnemonic) : cnv.GetUnitMnem(c.unit));
    }
}
