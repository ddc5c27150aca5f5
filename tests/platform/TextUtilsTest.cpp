#include <KvsDataBlocks/config/DataDefinition.h>
#include <KvsDataBlocks/config/ProjectDefinition.h>
#include <KvsDataBlocks/platform/TextUtils.h>
#include <KvsDataBlocks/tide/TideStation.h>
#include <KvsDataBlocks/filters/pipedetect/VesselContour.h>

#include <gtest/gtest.h>

#include <cmath>

TEST(TextUtils, NumbersEscapesLinesAndEveryTextReaderTakesAByteOrderMarkAndWindowsLineEnds)
{
    const std::pair<CString, CString> cases[] = {
        {FormatDouble(3.14159, 2), "3.14"},   {FormatDouble(2.5, 0), "2"}, // printf: 2.5 is exact, half to even
        {FormatDouble(-1.005, 1), "-1.0"},    {FormatDouble(-0.0001, 2), "0.00"},
        {FormatDouble(12.0, -3), "12"},       {FormatDouble(1.0, 50), "1.00000000000000000000"},
        {FormatDouble(NAN, 2), "nan"},        {FormatDouble(-INFINITY, 2), "-inf"},
        {TimeSpanToString(0.0, false), "00:00:00"},          {TimeSpanToString(3725.4, false), "01:02:05"},
        {TimeSpanToString(3725.4, true), "01:02:05.400"},    {TimeSpanToString(59.9996, true), "00:01:00.000"},
        {TimeSpanToString(90061.0, false), "1 d 01:01:01"},  {TimeSpanToString(-61.0, false), "-00:01:01"},
        {TimeSpanToString(-0.0001, true), "00:00:00.000"},   {TimeSpanToString(NAN, true), ""},
        {TimeSpanToString(1e300, false), ""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "row " << i;
    EXPECT_EQ(FormatDouble(1e300, 2).GetLength(), 304);
    const std::pair<double, int> precisions[] = {{12.0, 0}, {0.1, 1}, {-2.125, 3}, {1e20, 0}, {1.5e-5, 6}, {NAN, 0}};
    for (const auto& [value, digits] : precisions) EXPECT_EQ(GetDoublePrecision(value), digits) << value;
    const std::pair<const char*, std::string> escapes[] = {
        {"a\\r\\n\\t\\\\\\\"\\'", "a\r\n\t\\\"'"}, {"\\x41\\x7e\\xFFz", "A~\xFFz"},
        {"\\x4G", "\x04G"}, {"a\\x00b\\0", std::string("a\0b\0", 4)},
        {"\\q", "\\q"}, {"\\xZ", "\\xZ"}, {"end\\", "end\\"}, {"\\x", "\\x"}, {"", ""},
    };
    for (const auto& [in, out] : escapes) EXPECT_EQ(StrHandleEscape(in), CString(out)) << in;
    CString text("$GP"), tail("GGA"); // CStringAppend keeps NUL bytes too
    tail += '\0';
    CStringAppend(text, tail);
    EXPECT_EQ(text, CString(std::string("$GPGGA\0", 7)));
    double v = 7.0, w = 7.0;
    EXPECT_TRUE(ParseFiniteDouble("-12.5e1", v) && ParseFiniteDouble(std::string_view("3.25xyz", 4), w));
    EXPECT_EQ(std::pair(v, w), std::pair(-125.0, 3.25)); // the view ends before "xyz"
    v = 7.0;
    for (const char* bad : {"", " 1", "1 ", "1,5", "abc", "nan", "inf", "1e999", "1e-400"})
        EXPECT_FALSE(ParseFiniteDouble(bad, v) || v != 7.0) << bad;
    std::string_view rest = SkipByteOrderMark("\xEF\xBB\xBF" "a\r\n\nb\rc\n\xEF\xBB\xBF" "d"), line;
    std::vector<std::string> lines;
    while (NextTextLine(rest, line)) lines.emplace_back(line);
    // Only a mark at the start is one; a lone CR inside a line stays.
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "b\rc", "\xEF\xBB\xBF" "d"}));
    rest = "";
    EXPECT_FALSE(NextTextLine(rest, line));
    EXPECT_EQ(std::vector<size_t>({EditDistanceNoCase("SlopFilter", "slopefilter"), EditDistanceNoCase("", "abc"),
                                   EditDistanceNoCase("kitten", "sitting")}),
              std::vector<size_t>({1, 3, 3}));
    // Each reader of settings and data files takes the text as a Windows editor saves it (the
    // attribute maps: CAttributeMap.ReadsBackEveryTypeSetOrLoadedAndOnlyAsItsType).
    CString error;
    int count = 0;
    DataDefinition& definition = DataDefinition::GetDataDefinition();
    const std::pair<std::string, std::function<bool(const CString&)>> readers[] = { // texts with "\n" ends
        {"2026/01/01 00:00:00 1.5\n2026/01/01 01:00:00 2.5\n",
         [&](const CString& t) { TideStation s; return TideStation::Parse(t.str(), s, error) && s.GetNumValues() == 2; }},
        {"0 0 0 0\n1 0 2 0\n1 1 2 1\n",
         [](const CString& t) { VesselContour c; return c.CreateFromText(t, VesselContour::kSideView) && c.GetSize() == 3; }},
        {"# job\ngrid = EPSG:32631\ndatum = EPSG:4326\n",
         [](const CString& text) { ProjectDefinition p; return p.LoadProjectText(text, "job.prj") && p.GetGeoCoordSys(); }},
        {"{\n \"groups\": [ {\"id\": 9, \"items\": [ {\"type\": 103} ] } ]\n}\n", [&](const CString& text) {
             const bool read = definition.LoadText(text, "test.json", error) && definition.GetGroupNumItems(9, count);
             definition.UseDefault();
             return read && count == 1;
         }},
    };
    for (const auto& [text, reads] : readers) {
        std::string crlf;
        for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        for (const std::string& variant : {text, crlf, "\xEF\xBB\xBF" + text, "\xEF\xBB\xBF" + crlf})
            EXPECT_TRUE(reads(CString(variant))) << variant;
    }
}
