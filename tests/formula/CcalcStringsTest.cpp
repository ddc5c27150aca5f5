// The text functions of the formula catalogue, reached through formulas.
#include "FormulaRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

TEST(CcalcStrings, GetSubStrTestsBoundsOnTheNumbersAsGiven)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("GetSubStr(\"ABCDEF\", 2, 3)"), "CDE");
    EXPECT_EQ(f.TextOf("GetSubStr(\"ABCDEF\", 4, 10)"), "EF");   // runs past the end: the rest
    EXPECT_EQ(f.TextOf("GetSubStr(\"ABCDEF\", 5, 1)"), "F");
    EXPECT_EQ(f.TextOf("GetSubStr(\"ABCDEF\", 6, 1)"), "");      // start at the length
    EXPECT_EQ(f.TextOf("GetSubStr(\"ABCDEF\", 0, 0.5)"), "");    // count below 1
    EXPECT_EQ(f.TextOf("GetSubStr(\"ABCDEF\", 1.9, 2.5)"), "BC"); // positions truncated
    EXPECT_EQ(f.TextOf("GetSubStr(\"ABCDEF\", 4.5, 1.5)"), "E");  // 4.5 + 1.5 fits exactly
    EXPECT_EQ(f.TextOf("GetSubStr(\"ABCDEF\", -2, 3)"), "ABC");   // a negative start reads from 0
    EXPECT_EQ(f.TextOf("GetSubStr(\"\", 0, 1)"), "");
    f.Number(0, std::nan(""));
    EXPECT_EQ(f.TextOf("GetSubStr(\"ABCDEF\", var0, 2)"), "");
    EXPECT_EQ(f.TextOf("GetSubStr(\"ABCDEF\", 1, var0)"), "");
}

TEST(CcalcStrings, FailedCallsClearTheirPreviousResult)
{
    FormulaRunner f;
    CKvsName text(CString("ABCDEF"));
    f.Form().SetVar(0, &text);
    EXPECT_EQ(f.TextOf("GetSubStr(var0, 2, 3)"), "CDE");
    text.SetName("AB");
    EXPECT_EQ(f.TextAgain(), "");
    text.SetName("S");
    EXPECT_EQ(f.TextOf("Map(\"N,S\", \"1,2\", var0)"), "2");
    text.SetName("X");
    EXPECT_EQ(f.TextAgain(), "");
    text.SetName("a,b");
    EXPECT_EQ(f.TextOf("FindDel(\",\", 1, var0)"), "b");
    text.SetName("a");
    EXPECT_EQ(f.TextAgain(), "");
}

TEST(CcalcStrings, FtoSWritesFixedDecimals)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("FtoS(3.14159, 2)"), "3.14");
    EXPECT_EQ(f.TextOf("FtoS(-2.5, 1)"), "-2.5");
    EXPECT_EQ(f.TextOf("FtoS(2.5, 0)"), "2");   // printf's rounding: exact halves to even
    EXPECT_EQ(f.TextOf("FtoS(3.5, 0)"), "4");
    EXPECT_EQ(f.TextOf("FtoS(7, 2.9)"), "7.00"); // decimals truncated
    EXPECT_EQ(f.TextOf("FtoS(7, -3)"), "7");     // negative decimals write none
    EXPECT_EQ(f.TextOf("FtoS(0.5, 40)"), "0.50000000000000000000"); // at most 20 decimals
    f.Integer(0, -42);
    EXPECT_EQ(f.TextOf("ItoS(var0)"), "-42");
}

TEST(CcalcStrings, ValToStrUsesTheValuesOwnPrecision)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("ValToStr(0.125)"), "0.125");
    EXPECT_EQ(f.TextOf("ValToStr(3)"), "3");
    EXPECT_EQ(f.TextOf("ValToStr(2.5)"), "2.5");
    EXPECT_EQ(f.TextOf("ValToStr(-0.1)"), "-0.1");
    EXPECT_EQ(f.TextOf("ValToStr(1234567.891)"), "1234567.891");
}

TEST(CcalcStrings, LeadZeroPadsAfterTheSignAndNeverCuts)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("LeadZero(\"42\", 5)"), "00042");
    EXPECT_EQ(f.TextOf("LeadZero(\"-42\", 5)"), "-00042"); // the sign does not count
    EXPECT_EQ(f.TextOf("LeadZero(\"123456\", 3)"), "123456");
    EXPECT_EQ(f.TextOf("LeadZero(\"\", 3)"), "000");
    EXPECT_EQ(f.TextOf("LeadZero(\"7\", 2.9)"), "07");
    EXPECT_EQ(f.TextOf("LeadZero(\"7\", -4)"), "7");
    EXPECT_EQ(f.TextOf("LeadZero(\"7\", 1000000000)"), ""); // absurd widths are refused
}

TEST(CcalcStrings, FixedLengthPadsWithSpacesOrKeepsTheRightEnd)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("FixedLength(\"42\", 5)"), "   42");
    EXPECT_EQ(f.TextOf("FixedLength(\"123456\", 3)"), "456");
    EXPECT_EQ(f.TextOf("FixedLength(\"-42\", 5)"), "-   42");
    EXPECT_EQ(f.TextOf("FixedLength(\"-123456\", 3)"), "3456"); // width 4 with the sign, sign cut
    EXPECT_EQ(f.TextOf("FixedLength(\"abc\", 3)"), "abc");
    EXPECT_EQ(f.TextOf("FixedLength(\"abc\", 0)"), "");
    EXPECT_EQ(f.TextOf("FixedLength(\"abc\", -1)"), "");
    EXPECT_EQ(f.TextOf("FixedLength(\"abc\", 99999999)"), "");
}

TEST(CcalcStrings, PackStringAndStrSign)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("PackString(\"ab\", \"\", \"cd\")"), "abcd");
    f.Text(0, CString("a\0b", 3));
    EXPECT_EQ(f.TextOf("PackString(var0, var0, \"!\")"), CString("a\0ba\0b!", 7)); // bytes kept
    EXPECT_EQ(f.TextOf("StrSign(\"12\")"), "+12");
    EXPECT_EQ(f.TextOf("StrSign(\"-12\")"), "-12");
    EXPECT_EQ(f.TextOf("StrSign(\"\")"), "");
    EXPECT_EQ(f.TextOf("StrSign(\"+12\")"), "++12"); // only "-" counts as a sign
    EXPECT_EQ(f.TextOf("StrSign(\" 1\")"), "+ 1");
}

TEST(CcalcStrings, CHRGivesOneByteOfTheTruncatedCode)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("CHR(65)"), "A");
    EXPECT_EQ(f.TextOf("CHR(65.9)"), "A");
    EXPECT_EQ(f.TextOf("CHR(13)"), "\r");
    EXPECT_EQ(f.TextOf("CHR(200)"), CString(static_cast<char>(200)));
    EXPECT_EQ(f.TextOf("CHR(322)"), "B"); // modulo 256, as "%c"
    const CString nul = f.TextOf("CHR(0)");
    ASSERT_EQ(nul.GetLength(), 1); // a NUL byte, not an empty text
    EXPECT_EQ(nul[0], '\0');
    EXPECT_EQ(f.TextOf("\"AB\" + CHR(3) + \"C\""), CString("AB\x03" "C"));
}

TEST(CcalcStrings, FindDelCountsDelimitersAndStopsAtAnyOfTheirCharacters)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("FindDel(\",\", 0, \"a,b,c\")"), "a");
    EXPECT_EQ(f.TextOf("FindDel(\",\", 2, \"a,b,c\")"), "c");
    EXPECT_EQ(f.TextOf("FindDel(\",\", 3, \"a,b,c\")"), "");
    EXPECT_EQ(f.TextOf("FindDel(\",\", 1, \"a,,c\")"), "");
    EXPECT_EQ(f.TextOf("FindDel(\",\", -1, \"a,b\")"), "a");  // no rounds
    EXPECT_EQ(f.TextOf("FindDel(\",\", 1.5, \"a,b,c\")"), "c"); // rounds while i < n: two
    EXPECT_EQ(f.TextOf("FindDel(\",\", 1, \"a,  b\")"), "  b"); // spaces kept for other delimiters
    EXPECT_EQ(f.TextOf("FindDel(\",;\", 0, \"ab;cd,;ef\")"), "ab"); // any delimiter character ends a field
    // A multi-character delimiter is searched whole, but the field then starts on its
    // second character, which ends the field at once.
    EXPECT_EQ(f.TextOf("FindDel(\"*,\", 1, \"ab*,cd\")"), "");
    EXPECT_EQ(f.TextOf("FindDel(\"*,\", 1, \"ab,cd\")"), "");
}

TEST(CcalcStrings, FindDelCollapsesSpaceRunsForASpaceDelimiter)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("FindDel(\" \", 1, \"a   b  c\")"), "b");
    EXPECT_EQ(f.TextOf("FindDel(\" \", 2, \"a   b  c\")"), "c");
    EXPECT_EQ(f.TextOf("FindDel(\" \", 0, \"  a b\")"), ""); // a leading run is one empty field
    EXPECT_EQ(f.TextOf("FindDel(\" \", 1, \"  a b\")"), "a");
    EXPECT_EQ(f.TextOf("FindDel(\" ,\", 1, \"x  ,y\")"), ""); // collapsed to "x ,y": lands on ","
}

TEST(CcalcStrings, FindDelWithEmptyDelimitersFindsNothing)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("FindDel(\"\", 0, \"abc\")"), "");
    EXPECT_EQ(f.TextOf("FindDel(\"\", 2, \"abc\")"), "");
    EXPECT_EQ(f.TextOf("FindDel(\"\", 0, \"\")"), "");
}

TEST(CcalcStrings, MapLooksUpInStepAndStopsWithTheShorterList)
{
    FormulaRunner f;
    EXPECT_EQ(f.TextOf("Map(\"N,S,E,W\", \"1,2,3,4\", \"E\")"), "3");
    EXPECT_EQ(f.TextOf("Map(\"N,S,E,W\", \"1,2,3,4\", \"W\")"), "4");
    EXPECT_EQ(f.TextOf("Map(\"N,S\", \"1,2\", \"X\")"), "");
    EXPECT_EQ(f.TextOf("Map(\"N,S\", \"1,2\", \"n\")"), "");    // case-sensitive
    EXPECT_EQ(f.TextOf("Map(\"N,S\", \"1,2\", \"N,S\")"), ""); // items, not the list
    EXPECT_EQ(f.TextOf("Map(\"a,b,c\", \"1,2\", \"c\")"), ""); // keys past the last value
    EXPECT_EQ(f.TextOf("Map(\"a,b,c\", \"1,2\", \"b\")"), "2");
    EXPECT_EQ(f.TextOf("Map(\"a,b\", \"1,2,3\", \"b\")"), "2"); // surplus values unused
    EXPECT_EQ(f.TextOf("Map(\"a,,b\", \"1,2,3\", \"\")"), "2"); // an empty item matches ""
    EXPECT_EQ(f.TextOf("Map(\"\", \"1\", \"\")"), "");          // no keys at all
    EXPECT_EQ(f.TextOf("Map(\"a,b\", \"\", \"a\")"), "");       // empty value item
}
