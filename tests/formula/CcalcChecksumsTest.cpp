// Check characters, NMEA position fields and degrees-and-minutes conversion of the
// formula catalogue, through formulas and through the public statics.
#include <KvsDataBlocks/formula/Ccalc.h>
#include <KvsDataBlocks/formula/Crc16.h>

#include "FormulaRunner.h"

TEST(CcalcChecksums, NMEAChecksumsPositionFieldsDegreesAndMinutesAndCheckSums)
{
    // Published example sentences with their checksums (upper-case hex).
    const char* gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
    const char* rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
    const std::pair<CString, CString> cases[] = {
        {gga, CString(gga) + "*47"}, {rmc, CString(rmc) + "*6A"}, {"", "*00"},       {"$", "$*00"},
        {"!A", "!A*41"},             {"$AA", "$AA*00"},           {"$\x0f", "$\x0f*0F"}, // zero-padded
        {CString("$\xff\x01", 3), CString("$\xff\x01*FE", 6)},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(Ccalc::CreateNMEACheckSum(in), out) << in.GetString();
    FormulaRunner f;
    f.Text(0, gga);
    EXPECT_EQ(f.TextOf("NMEACS(var0)"), CString(gga) + "*47");
    const double nan = std::nan("");
    const struct { double value; int decimals; const char* kind; const char* text; } positions[] = {
        {52.5, 4, "Lat", "5230.0000"},   {48.1173, 3, "Lat", "4807.038"}, // minutes below 10 padded
        {5.5, 2, "Lat", "0530.00"},      {52.5, 0, "Lat", "5230"},        // degrees below 10 padded
        {-4.25, 3, "Lon", "00415.000"},  {11.516666667, 3, "Lon", "01131.000"},
        {151.2093, 4, "Lon", "15112.5580"}, {545.4, 1, "Alt", "545.4"},
        {-12.5, 1, "Alt", "-12.5"},      {545.4, -2, "Alt", "545"},       // the altitude keeps its sign
        {1.0, 2, "Height", ""},          {1.0, 2, "", ""},
        // Degrees and minutes are split before rounding: no carry into the degrees, and the
        // padding is chosen on the unrounded minutes.
        {12.9999999, 2, "Lat", "1260.00"}, {5.1666666, 2, "Lat", "05010.00"},
        {nan, 2, "Lat", ""},             {INFINITY, 2, "Lon", ""}, {nan, 2, "Alt", ""}, // missing: empty
    };
    for (const auto& c : positions)
        EXPECT_EQ(Ccalc::CreateNMEAPosStr(c.value, c.decimals, c.kind), c.text) << c.value << " " << c.kind;
    // Bytes of 128 and more count negative: the remainder keeps the sum's sign.
    f.Text(0, CString("\xff", 1)).Text(1, CString("\xc8", 1)).Text(2, CString(std::string(128, '\x80')));
    f.Text(3, CString("\0\0", 2));
    // DMStoDM writes five decimals without a sign; CheckSum and MARSCS append their check.
    ExpectTexts(f, {
        {"CheckSum(\"A\")", "A\xc1"},  {"CheckSum(\"AB\")", "AB\x83"}, // 65 + 128; 131 mod 128 = 3
        {"CheckSum(\"\")", "\x80"},    {"CheckSum(var0)", "\xff\x7f"}, // -1
        {"CheckSum(var1)", "\xc8H"},   // -56: 72
        {"MARSCS(\"\")", "0000"},      {"MARSCS(\"123456789\")", "12345678931C3"},
        {"MARSCS(\"A\")", "A58E5"},    {"MARSCS(var3)", "\0\0" "0000"sv}, // NUL bytes take part
        {"DMStoDM(\"5230.5\")", "52.50833"},   {"DMStoDM(\"-5230.5\")", "52.50833"},
        {"DMStoDM(\"  4807.038xyz\")", "48.11730"}, {"DMStoDM(\"12000\")", "120.00000"}, // a number at the start
        {"DMStoDM(\"59.9999999\")", "1.00000"}, // rounds up to a digit before the point
        // Below one there is no digit before the point.
        {"DMStoDM(\"30\")", ".50000"},         {"DMStoDM(\"59.99\")", ".99983"},
        {"DMStoDM(\"3\")", ".05000"},          {"DMStoDM(\"0.3\")", ".00500"}, // below 0.1: zeros written
        {"DMStoDM(\"0.0006\")", ".00001"},     {"DMStoDM(\"0.0000003\")", ".00000"},
        {"DMStoDM(\"0\")", ".00000"},          {"DMStoDM(\"-3\")", ".05000"},
        // A text without a number gives an empty text.
        {"DMStoDM(\"\")", ""},  {"DMStoDM(\"N\")", ""},  {"DMStoDM(\"nan\")", ""},  {"DMStoDM(\"inf\")", ""},
        {"NMEAPOS(-52.5, 4, \"Lat\")", "5230.0000"}, {"NMEAPOS(52.5, 4, \"LatS\")", "N"}, // magnitude only
        {"NMEAPOS(-52.5, 4, \"LatS\")", "S"},        {"NMEAPOS(0, 2, \"LatS\")", "N"},
        {"NMEAPOS(-4.25, 3, \"LonS\")", "W"},        {"NMEAPOS(0, 3, \"LonS\")", "E"},
        {"NMEAPOS(52.5, 4, \"lat\")", "5230.0000"},  {"NMEAPOS(-4.25, 3, \"LONS\")", "W"},
        {"NMEAPOS(52.5, 4.7, \"Lat\")", "5230.0000"}, // decimals truncated
    });
    EXPECT_EQ(f.TextOf("CheckSum(var2)"), CString(std::string(128, '\x80') + "\x80")); // -16384: 0
}

// The XMODEM check values of "123456789" and "A" are pinned through MARSCS.
TEST(Crc16, ZeroByteAndEmptyOrInvalidRanges)
{
    const unsigned char a[] = {'A'}, zero[] = {0};
    EXPECT_EQ((std::vector<int>{Compute16BitCRC(a, a + 1), Compute16BitCRC(zero, zero + 1), Compute16BitCRC(a, a),
                                Compute16BitCRC(a + 1, a), Compute16BitCRC(nullptr, nullptr)}),
              (std::vector<int>{0x58E5, 0, 0, 0, 0}));
}
