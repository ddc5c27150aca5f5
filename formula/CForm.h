// CForm: a formula (for instance Sqrt(var0^2 + var1^2)) parsed once into a list of bound
// calls (Ccalc) and executed again and again while the bound values change. Device drivers
// use it to build and decode telegrams. The form owns its constants, the result values of
// its calls and the calls; the values bound with SetVar/SetTim/SetDataElem stay the
// caller's and must outlive the form's use of them.
//
// Syntax: numbers (digits, optional "." and digits, optional "E"/"e" and digits without a
// sign), string constants in double quotes (escape sequences replaced), var0..var49,
// tim0..tim49, dataElem0..dataElem49, vesselName, the keywords of the function table with
// bracketed arguments, the operators + - * / ^ and brackets. "^" binds tightest and to
// the right, a leading "-" tighter still (-2^2 is 4). A ";" outside string constants and
// "//" anywhere start a comment.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/formula/Ccalc.h>
#include <KvsDataBlocks/platform/CString.h>

#include <deque>
#include <memory>
#include <vector>

class CKvsType;

class KVS_API CForm
{
public:
    // Kind of a token.
    enum item
    {
        ItemOperator = 0,
        ItemComma = 1,
        ItemNumber = 2,
        ItemVar = 3,
        ItemFunction = 4,
        ItemError = 5,
        ItemString = 6,
        ItemEnd = 7,
        ItemTim = 8,
        ItemDataElem = 9,
        ItemVesselName = 10,
    };

    // One function-table entry: the word written in formulas, the internal name handed to
    // Ccalc and the number of arguments. The texts are not owned.
    struct func_struct
    {
        const char* keyword;
        const char* name;
        int nargs;
    };

    // Error codes of SetFormula (GetError) and of Execute (GetExecError).
    enum Error
    {
        ErrNone = 0,
        ErrEmptyFunction = 1,
        ErrMissingArgument = 2,
        ErrInvalidArgument = 3,
        // "Formula buffer overflow": brackets, powers or calls nested too deep, or a text
        // constant, number or word longer than a token holds (kTokenSize - 1 characters)
        ErrTooDeep = 4,
        ErrUnknownFunction = 5,
        ErrUnknownOperator = 6,
        ErrVariableIndex = 7,
        ErrMissingBracket = 8,
        ErrExpectedOperand = 9,
        ErrUnexpectedEnd = 10,
        ErrExpectedComma = 11,
        ErrUnassignedVariable = 12,
        ErrNoMemory = 13,
        // Execution only: a value operation of a call refused its values (division by
        // zero, root or logarithm out of range, an integer result out of range, ...).
        ErrCalculation = Ccalc::kCalculationFailed,
        // A function given more arguments than it takes.
        ErrTooManyArguments = 15,
    };

    static constexpr int kSlots = 50;       // var, tim and dataElem indices 0 .. 49
    static constexpr int kTokenSize = 1024; // token characters including the terminator
    static constexpr int kMaxDepth = 200;   // nesting of brackets, powers and calls

    CForm();
    // A copy binds the same caller values, has the same function table, vessel name and
    // used flags, and owns calls and values of its own: it parses the formula text again.
    CForm(const CForm& other);
    CForm& operator=(const CForm& other);
    ~CForm();

    // Parses and binds; true when no error was raised. Releases the previous formula's
    // values and calls; bindings stay.
    bool SetFormula(CString text);
    // code: the parse error (0 none); position: the 1-based column where it was found.
    void GetError(int& code, int& position) const;
    // The text of the parse error.
    void GetErrorText(CString& text) const;
    // What the parse error found, where the code alone does not say it (empty otherwise):
    // for a wrong number of arguments the function and what it takes ("Sqrt takes 1
    // argument, given 2"), for a token too long its length.
    const CString& GetErrorDetail() const { return m_errorDetail; }
    // The text of any error code, as GetErrorText gives it (14: "Calculation failed").
    static const char* ErrorText(int code);
    // Appends a function-table entry; 1, or 0 with parse error 13 when it cannot be stored.
    // The texts are not copied: they must outlive the form.
    int SetFuncStruct(const char* keyword, const char* name, int nargs);
    // The text used for "vesselName"; takes effect at the next SetFormula.
    void SetVesselName(CString name);

    // Bind slot index (0 .. 49) to the caller's value; false for another index. Bind
    // before SetFormula: calls take their values when they are bound. A null value leaves
    // the slot unassigned (a formula using it gets error 12).
    bool SetVar(int index, CKvsType* value);
    bool SetTim(int index, CKvsType* value);
    // For "EntryValue" and "EntryStatus" the value is expected to be a CKvsBytePtr.
    bool SetDataElem(int index, CKvsType* value);
    // Whether any formula parsed by this form used var<index>; false outside 0 .. 49.
    bool CheckVarUsed(int index) const;

    // Runs the bound calls in order; false after a failed SetFormula or when a call fails
    // (GetExecError then gives its code). Allocates nothing.
    // A formula of plain-number arithmetic runs inline as number steps; any other runs
    // its calls one by one.
    bool Execute()
    {
        if (m_numberSteps.empty() || m_parseError != 0) return ExecuteCalls();
        m_execError = 0;
        if (Ccalc::RunNumberSteps(m_numberSteps.data(), m_numberSteps.size())) return true;
        return NumberStepFailed();
    }
    int GetExecError() const { return m_execError; }
    // The call that failed in the last Execute: its keyword ("Sqrt") or operator ("/"; a
    // negation is "-") and the 1-based column where the formula text writes it. False
    // when the last Execute did not fail in a call.
    bool GetExecErrorCall(CString& name, int& position) const;
    // The formula's result value (owned by the form, or the caller's value for a bare
    // variable); the same object after every Execute. False without a parsed formula or
    // after a failed Execute.
    bool GetResult(CKvsType*& result) const
    {
        if (m_root == nullptr || m_root->value == nullptr || m_execError != 0 || m_parseError != 0) return false;
        result = m_root->value;
        return true;
    }
    // Type code of a value by its run-time class: CKvsDouble 103, CKvsInt 101, CKvsName 501,
    // any other class (and null) 0.
    static unsigned short GetKvsType(CKvsType* value);

private:
    item GetNextItem();
    static bool IsOperator(char c);
    int IsFunction(const char* word) const;
    const func_struct* FindFunction(const char* keyword) const;
    void SetError(int code);
    bool SetToken(const char* text, int length);
    bool TokenIs(char op) const { return m_item == ItemOperator && m_token[0] == op; }

    var_lnk* NewOwnedNode(std::unique_ptr<CKvsType> value);
    void AddVar(var_lnk*& target);
    void AddExtVar(var_lnk*& slot);
    // Binds the call of internal name; word and column say where the formula writes it.
    void AddProc(const char* name, const char* word, int column, var_lnk*& target, var_lnk* a1, var_lnk* a2,
                 var_lnk* a3, var_lnk* a4, var_lnk* a5);
    void FreeList();
    void BuildNumberSteps();
    bool ExecuteCalls();
    bool NumberStepFailed(); // notes which number step failed; false
    bool Bind(var_lnk** slots, int index, CKvsType* value);
    void CopyFrom(const CForm& other);

    void CalcSequence(var_lnk*& target);
    void CalcBin(var_lnk*& target);
    void CalcUn(var_lnk*& target);
    void GetOperator(var_lnk*& target);
    void GetOperand(var_lnk*& target);
    void CalcFunc(var_lnk*& target);
    // Parses a call's arguments into args; returns how many were given.
    int GetOperands(int nargs, var_lnk* (&args)[5]);
    void CalcNumVar(var_lnk*& target);

    std::vector<func_struct> m_functions;
    char m_operators[7];
    const char* m_text = nullptr; // the text being scanned, only during SetFormula
    char m_token[kTokenSize];
    int m_tokenLength = 0; // string constants may hold NUL bytes
    item m_item = ItemEnd;
    int m_position = 0;
    int m_length = 0;
    int m_errorPosition = 0;
    var_lnk* m_varSlots[kSlots];
    unsigned char m_varUsed[kSlots];
    var_lnk* m_timSlots[kSlots];
    var_lnk* m_elemSlots[kSlots];
    var_lnk* m_root = nullptr;
    int m_parseError = 0;
    int m_execError = 0;
    int m_depth = 0;
    bool m_parsed = false;  // SetFormula was called
    CString m_formula;      // the last text given to SetFormula, parsed again by copies
    std::deque<var_lnk> m_owned;                        // constants, defaults and call results
    std::vector<std::unique_ptr<CKvsType>> m_ownedValues; // the values of m_owned
    std::deque<var_lnk> m_bindings;                     // SetVar/SetTim/SetDataElem nodes
    std::vector<std::unique_ptr<Ccalc>> m_calls;        // in binding order
    // Where the formula text writes each call: its keyword or operator (texts that live
    // as long as the function table) and the 0-based column.
    struct CallSite
    {
        const char* word;
        int column;
    };
    std::vector<CallSite> m_callSites; // one per call
    size_t m_failedCall = 0;           // index of the call that failed, when m_execError is set
    // The calls as number steps when every one is plain-number arithmetic (else empty):
    // Execute then runs these instead of the calls.
    std::vector<Ccalc::NumberStep> m_numberSteps;
    CString m_vesselName;
    CString m_errorDetail;
};
