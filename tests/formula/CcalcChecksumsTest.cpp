// Check characters, NMEA position fields and degrees-and-minutes conversion of the
// formula catalogue, through formulas and through the public statics.
#include <KvsDataBlocks/formula/Ccalc.h>

#include "FormulaRunner.h"
#include "TimeZoneGuard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

TEST(CcalcChecksums, NMEAChecksumOfRealSentences)
{
    // Published example sentences with their checksums.
    const char* gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
    EXPECT_EQ(Ccalc::CreateNMEACheckSum(gga), CString(gga) + "*47");
    const char* rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
    EXPECT_EQ(Ccalc::CreateNMEACheckSum(rmc), CString(rmc) + "*6A"); // upper-case hex

    FormulaRunner f;
    f.Text(0, gga);
    EXPECT_EQ(f.TextOf("NMEACS(var0)"), CString(gga) + "*47");
}

TEST(CcalcChecksums, NMEAChecksumLeavesOutTheFirstCharacterOnly)
{
    EXPECT_EQ(Ccalc::CreateNMEACheckSum(""), "*00");
    EXPECT_EQ(Ccalc::CreateNMEACheckSum("$"), "$*00");
    EXPECT_EQ(Ccalc::CreateNMEACheckSum("!A"), "!A*41");  // whatever the start character
    EXPECT_EQ(Ccalc::CreateNMEACheckSum("$AA"), "$AA*00");
    EXPECT_EQ(Ccalc::CreateNMEACheckSum("$\x0f"), "$\x0f*0F"); // two digits, zero-padded
    EXPECT_EQ(Ccalc::CreateNMEACheckSum(CString("$\xff\x01", 3)), CString("$\xff\x01*FE", 6));
}

TEST(CcalcChecksums, CheckSumAppendsTheSignedByteSumModulo128Plus128)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("CheckSum(\"A\")"), CString("A\xc1"));   // 65 + 128 = 193
    EXPECT_EQ(f.TextOf("CheckSum(\"AB\")"), CString("AB\x83")); // 131 mod 128 = 3
    EXPECT_EQ(f.TextOf("CheckSum(\"\")"), CString("\x80"));
    // Bytes of 128 and more count negative: the remainder keeps the sum's sign.
    f.Text(0, CString("\xff", 1)); // -1
    EXPECT_EQ(f.TextOf("CheckSum(var0)"), CString("\xff\x7f"));
    f.Text(1, CString("\xc8", 1)); // -56: 72, "H"
    EXPECT_EQ(f.TextOf("CheckSum(var1)"), CString("\xc8H"));
    f.Text(2, CString(std::string(128, '\x80'))); // -16384: remainder 0
    EXPECT_EQ(f.TextOf("CheckSum(var2)"), CString(std::string(128, '\x80') + "\x80"));
}

TEST(CcalcChecksums, MARSChecksumAppendsTheCrcInFourHexDigits)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("MARSCS(\"\")"), "0000");
    EXPECT_EQ(f.TextOf("MARSCS(\"123456789\")"), "12345678931C3");
    EXPECT_EQ(f.TextOf("MARSCS(\"A\")"), "A58E5");
    f.Text(0, CString("\0\0", 2));
    EXPECT_EQ(f.TextOf("MARSCS(var0)"), CString("\0\0" "0000", 6)); // NUL bytes take part
}

TEST(CcalcChecksums, NMEAPositionFieldsOfEveryKind)
{
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(52.5, 4, "Lat"), "5230.0000");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(48.1173, 3, "Lat"), "4807.038"); // minutes below 10 padded
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(5.5, 2, "Lat"), "0530.00");     // degrees below 10 padded
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(52.5, 0, "Lat"), "5230");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(-4.25, 3, "Lon"), "00415.000");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(11.516666667, 3, "Lon"), "01131.000");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(151.2093, 4, "Lon"), "15112.5580");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(545.4, 1, "Alt"), "545.4");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(-12.5, 1, "Alt"), "-12.5"); // the altitude keeps its sign
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(545.4, -2, "Alt"), "545");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(1.0, 2, "Height"), "");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(1.0, 2, ""), "");
}

TEST(CcalcChecksums, NMEAPositionHemispheresAndCase)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("NMEAPOS(-52.5, 4, \"Lat\")"), "5230.0000"); // magnitude only
    EXPECT_EQ(f.TextOf("NMEAPOS(52.5, 4, \"LatS\")"), "N");
    EXPECT_EQ(f.TextOf("NMEAPOS(-52.5, 4, \"LatS\")"), "S");
    EXPECT_EQ(f.TextOf("NMEAPOS(0, 2, \"LatS\")"), "N");
    EXPECT_EQ(f.TextOf("NMEAPOS(-4.25, 3, \"LonS\")"), "W");
    EXPECT_EQ(f.TextOf("NMEAPOS(4.25, 3, \"LonS\")"), "E");
    EXPECT_EQ(f.TextOf("NMEAPOS(0, 3, \"LonS\")"), "E");
    EXPECT_EQ(f.TextOf("NMEAPOS(52.5, 4, \"lat\")"), "5230.0000");
    EXPECT_EQ(f.TextOf("NMEAPOS(-4.25, 3, \"LONS\")"), "W");
    EXPECT_EQ(f.TextOf("NMEAPOS(52.5, 4.7, \"Lat\")"), "5230.0000"); // decimals truncated
}

TEST(CcalcChecksums, NMEAPositionMinutesAreRoundedWithoutCarry)
{
    // Degrees and minutes are split before rounding: no carry into the degrees, and the
    // padding is chosen on the unrounded minutes.
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(12.9999999, 2, "Lat"), "1260.00");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(5.1666666, 2, "Lat"), "05010.00");
    const double nan = std::nan("");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(nan, 2, "Lat"), ""); // a missing value is an empty field
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(INFINITY, 2, "Lon"), "");
    EXPECT_EQ(Ccalc::CreateNMEAPosStr(nan, 2, "Alt"), "");
}

TEST(CcalcChecksums, GGASentenceBuiltFromBoundValues)
{
    TimeZoneGuard tz("UTC0");
    FormulaRunner f;
    f.Time(0, 1709642119000.0); // 2024-03-05 12:35:19 UTC
    f.Number(0, 48.1173).Number(1, 11.0 + 31.0 / 60.0).Integer(2, 1).Integer(3, 8);
    f.Number(4, 0.9).Number(5, 545.4).Number(6, 46.9);
    const char* formula =
        "NMEACS(\"$GPGGA,\" + FormatMyTime(tim0, \"%H%M%S\", 0)"
        " + \",\" + NMEAPOS(var0, 3, \"Lat\") + \",\" + NMEAPOS(var0, 3, \"LatS\")"
        " + \",\" + NMEAPOS(var1, 3, \"Lon\") + \",\" + NMEAPOS(var1, 3, \"LonS\")"
        " + \",\" + ItoS(var2) + \",\" + LeadZero(ItoS(var3), 2) + \",\" + FtoS(var4, 1)"
        " + \",\" + NMEAPOS(var5, 1, \"Alt\") + \",M,\" + FtoS(var6, 1) + \",M,,\")";
    EXPECT_EQ(f.TextOf(formula), "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47");

    // The same formula south and west of the equator and Greenwich, below the geoid.
    FormulaRunner g;
    g.Time(0, 1709642119000.0);
    g.Number(0, -48.1173).Number(1, -(11.0 + 31.0 / 60.0)).Integer(2, 1).Integer(3, 8);
    g.Number(4, 0.9).Number(5, -12.5).Number(6, 46.9);
    EXPECT_EQ(g.TextOf(formula), "$GPGGA,123519,4807.038,S,01131.000,W,1,08,0.9,-12.5,M,46.9,M,,*53");
}

TEST(CcalcChecksums, DMStoDMWritesFiveDecimalsWithoutSign)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("DMStoDM(\"5230.5\")"), "52.50833");
    EXPECT_EQ(f.TextOf("DMStoDM(\"-5230.5\")"), "52.50833");
    EXPECT_EQ(f.TextOf("DMStoDM(\"  4807.038xyz\")"), "48.11730"); // a number at the start
    EXPECT_EQ(f.TextOf("DMStoDM(\"12000\")"), "120.00000");
    EXPECT_EQ(f.TextOf("DMStoDM(\"59.9999999\")"), "1.00000"); // rounds up to a digit before the point
}

TEST(CcalcChecksums, DMStoDMBelowOneHasNoDigitBeforeThePoint)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("DMStoDM(\"30\")"), ".50000");
    EXPECT_EQ(f.TextOf("DMStoDM(\"59.99\")"), ".99983");
    EXPECT_EQ(f.TextOf("DMStoDM(\"3\")"), ".05000");   // below 0.1: the zeros are written
    EXPECT_EQ(f.TextOf("DMStoDM(\"0.3\")"), ".00500");
    EXPECT_EQ(f.TextOf("DMStoDM(\"0.0006\")"), ".00001");
    EXPECT_EQ(f.TextOf("DMStoDM(\"0.0000003\")"), ".00000");
    EXPECT_EQ(f.TextOf("DMStoDM(\"0\")"), ".00000");
    EXPECT_EQ(f.TextOf("DMStoDM(\"-3\")"), ".05000");
}

TEST(CcalcChecksums, DMStoDMOfATextWithoutNumberIsEmpty)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("DMStoDM(\"\")"), "");
    EXPECT_EQ(f.TextOf("DMStoDM(\"N\")"), "");
    EXPECT_EQ(f.TextOf("DMStoDM(\"nan\")"), "");
    EXPECT_EQ(f.TextOf("DMStoDM(\"inf\")"), "");
}
