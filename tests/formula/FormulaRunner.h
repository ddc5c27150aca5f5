// FormulaRunner: a CForm with values it owns bound to var/tim/dataElem slots, for tests
// that reach the function catalogue through formulas as telegram code does.
#pragma once

#include <KvsDataBlocks/formula/CForm.h>
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

#include <cmath>

using namespace std::string_view_literals;

// Parses formula (when given) and runs form: its result, nullptr when there is none.
inline CKvsType* RunForm(CForm& form, const char* formula = nullptr)
{
    CKvsType* result = nullptr;
    const bool ran = (formula == nullptr || form.SetFormula(formula)) && form.Execute() && form.GetResult(result);
    return ran ? result : nullptr;
}

// A result as a number (NaN when there is none) or as its text ("<failed>" when there is none).
inline double NumberOfResult(CKvsType* result)
{
    double value = std::nan("");
    if (result != nullptr) result->GetDouble(value);
    return value;
}

inline CString TextOfResult(CKvsType* result)
{
    CString text("<failed>");
    if (result != nullptr) result->GetValueStr(text);
    return text;
}

// Parses formula (when given) and runs form: the result as a number or a text.
inline double ResultOf(CForm& form, const char* formula = nullptr) { return NumberOfResult(RunForm(form, formula)); }
inline CString TextOfForm(CForm& form, const char* formula = nullptr) { return TextOfResult(RunForm(form, formula)); }

class FormulaRunner
{
public:
    // var<index> as a number, a text (any bytes) or an integer.
    FormulaRunner& Number(int index, double value) { return Bind(index, std::make_unique<CKvsDouble>(value)); }
    FormulaRunner& Text(int index, const CString& value) { return Bind(index, std::make_unique<CKvsName>(value)); }
    FormulaRunner& Integer(int index, int value) { return Bind(index, std::make_unique<CKvsInt>(value)); }
    // tim<index> as a time in milliseconds since 1970 UTC.
    FormulaRunner& Time(int index, double ms) { return Bind(index, std::make_unique<CKvsDouble>(ms), &CForm::SetTim); }

    CForm& Form() { return m_form; }

    // Parses and runs formula; the result's text ("<failed>" when parsing or running fails).
    CString TextOf(const char* formula) { return TextOfResult(Run(formula)); }

    // Parses and runs formula; the result as a number (NaN when there is none).
    double NumberOf(const char* formula) { return NumberOfResult(Run(formula)); }

    // Parses formula, which must parse, and runs it: the execution error (0 when it ran).
    int ExecErrorOf(const char* formula)
    {
        EXPECT_TRUE(m_form.SetFormula(formula)) << formula;
        CKvsType* result = nullptr;
        return m_form.Execute() && m_form.GetResult(result) ? 0 : m_form.GetExecError();
    }

    // Runs the formula parsed last again (bound values may have changed).
    CString TextAgain() { return TextOfResult(RunForm(m_form)); }

    // Parsing formula must fail: its error code and column.
    std::pair<int, int> ErrorOf(const char* formula)
    {
        std::pair<int, int> error{0, 0};
        EXPECT_FALSE(m_form.SetFormula(formula)) << formula;
        m_form.GetError(error.first, error.second);
        return error;
    }

private:
    FormulaRunner& Bind(int index, std::unique_ptr<CKvsType> value, bool (CForm::*set)(int, CKvsType*) = &CForm::SetVar)
    {
        m_values.push_back(std::move(value));
        return (m_form.*set)(index, m_values.back().get()), *this;
    }

    CKvsType* Run(const char* formula)
    {
        CKvsType* result = nullptr;
        if (!m_form.SetFormula(formula)) {
            int code = 0, column = 0;
            m_form.GetError(code, column);
            ADD_FAILURE() << formula << ": parse error " << code << " at " << column;
            return nullptr;
        }
        if (!m_form.Execute() || !m_form.GetResult(result)) {
            ADD_FAILURE() << formula << ": execution failed with " << m_form.GetExecError();
            return nullptr;
        }
        return result;
    }

    CForm m_form;
    std::vector<std::unique_ptr<CKvsType>> m_values;
};

// One formula and the text it must give (a view, so that NUL bytes count).
struct TextCase { const char* formula; std::string_view text; };

inline void ExpectTexts(FormulaRunner& f, std::initializer_list<TextCase> cases)
{
    for (const TextCase& c : cases) EXPECT_EQ(f.TextOf(c.formula), CString(std::string(c.text))) << c.formula;
}
