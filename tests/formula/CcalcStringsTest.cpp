// The text functions of the formula catalogue, reached through formulas.
#include "FormulaRunner.h"

// GetSubStr tests its bounds on the numbers as given; FindDel counts delimiters and stops at
// any of their characters; Map looks up in step and stops with the shorter list.
TEST(CcalcStrings, TextFunctionsCutPadConvertSearchMapAndFailedCallsClearTheirResult)
{
    FormulaRunner f;
    f.Number(0, std::nan("")).Integer(1, -42).Text(2, CString("a\0b", 3));
    ExpectTexts(f, {
        {"GetSubStr(\"ABCDEF\", 2, 3)", "CDE"},  {"GetSubStr(\"ABCDEF\", 4, 10)", "EF"}, // past the end: the rest
        {"GetSubStr(\"ABCDEF\", 5, 1)", "F"},    {"GetSubStr(\"ABCDEF\", 6, 1)", ""},    // start at the length
        {"GetSubStr(\"ABCDEF\", 0, 0.5)", ""},   {"GetSubStr(\"ABCDEF\", 1.9, 2.5)", "BC"}, // truncated
        {"GetSubStr(\"ABCDEF\", 4.5, 1.5)", "E"}, {"GetSubStr(\"ABCDEF\", -2, 3)", "ABC"}, // negative start: 0
        {"GetSubStr(\"\", 0, 1)", ""},           {"GetSubStr(\"ABCDEF\", var0, 2)", ""},
        {"GetSubStr(\"ABCDEF\", 1, var0)", ""}, {"FtoS(3.14159, 2)", "3.14"}, {"FtoS(-2.5, 1)", "-2.5"},
        {"FtoS(2.5, 0)", "2"},        {"FtoS(3.5, 0)", "4"}, // printf's rounding: exact halves to even
        {"FtoS(7, 2.9)", "7.00"},     {"FtoS(7, -3)", "7"},  // decimals truncated, negative: none
        {"FtoS(0.5, 40)", "0.50000000000000000000"},         // at most 20 decimals
        {"ItoS(var1)", "-42"}, {"ValToStr(0.125)", "0.125"}, {"ValToStr(3)", "3"}, {"ValToStr(-0.1)", "-0.1"},
        {"ValToStr(1234567.891)", "1234567.891"},
        {"LeadZero(\"42\", 5)", "00042"},        {"LeadZero(\"-42\", 5)", "-00042"}, // the sign does not count
        {"LeadZero(\"123456\", 3)", "123456"},   {"LeadZero(\"\", 3)", "000"},
        {"LeadZero(\"7\", 2.9)", "07"},          {"LeadZero(\"7\", -4)", "7"},
        {"FixedLength(\"42\", 5)", "   42"},     {"FixedLength(\"123456\", 3)", "456"},
        {"FixedLength(\"-42\", 5)", "-   42"},   {"FixedLength(\"-123456\", 3)", "3456"}, // sign cut
        {"FixedLength(\"abc\", 3)", "abc"},      {"FixedLength(\"abc\", 0)", ""},
        {"FixedLength(\"abc\", -1)", ""},        
        {"PackString(\"ab\", \"\", \"cd\")", "abcd"}, {"PackString(var2, var2, \"!\")", "a\0ba\0b!"sv},
        {"StrSign(\"12\")", "+12"},  {"StrSign(\"-12\")", "-12"}, {"StrSign(\"\")", ""},
        {"StrSign(\"+12\")", "++12"}, {"StrSign(\" 1\")", "+ 1"}, // only "-" counts as a sign
        {"CHR(65)", "A"},      {"CHR(65.9)", "A"},     {"CHR(13)", "\r"}, {"CHR(200)", "\xc8"},
        {"CHR(322)", "B"},     {"CHR(0)", "\0"sv},     // modulo 256; a NUL byte, not an empty text
        {"\"AB\" + CHR(3) + \"C\"", "AB\x03" "C"},
        {"FindDel(\",\", 0, \"a,b,c\")", "a"},   {"FindDel(\",\", 2, \"a,b,c\")", "c"},
        {"FindDel(\",\", 3, \"a,b,c\")", ""},    {"FindDel(\",\", 1, \"a,,c\")", ""},
        {"FindDel(\",\", -1, \"a,b\")", "a"},    {"FindDel(\",\", 1.5, \"a,b,c\")", "c"}, // rounds while i < n
        {"FindDel(\",\", 1, \"a,  b\")", "  b"}, {"FindDel(\",;\", 0, \"ab;cd,;ef\")", "ab"},
        // A multi-character delimiter is searched whole, but the field then starts on its
        // second character, which ends the field at once.
        {"FindDel(\"*,\", 1, \"ab*,cd\")", ""},  {"FindDel(\"*,\", 1, \"ab,cd\")", ""},
        // A space delimiter collapses runs of spaces.
        {"FindDel(\" \", 1, \"a   b  c\")", "b"}, {"FindDel(\" \", 2, \"a   b  c\")", "c"},
        {"FindDel(\" \", 0, \"  a b\")", ""},     {"FindDel(\" \", 1, \"  a b\")", "a"},
        {"FindDel(\" ,\", 1, \"x  ,y\")", ""},    // collapsed to "x ,y": lands on ","
        {"FindDel(\"\", 0, \"abc\")", ""},        {"FindDel(\"\", 2, \"abc\")", ""},
        {"Map(\"N,S,E,W\", \"1,2,3,4\", \"W\")", "4"}, {"Map(\"N,S\", \"1,2\", \"X\")", ""},
        {"Map(\"N,S\", \"1,2\", \"n\")", ""},          {"Map(\"N,S\", \"1,2\", \"N,S\")", ""}, // case; items
        {"Map(\"a,b,c\", \"1,2\", \"c\")", ""},        {"Map(\"a,b,c\", \"1,2\", \"b\")", "2"},
        {"Map(\"a,b\", \"1,2,3\", \"b\")", "2"},       {"Map(\"a,,b\", \"1,2,3\", \"\")", "2"},
        {"Map(\"\", \"1\", \"\")", ""},                {"Map(\"a,b\", \"\", \"a\")", ""},
        {"Map(\"N,S,E,W\", \"1,2,3,4\", \"N\")", "1"},
    });
    CKvsName text(CString("ABCDEF"));
    f.Form().SetVar(0, &text);
    const struct { const char* formula; const char* good; const char* result; const char* bad; } failing[] = {
        {"GetSubStr(var0, 2, 3)", "ABCDEF", "CDE", "AB"}, {"Map(\"N,S\", \"1,2\", var0)", "S", "2", "X"},
        {"FindDel(\",\", 1, var0)", "a,b", "b", "a"}};
    for (const auto& c : failing) {
        text.SetName(c.good);
        EXPECT_EQ(f.TextOf(c.formula), c.result);
        text.SetName(c.bad);
        EXPECT_EQ(f.TextAgain(), "") << c.formula;
    }
    // Absurd widths fail the call rather than give an empty text in silence.
    for (const char* formula : {"LeadZero(\"7\", 1000000000)", "FixedLength(\"abc\", 99999999)", "FixedLength(\"abc\", 1e9)"})
        EXPECT_EQ(f.ExecErrorOf(formula), CForm::ErrCalculation) << formula;
}
