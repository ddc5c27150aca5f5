#include "FormulaRunner.h"

#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/values/CKvsDouble2D.h>

#include <atomic>

// Allocation failure on demand: while g_failMalloc is set every malloc, and with it every
// operator new of the test program, fails. Sanitizer builds bring their own allocator.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define KVS_FAIL_MALLOC 1
extern "C" void* __libc_malloc(size_t);
namespace { std::atomic<bool> g_failMalloc{false}; }
extern "C" void* malloc(size_t size) noexcept { return g_failMalloc ? nullptr : __libc_malloc(size); }
#endif

namespace {

// var0 a double (7), var1 an integer (2), var2 a text ("x"), tim3 a double (5) and
// dataElem0 an element view.
struct BoundRunner : FormulaRunner
{
    CKvsBytePtr element;
    BoundRunner()
    {
        Number(0, 7.0).Integer(1, 2).Text(2, "x").Time(3, 5.0);
        Form().SetDataElem(0, &element);
    }
};

} // namespace

TEST(CForm, EvaluatesFormulasAndReportsEveryParseErrorWithItsColumn)
{
    BoundRunner f;
    const std::pair<const char*, double> cases[] = {
        {"2^3^2", 512.0}, {"-2^2", 4.0},   {"8/2/2", 2.0},  {"10-4-3", 3.0},  {"1+2*3", 7.0},
        {"(1+2)*3", 9.0}, {"2*3^2", 18.0}, {"-(2+3)", -5.0}, {"2*-3", -6.0},   {"((((2))))*3", 6.0},
        {"1e-5", -4.0}, // the number 1e, then "- 5": exponents are unsigned
        {"1.5e2", 150.0}, {"0.25", 0.25},
        {"var0 ; a note", 7.0}, {"1 // a note", 1.0}, {"1 2", 1.0}, {"  3   ", 3.0}, // tokens after: ignored
        {"Sqrt 4", 0.0},      // without brackets the next token is skipped
        {"var0 + tim3", 12.0}, {"tim3 - var0", -2.0}, {"var1 * var1 + var1", 6.0},
    };
    for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(f.NumberOf(text), value) << text;
    f.Form().SetVesselName("Sea Surveyor");
    ExpectTexts(f, {
        {"\"a;b\"", "a;b"}, {"\"a;b\" ; note", "a;b"}, // the last ";" outside a string starts the note
        {"\"a\\tb\"", "a\tb"}, {"\"ab\" + \"cd\"", "abcd"}, {"\"open", "open"}, // no closing quote: to the end
        {"\"a\\x00b\"", "a\0b"sv}, {"var2 + \"y\"", "xy"}, {"vesselName", "Sea Surveyor"},
    });
    constexpr int kAny = -1;
    const struct { const char* text; int code; int column; } errors[] = {
        {"Sqrt(", 10, 6},    {"Sqrt(2,", 10, 8},  {"Sqrt(2", 11, 7},    {"Sqrt(2 3)", 11, 8}, {"(1+2", 8, 5},
        {"1 + #", 6, 5},     {"foo(1)", 5, 1},    {"", 9, 1},           {"1+", 9, 3},         {"--2", 9, 2},
        {"RtoP(1)", 5, 8},   {"var50", 7, 4},     {"var4", 12, 4},      {"var", 7, 4},        {"1 + \t2", 6, 5},
        {"()", 9, 2},        {"2 * \"a\"", 3, 8}, {"GetSubStr(\"abc\")", 2, 17}, {"  #", 6, 3}, {".5", 6, kAny},
        {"Sqrt()", 9, kAny}, {"tim4", 12, kAny},  // an empty argument list is no argument at all
        {"Sqrt(16, 9)", CForm::ErrTooManyArguments, 1}, // surplus arguments are refused, at the function
        // Classes are checked when the formula is bound.
        {"var0 + var1", 3, kAny}, {"var0 + \"a\"", 3, kAny}, {"FtoS(var1, 2)", 3, kAny}, {"ItoS(var0)", 3, kAny},
        {"GetSubStr(var2, 1, var1)", 3, kAny}, {"Sqrt(var2)", 3, kAny},
        // A copy of an element view would share the block's bytes: arithmetic on elements
        // must go through EntryValue.
        {"dataElem0 + dataElem0", 3, kAny}, {"-dataElem0", 3, kAny}, {"EntryValue(1)", 3, kAny},
        // Catalogue rows without a keyword cannot be named.
        {"PtoR(1)", 5, kAny}, {"V2dR(1,2)", 5, kAny}, {"V3dP(1,2,3)", 5, kAny}, {"Att(1,2,3)", 5, kAny},
        {"AttCor(1, 2) + 1", 2, kAny},
    };
    for (const auto& c : errors) {
        const auto [code, column] = f.ErrorOf(c.text);
        EXPECT_EQ(code, c.code) << c.text;
        EXPECT_TRUE(c.column == kAny || column == c.column) << c.text << ": column " << column;
    }
    for (const char* fine : {"ItoS(var1)", "-var2", "EntryValue(dataElem0)", "FtoS(3.7)"})
        EXPECT_TRUE(f.Form().SetFormula(fine)) << fine; // negation checks no class
    const std::pair<int, const char*> texts[] = {
        {1, "Empty function pointer"}, {7, "Invalid varibable index"}, {9, "Expected variable or contant"},
        {13, "Failed to allocate memory"}, {0, "Unknown error"}, {14, "Calculation failed"}, {15, "Too many function arguments"}, {16, "Unknown error"},
    };
    for (const auto& [code, text] : texts) EXPECT_STREQ(CForm::ErrorText(code), text) << code;
    f.ErrorOf("1 + #");
    CString text;
    f.Form().GetErrorText(text);
    EXPECT_EQ(text, "Unknown operator");
}

TEST(CForm, LongTokensDeepNestingNothingToRunBareValuesAndTheReusedResult)
{
    FormulaRunner f;
    // A text, number or word longer than a token holds is refused, not cut.
    const std::string longText = "\"" + std::string(3000, 'x') + "\"", fits = "\"" + std::string(1023, 'x') + "\"";
    EXPECT_EQ(f.TextOf(fits.c_str()).GetLength(), CForm::kTokenSize - 1);
    for (const std::string& tooLong : {longText, std::string(2000, '1'), std::string(2000, 'q') + "(1)"})
        EXPECT_EQ(f.ErrorOf(tooLong.c_str()), std::pair(int{CForm::ErrTooDeep}, 1));
    std::string powers = "2", calls;
    for (int i = 0; i < 3000; ++i) powers += "^1", calls += "Sqrt(";
    for (const std::string& deep : {std::string(5000, '(') + "1" + std::string(5000, ')'), powers, calls})
        EXPECT_EQ(f.ErrorOf(deep.c_str()).first, CForm::ErrTooDeep);
    CForm form;
    CKvsType* result = nullptr;
    EXPECT_TRUE(form.Execute() && !form.GetResult(result)); // never parsed: nothing to run
    EXPECT_FALSE(form.SetFormula("1 +") || form.Execute() || form.GetResult(result));
    ASSERT_TRUE(form.SetFormula("AttCor(1, 2)")); // a catalogue row without a function
    EXPECT_FALSE(form.Execute() || form.GetResult(result));
    EXPECT_EQ(form.GetExecError(), CForm::ErrEmptyFunction);
    // Zero-argument calls skip their brackets.
    ASSERT_TRUE(form.SetFormula("CurDateToYYYYMMDD()"));
    EXPECT_EQ(CForm::GetKvsType(RunForm(form, "CurDateToYYYYMMDD() + \"x\"")), 501);

    CKvsDouble v(3.0);
    form.SetVar(0, &v);
    EXPECT_EQ(RunForm(form, "var0"), &v); // a bare value is the result itself
    EXPECT_EQ(CForm::GetKvsType(RunForm(form, "42")), 103);
    ASSERT_TRUE((result = RunForm(form, "var0 * 2")));
    v.SetDouble(4.0);
    EXPECT_EQ(RunForm(form), result); // run again: the same result value
    EXPECT_DOUBLE_EQ(ResultOf(form), 8.0);

    CKvsInt i;
    CKvsName n;
    CKvsDouble2D w;
    const std::pair<CKvsType*, int> codes[] = {{&v, 103}, {&i, 101}, {&n, 501}, {&w, 0}, {nullptr, 0}};
    for (const auto& [value, code] : codes) EXPECT_EQ(CForm::GetKvsType(value), code);
}

TEST(CForm, SlotsRebindAndKeepTheirUsedFlagsCopiesOwnTheirCallsAndCustomEntries)
{
    FormulaRunner f;
    CForm& form = f.Form();
    CKvsDouble a(2.0), c(9.0);
    EXPECT_FALSE(form.SetVar(50, &a) || form.SetVar(-1, &a) || form.SetTim(50, &a) || form.SetDataElem(-1, &a));
    EXPECT_TRUE(form.SetVar(49, &a) && form.SetVar(2, &a));
    EXPECT_FALSE(form.CheckVarUsed(50) || form.CheckVarUsed(-1) || form.CheckVarUsed(2));
    EXPECT_DOUBLE_EQ(f.NumberOf("var2 + 1"), 3.0);
    ASSERT_TRUE(form.SetFormula("1"));
    EXPECT_TRUE(form.CheckVarUsed(2)); // used flags stay across formulas
    EXPECT_FALSE(form.CheckVarUsed(49));
    form.SetVar(2, &c); // rebinding a slot reuses its node
    EXPECT_DOUBLE_EQ(f.NumberOf("var2"), 9.0);
    form.SetVar(2, nullptr); // a null value unassigns the slot
    EXPECT_EQ(f.ErrorOf("var2").first, CForm::ErrUnassignedVariable);
    int code = 0, column = 0;
#ifdef KVS_FAIL_MALLOC
    // A slot whose node cannot be allocated is refused and the form says why.
    CForm starved;
    bool all = true;
    g_failMalloc = true;
    for (int i = 0; i < 50; ++i) all = starved.SetVar(i, &a) && starved.SetTim(i, &a) && all;
    g_failMalloc = false;
    starved.GetError(code, column);
    EXPECT_EQ(std::pair(all, code), std::pair(false, int{CForm::ErrNoMemory}));
#endif
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
        EXPECT_DOUBLE_EQ(ResultOf(*form), 7.0);
        EXPECT_TRUE(form->CheckVarUsed(0));
        EXPECT_EQ(TextOfForm(*form, "vesselName"), "Boat");
    }
    assigned = assigned; // self-assignment keeps the form
    EXPECT_DOUBLE_EQ(ResultOf(assigned, "var0"), 3.0);

    CForm failed;
    failed.SetFormula("1 + #");
    CForm failedCopy(failed);
    failedCopy.GetError(code, column);
    EXPECT_EQ(std::pair(code, column), std::pair(int{CForm::ErrUnknownOperator}, 5));
    EXPECT_FALSE(failedCopy.Execute());
    EXPECT_EQ(f.Form().SetFuncStruct("Root", "SQRT", 1) + f.Form().SetFuncStruct("Broken", "NOSUCH", 1) +
                  f.Form().SetFuncStruct("Sqrt", "LOG10", 1), 3);
    EXPECT_DOUBLE_EQ(f.NumberOf("Root(9)"), 3.0);
    EXPECT_EQ(f.ErrorOf("Broken(1)").first, CForm::ErrUnknownFunction);
    EXPECT_DOUBLE_EQ(f.NumberOf("Sqrt(100)"), 10.0); // the first entry wins
}
