#include <KvsDataBlocks/formula/CForm.h>

#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsDouble2D.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Parses and executes text; the result as a double (NaN when there is none).
double Eval(CForm& form, const char* text)
{
    if (!form.SetFormula(text) || !form.Execute()) return std::nan("");
    CKvsType* result = nullptr;
    double value = std::nan("");
    if (form.GetResult(result)) result->GetDouble(value);
    return value;
}

double Eval(const char* text)
{
    CForm form;
    return Eval(form, text);
}

CString EvalText(CForm& form, const char* text)
{
    CKvsType* result = nullptr;
    CString value;
    if (form.SetFormula(text) && form.Execute() && form.GetResult(result)) result->GetValueStr(value);
    return value;
}

struct ErrorAt
{
    int code;
    int column;
};

ErrorAt ParseError(CForm& form, const char* text)
{
    ErrorAt e{0, 0};
    EXPECT_FALSE(form.SetFormula(text)) << text;
    form.GetError(e.code, e.column);
    return e;
}

ErrorAt ParseError(const char* text)
{
    CForm form;
    return ParseError(form, text);
}

} // namespace

TEST(CForm, PrecedenceAndAssociativity)
{
    EXPECT_DOUBLE_EQ(Eval("2^3^2"), 512.0);
    EXPECT_DOUBLE_EQ(Eval("-2^2"), 4.0);
    EXPECT_DOUBLE_EQ(Eval("8/2/2"), 2.0);
    EXPECT_DOUBLE_EQ(Eval("10-4-3"), 3.0);
    EXPECT_DOUBLE_EQ(Eval("1+2*3"), 7.0);
    EXPECT_DOUBLE_EQ(Eval("(1+2)*3"), 9.0);
    EXPECT_DOUBLE_EQ(Eval("2*3^2"), 18.0);
    EXPECT_DOUBLE_EQ(Eval("-(2+3)"), -5.0);
    EXPECT_DOUBLE_EQ(Eval("2*-3"), -6.0);
}

TEST(CForm, NumbersHaveUnsignedExponents)
{
    EXPECT_DOUBLE_EQ(Eval("1e-5"), -4.0); // the number 1e, then "- 5"
    EXPECT_DOUBLE_EQ(Eval("1.5e2"), 150.0);
    EXPECT_DOUBLE_EQ(Eval("0.25"), 0.25);
    EXPECT_EQ(ParseError(".5").code, CForm::ErrUnknownOperator);
}

TEST(CForm, ReportsEveryParseErrorWithItsColumn)
{
    struct Case
    {
        const char* text;
        int code;
        int column;
    };
    const Case cases[] = {
        {"Sqrt(", 10, 6},       {"Sqrt(2,", 10, 8},  {"Sqrt(2", 11, 7},    {"Sqrt(2 3)", 11, 8},
        {"(1+2", 8, 5},         {"1 + #", 6, 5},     {"foo(1)", 5, 1},     {"", 9, 1},
        {"1+", 9, 3},           {"--2", 9, 2},       {"RtoP(1)", 5, 8},    {"var50", 7, 4},
        {"var3", 12, 4},        {"var", 7, 4},       {"1 + \t2", 6, 5},    {"()", 9, 2},
        {"2 * \"a\"", 3, 8},    {"GetSubStr(\"abc\")", 2, 17},
    };
    for (const Case& c : cases) {
        CForm form;
        const ErrorAt e = ParseError(form, c.text);
        EXPECT_EQ(e.code, c.code) << c.text;
        EXPECT_EQ(e.column, c.column) << c.text;
    }
}

TEST(CForm, ErrorTextsAreTheFixedOnes)
{
    EXPECT_STREQ(CForm::ErrorText(1), "Empty function pointer");
    EXPECT_STREQ(CForm::ErrorText(7), "Invalid varibable index");
    EXPECT_STREQ(CForm::ErrorText(9), "Expected variable or contant");
    EXPECT_STREQ(CForm::ErrorText(13), "Failed to allocate memory");
    EXPECT_STREQ(CForm::ErrorText(0), "Unknown error");
    EXPECT_STREQ(CForm::ErrorText(14), "Calculation failed"); // execution only
    EXPECT_STREQ(CForm::ErrorText(15), "Unknown error");
    CForm form;
    form.SetFormula("1 + #");
    CString text;
    form.GetErrorText(text);
    EXPECT_EQ(text, "Unknown operator");
}

TEST(CForm, CommentsAndSemicolons)
{
    CForm form;
    CKvsDouble v(7.0);
    form.SetVar(0, &v);
    EXPECT_DOUBLE_EQ(Eval(form, "var0 ; a note"), 7.0);
    EXPECT_DOUBLE_EQ(Eval(form, "1 // a note"), 1.0);
    EXPECT_EQ(EvalText(form, "\"a;b\""), "a;b");            // ";" inside a string stays
    EXPECT_EQ(EvalText(form, "\"a;b\" ; note"), "a;b");     // the last ";" is outside
    EXPECT_DOUBLE_EQ(Eval(form, "1 2"), 1.0);               // tokens after the expression are ignored
    EXPECT_DOUBLE_EQ(Eval(form, "  3   "), 3.0);
    EXPECT_EQ(ParseError(form, "  #").column, 3);            // leading spaces keep the columns
}

TEST(CForm, StringConstantsHandleEscapes)
{
    CForm form;
    EXPECT_EQ(EvalText(form, "\"a\\tb\""), "a\tb");
    EXPECT_EQ(EvalText(form, "\"ab\" + \"cd\""), "abcd");
    EXPECT_EQ(EvalText(form, "\"open"), "open"); // no closing quote: to the end
    const CString withNul = EvalText(form, "\"a\\x00b\"");
    EXPECT_EQ(withNul.GetLength(), 3);
}

TEST(CForm, LongTokensAreCutToTheBuffer)
{
    CForm form;
    const std::string longText = "\"" + std::string(3000, 'x') + "\"";
    EXPECT_EQ(EvalText(form, longText.c_str()).GetLength(), CForm::kTokenSize - 1);
    const std::string longNumber = std::string(2000, '1');
    EXPECT_TRUE(form.SetFormula(longNumber.c_str()));
    const std::string longWord = std::string(2000, 'q') + "(1)";
    EXPECT_EQ(ParseError(form, longWord.c_str()).code, CForm::ErrUnknownFunction);
}

TEST(CForm, DeepNestingIsRefusedNotOverflowed)
{
    CForm form;
    const std::string deep = std::string(5000, '(') + "1" + std::string(5000, ')');
    EXPECT_EQ(ParseError(form, deep.c_str()).code, CForm::ErrTooDeep);
    std::string powers = "2";
    for (int i = 0; i < 3000; ++i) powers += "^1";
    EXPECT_EQ(ParseError(form, powers.c_str()).code, CForm::ErrTooDeep);
    std::string calls;
    for (int i = 0; i < 3000; ++i) calls += "Sqrt(";
    EXPECT_EQ(ParseError(form, calls.c_str()).code, CForm::ErrTooDeep);
    EXPECT_DOUBLE_EQ(Eval(form, "((((2))))*3"), 6.0);
}

TEST(CForm, DefaultedAndSurplusArguments)
{
    CForm form;
    // An empty argument list is no argument at all: ")" where an operand must stand.
    EXPECT_EQ(ParseError(form, "Sqrt()").code, 9);
    EXPECT_DOUBLE_EQ(Eval(form, "Sqrt 4"), 0.0);   // without brackets the next token is skipped
    EXPECT_DOUBLE_EQ(Eval(form, "Sqrt(16, 9)"), 4.0); // surplus arguments are ignored
    EXPECT_TRUE(form.SetFormula("FtoS(3.7)"));
    EXPECT_EQ(ParseError(form, "GetSubStr(\"abc\")").code, CForm::ErrMissingArgument);
}

TEST(CForm, ZeroArgumentCallsSkipTheirBrackets)
{
    CForm form;
    EXPECT_TRUE(form.SetFormula("CurDateToYYYYMMDD()"));
    EXPECT_TRUE(form.Execute());
    EXPECT_TRUE(form.SetFormula("CurDateToYYYYMMDD() + \"x\""));
    CKvsType* result = nullptr;
    ASSERT_TRUE(form.Execute());
    ASSERT_TRUE(form.GetResult(result));
    EXPECT_EQ(CForm::GetKvsType(result), 501);
}

TEST(CForm, ChecksClassesAtBinding)
{
    CForm form;
    CKvsDouble d(1.0);
    CKvsInt i(2);
    CKvsName n(CString("x"));
    form.SetVar(0, &d);
    form.SetVar(1, &i);
    form.SetVar(2, &n);
    EXPECT_EQ(ParseError(form, "var0 + var1").code, CForm::ErrInvalidArgument);
    EXPECT_EQ(ParseError(form, "var0 + \"a\"").code, CForm::ErrInvalidArgument);
    EXPECT_EQ(ParseError(form, "FtoS(var1, 2)").code, CForm::ErrInvalidArgument);
    EXPECT_EQ(ParseError(form, "ItoS(var0)").code, CForm::ErrInvalidArgument);
    EXPECT_EQ(ParseError(form, "GetSubStr(var2, 1, var1)").code, CForm::ErrInvalidArgument);
    EXPECT_EQ(ParseError(form, "Sqrt(var2)").code, CForm::ErrInvalidArgument);
    EXPECT_TRUE(form.SetFormula("ItoS(var1)"));
    EXPECT_TRUE(form.SetFormula("var2 + \"y\""));
    EXPECT_TRUE(form.SetFormula("-var2")); // negation checks no class
    EXPECT_DOUBLE_EQ(Eval(form, "var1 * var1 + var1"), 6.0);
}

TEST(CForm, UnboundRowsFailAsDocumented)
{
    CForm form;
    for (const char* text : {"RtoP(1)", "PtoR(1)", "V2dR(1,2)", "V3dR(1,2,3)", "V2dP(1,2)", "V3dP(1,2,3)", "Att(1,2,3)"})
        EXPECT_EQ(ParseError(form, text).code, CForm::ErrUnknownFunction) << text;
    ASSERT_TRUE(form.SetFormula("AttCor(1, 2)"));
    EXPECT_FALSE(form.Execute());
    EXPECT_EQ(form.GetExecError(), CForm::ErrEmptyFunction);
    CKvsType* result = nullptr;
    EXPECT_FALSE(form.GetResult(result));
    EXPECT_EQ(ParseError(form, "AttCor(1, 2) + 1").code, CForm::ErrMissingArgument);
}

TEST(CForm, DataElementsAreRefusedAsArithmeticOperands)
{
    // A copy of an element view would share the block's bytes, so arithmetic on elements
    // must go through EntryValue.
    CForm form;
    CKvsBytePtr element;
    form.SetDataElem(0, &element);
    EXPECT_EQ(ParseError(form, "dataElem0 + dataElem0").code, CForm::ErrInvalidArgument);
    EXPECT_EQ(ParseError(form, "-dataElem0").code, CForm::ErrInvalidArgument);
    EXPECT_TRUE(form.SetFormula("EntryValue(dataElem0)"));
    EXPECT_EQ(ParseError(form, "EntryValue(1)").code, CForm::ErrInvalidArgument);
}

TEST(CForm, BareConstantsAndVariables)
{
    CForm form;
    CKvsType* result = nullptr;
    EXPECT_TRUE(form.Execute()); // never parsed: nothing to run
    EXPECT_FALSE(form.GetResult(result));

    CKvsDouble v(3.0);
    form.SetVar(0, &v);
    ASSERT_TRUE(form.SetFormula("var0"));
    ASSERT_TRUE(form.Execute());
    ASSERT_TRUE(form.GetResult(result));
    EXPECT_EQ(result, &v);

    ASSERT_TRUE(form.SetFormula("42"));
    ASSERT_TRUE(form.Execute());
    ASSERT_TRUE(form.GetResult(result));
    EXPECT_EQ(CForm::GetKvsType(result), 103);

    form.SetVesselName("Sea Surveyor");
    EXPECT_EQ(EvalText(form, "vesselName"), "Sea Surveyor");
}

TEST(CForm, ResultObjectIsReusedAcrossExecutions)
{
    CForm form;
    CKvsDouble v(3.0);
    form.SetVar(0, &v);
    ASSERT_TRUE(form.SetFormula("var0 * 2"));
    ASSERT_TRUE(form.Execute());
    CKvsType* first = nullptr;
    ASSERT_TRUE(form.GetResult(first));
    double value = 0.0;
    first->GetDouble(value);
    EXPECT_DOUBLE_EQ(value, 6.0);
    v.SetDouble(4.0);
    ASSERT_TRUE(form.Execute());
    CKvsType* second = nullptr;
    ASSERT_TRUE(form.GetResult(second));
    EXPECT_EQ(first, second);
    second->GetDouble(value);
    EXPECT_DOUBLE_EQ(value, 8.0);
}

TEST(CForm, ReparsingKeepsBindings)
{
    CForm form;
    CKvsDouble a(2.0);
    CKvsDouble b(5.0);
    form.SetVar(0, &a);
    form.SetTim(3, &b);
    EXPECT_DOUBLE_EQ(Eval(form, "var0 + tim3"), 7.0);
    EXPECT_DOUBLE_EQ(Eval(form, "var0 * tim3"), 10.0);
    EXPECT_EQ(ParseError(form, "tim4").code, CForm::ErrUnassignedVariable);
    EXPECT_DOUBLE_EQ(Eval(form, "tim3 - var0"), 3.0);
    // Rebinding a slot reuses its node.
    CKvsDouble c(9.0);
    form.SetVar(0, &c);
    EXPECT_DOUBLE_EQ(Eval(form, "var0"), 9.0);
    // A null value unassigns the slot.
    form.SetVar(0, nullptr);
    EXPECT_EQ(ParseError(form, "var0").code, CForm::ErrUnassignedVariable);
}

TEST(CForm, SlotIndicesAreChecked)
{
    CForm form;
    CKvsDouble v(1.0);
    EXPECT_FALSE(form.SetVar(50, &v));
    EXPECT_FALSE(form.SetVar(-1, &v));
    EXPECT_FALSE(form.SetTim(50, &v));
    EXPECT_FALSE(form.SetDataElem(-1, &v));
    EXPECT_TRUE(form.SetVar(49, &v));
    EXPECT_FALSE(form.CheckVarUsed(50));
    EXPECT_FALSE(form.CheckVarUsed(-1));
}

TEST(CForm, UsedFlagsStayAcrossFormulas)
{
    CForm form;
    CKvsDouble v(1.0);
    form.SetVar(2, &v);
    EXPECT_FALSE(form.CheckVarUsed(2));
    ASSERT_TRUE(form.SetFormula("var2 + 1"));
    EXPECT_TRUE(form.CheckVarUsed(2));
    ASSERT_TRUE(form.SetFormula("1"));
    EXPECT_TRUE(form.CheckVarUsed(2));
    EXPECT_FALSE(form.CheckVarUsed(1));
}

TEST(CForm, FailedParseRefusesToRun)
{
    CForm form;
    EXPECT_FALSE(form.SetFormula("1 +"));
    EXPECT_FALSE(form.Execute());
    CKvsType* result = nullptr;
    EXPECT_FALSE(form.GetResult(result));
}

TEST(CForm, TypeCodesByRunTimeClass)
{
    CKvsDouble d;
    CKvsInt i;
    CKvsName n;
    CKvsDouble2D v;
    EXPECT_EQ(CForm::GetKvsType(&d), 103);
    EXPECT_EQ(CForm::GetKvsType(&i), 101);
    EXPECT_EQ(CForm::GetKvsType(&n), 501);
    EXPECT_EQ(CForm::GetKvsType(&v), 0);
    EXPECT_EQ(CForm::GetKvsType(nullptr), 0);
}

TEST(CForm, CopiesOwnTheirCalls)
{
    CKvsDouble v(3.0);
    auto original = std::make_unique<CForm>();
    original->SetVar(0, &v);
    original->SetVesselName("Boat");
    ASSERT_TRUE(original->SetFormula("var0 * 2 + 1"));
    CForm copy(*original);
    CForm assigned;
    assigned = *original;
    original.reset(); // the copies must not depend on the original's nodes

    for (CForm* form : {&copy, &assigned}) {
        ASSERT_TRUE(form->Execute());
        CKvsType* result = nullptr;
        ASSERT_TRUE(form->GetResult(result));
        double value = 0.0;
        result->GetDouble(value);
        EXPECT_DOUBLE_EQ(value, 7.0);
        EXPECT_TRUE(form->CheckVarUsed(0));
        EXPECT_EQ(EvalText(*form, "vesselName"), "Boat");
    }
    assigned = assigned; // self-assignment keeps the form
    EXPECT_DOUBLE_EQ(Eval(assigned, "var0"), 3.0);
}

TEST(CForm, CopyOfAFailedFormKeepsItsError)
{
    CForm form;
    form.SetFormula("1 + #");
    CForm copy(form);
    int code = 0;
    int column = 0;
    copy.GetError(code, column);
    EXPECT_EQ(code, CForm::ErrUnknownOperator);
    EXPECT_EQ(column, 5);
    EXPECT_FALSE(copy.Execute());
}

TEST(CForm, CustomFunctionEntries)
{
    CForm form;
    EXPECT_EQ(form.SetFuncStruct("Root", "SQRT", 1), 1);
    EXPECT_DOUBLE_EQ(Eval(form, "Root(9)"), 3.0);
    EXPECT_EQ(form.SetFuncStruct("Broken", "NOSUCH", 1), 1);
    EXPECT_EQ(ParseError(form, "Broken(1)").code, CForm::ErrUnknownFunction);
    EXPECT_EQ(form.SetFuncStruct("Sqrt", "LOG10", 1), 1); // the first entry wins
    EXPECT_DOUBLE_EQ(Eval(form, "Sqrt(100)"), 10.0);
}
