// FormulaRunner: a CForm with values it owns bound to var/tim/dataElem slots, for tests
// that reach the function catalogue through formulas as telegram code does.
#pragma once

#include <KvsDataBlocks/formula/CForm.h>
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace std::string_view_literals;

class FormulaRunner
{
public:
    // var<index> as a number, a text (any bytes) or an integer.
    FormulaRunner& Number(int index, double value) { return Bind(index, std::make_unique<CKvsDouble>(value)); }
    FormulaRunner& Text(int index, const CString& value) { return Bind(index, std::make_unique<CKvsName>(value)); }
    FormulaRunner& Integer(int index, int value) { return Bind(index, std::make_unique<CKvsInt>(value)); }
    // tim<index> as a time in milliseconds since 1970 UTC.
    FormulaRunner& Time(int index, double ms)
    {
        m_values.push_back(std::make_unique<CKvsDouble>(ms));
        m_form.SetTim(index, m_values.back().get());
        return *this;
    }

    CForm& Form() { return m_form; }

    // Parses and runs formula; the result's text ("<failed>" when parsing or running fails).
    CString TextOf(const char* formula) { return TextOfResult(Run(formula)); }

    // Parses and runs formula; the result as a number (NaN when there is none).
    double NumberOf(const char* formula)
    {
        double value = std::nan("");
        if (CKvsType* result = Run(formula)) result->GetDouble(value);
        return value;
    }

    // Runs the formula parsed last again (bound values may have changed).
    CString TextAgain()
    {
        CKvsType* result = nullptr;
        return TextOfResult(m_form.Execute() && m_form.GetResult(result) ? result : nullptr);
    }

    // Parsing formula must fail: its error code and column.
    std::pair<int, int> ErrorOf(const char* formula)
    {
        std::pair<int, int> error{0, 0};
        EXPECT_FALSE(m_form.SetFormula(formula)) << formula;
        m_form.GetError(error.first, error.second);
        return error;
    }

private:
    static CString TextOfResult(CKvsType* result)
    {
        CString text("<failed>");
        if (result != nullptr) result->GetValueStr(text);
        return text;
    }

    FormulaRunner& Bind(int index, std::unique_ptr<CKvsType> value)
    {
        m_values.push_back(std::move(value));
        m_form.SetVar(index, m_values.back().get());
        return *this;
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

// Parses formula (when given) and runs form: its result, nullptr when there is none.
inline CKvsType* RunForm(CForm& form, const char* formula = nullptr)
{
    CKvsType* result = nullptr;
    const bool ran = (formula == nullptr || form.SetFormula(formula)) && form.Execute() && form.GetResult(result);
    return ran ? result : nullptr;
}

// The same, the result as a number (NaN when there is none) or as text ("<failed>").
inline double ResultOf(CForm& form, const char* formula = nullptr)
{
    double value = std::nan("");
    if (CKvsType* result = RunForm(form, formula)) result->GetDouble(value);
    return value;
}

inline CString TextOfForm(CForm& form, const char* formula = nullptr)
{
    CString text("<failed>");
    if (CKvsType* result = RunForm(form, formula)) result->GetValueStr(text);
    return text;
}

// One formula and the text it must give (a view, so that NUL bytes count).
struct TextCase { const char* formula; std::string_view text; };

inline void ExpectTexts(FormulaRunner& f, std::initializer_list<TextCase> cases)
{
    for (const TextCase& c : cases) EXPECT_EQ(f.TextOf(c.formula), CString(std::string(c.text))) << c.formula;
}
