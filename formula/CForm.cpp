#include <KvsDataBlocks/formula/CForm.h>

#include <KvsDataBlocks/formula/FormulaFunctions.h>

#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <typeinfo>

namespace {


// Error texts by code (index 0 and codes outside the table: "Unknown error").
constexpr const char* kErrorTexts[] = {
    "Unknown error",
    "Empty function pointer",
    "Insufficient function arguments",
    "Invalid argument",
    "Formula buffer overflow",
    "Unknown function",
    "Unknown operator",
    "Invalid varibable index",
    "Missing closing bracket",
    "Expected variable or contant",
    "Unexpected end",
    "Expected comma or bracket",
    "Unassigned variable",
    "Failed to allocate memory",
    "Calculation failed",
};

constexpr char kOperators[7] = {'+', '-', '*', '/', '^', '(', ')'};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Word prefixes that name a slot bank or the vessel name; the scan resumes after them.
struct Prefix
{
    const char* text;
    int length;
    CForm::item kind;
};
constexpr Prefix kPrefixes[] = {
    {"var", 3, CForm::ItemVar},
    {"tim", 3, CForm::ItemTim},
    {"dataElem", 8, CForm::ItemDataElem},
    {"vesselName", 10, CForm::ItemVesselName},
};

// Counts the nesting of the recursive parser steps for as long as one is active.
class DepthGuard
{
public:
    explicit DepthGuard(int& depth) : m_depth(depth) { ++m_depth; }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& m_depth;
};

} // namespace

CForm::CForm()
{
    std::fill(std::begin(m_varSlots), std::end(m_varSlots), nullptr);
    std::fill(std::begin(m_varUsed), std::end(m_varUsed), 0);
    std::fill(std::begin(m_timSlots), std::end(m_timSlots), nullptr);
    std::fill(std::begin(m_elemSlots), std::end(m_elemSlots), nullptr);
    m_token[0] = '\0';
    // The built-in functions: formula keyword, catalogue name, arguments.
    size_t count = 0;
    const kvs::FormulaFunction* functions = kvs::FormulaFunctions(count);
    m_functions.reserve(count);
    for (size_t i = 0; i < count; ++i) SetFuncStruct(functions[i].keyword, functions[i].name, functions[i].arguments);
    std::memcpy(m_operators, kOperators, sizeof(m_operators));
}

CForm::CForm(const CForm& other) : CForm()
{
    CopyFrom(other);
}

CForm& CForm::operator=(const CForm& other)
{
    if (this == &other) return *this;
    FreeList();
    m_root = nullptr;
    m_bindings.clear();
    std::fill(std::begin(m_varSlots), std::end(m_varSlots), nullptr);
    std::fill(std::begin(m_timSlots), std::end(m_timSlots), nullptr);
    std::fill(std::begin(m_elemSlots), std::end(m_elemSlots), nullptr);
    CopyFrom(other);
    return *this;
}

CForm::~CForm()
{
    FreeList();
}

void CForm::CopyFrom(const CForm& other)
{
    m_functions = other.m_functions;
    m_vesselName = other.m_vesselName;
    std::copy(std::begin(other.m_varUsed), std::end(other.m_varUsed), std::begin(m_varUsed));
    for (int i = 0; i < kSlots; ++i) {
        if (other.m_varSlots[i] != nullptr) Bind(m_varSlots, i, other.m_varSlots[i]->value);
        if (other.m_timSlots[i] != nullptr) Bind(m_timSlots, i, other.m_timSlots[i]->value);
        if (other.m_elemSlots[i] != nullptr) Bind(m_elemSlots, i, other.m_elemSlots[i]->value);
    }
    m_parsed = false;
    m_parseError = 0;
    m_execError = 0;
    m_errorPosition = 0;
    m_formula.Empty();
    if (other.m_parsed) {
        SetFormula(other.m_formula);
        m_execError = other.m_execError;
        m_failedCall = other.m_failedCall;
    }
}

const char* CForm::ErrorText(int code)
{
    if (code < 1 || code >= static_cast<int>(std::size(kErrorTexts))) return kErrorTexts[0];
    return kErrorTexts[code];
}

void CForm::GetError(int& code, int& position) const
{
    code = m_parseError;
    position = m_errorPosition + 1;
}

void CForm::GetErrorText(CString& text) const
{
    text = ErrorText(m_parseError);
}

int CForm::SetFuncStruct(const char* keyword, const char* name, int nargs)
{
    try {
        m_functions.push_back(func_struct{keyword, name, nargs});
    } catch (const std::bad_alloc&) {
        m_parseError = ErrNoMemory;
        return 0;
    }
    return 1;
}

void CForm::SetVesselName(CString name)
{
    m_vesselName = name;
}

bool CForm::Bind(var_lnk** slots, int index, CKvsType* value)
{
    if (index < 0 || index >= kSlots) return false;
    try {
        AddExtVar(slots[index]);
    } catch (const std::bad_alloc&) {
        m_parseError = ErrNoMemory;
        return false;
    }
    slots[index]->value = value;
    return true;
}

bool CForm::SetVar(int index, CKvsType* value) { return Bind(m_varSlots, index, value); }
bool CForm::SetTim(int index, CKvsType* value) { return Bind(m_timSlots, index, value); }
bool CForm::SetDataElem(int index, CKvsType* value) { return Bind(m_elemSlots, index, value); }

bool CForm::CheckVarUsed(int index) const
{
    if (index < 0 || index >= kSlots) return false;
    return m_varUsed[index] != 0;
}

bool CForm::ExecuteCalls()
{
    if (m_parseError != 0) return false;
    m_execError = 0;
    for (size_t i = 0; i < m_calls.size(); ++i) {
        const int code = m_calls[i]->Execute();
        if (code != 0) {
            m_execError = code;
            m_failedCall = i;
            return false;
        }
    }
    return true;
}

bool CForm::NumberStepFailed()
{
    m_execError = ErrCalculation;
    m_failedCall = Ccalc::FirstFailedStep(m_numberSteps.data(), m_numberSteps.size());
    return false;
}

bool CForm::GetExecErrorCall(CString& name, int& position) const
{
    if (m_execError == 0 || m_failedCall >= m_callSites.size()) return false;
    name = m_callSites[m_failedCall].word;
    position = m_callSites[m_failedCall].column + 1;
    return true;
}

unsigned short CForm::GetKvsType(CKvsType* value)
{
    if (value == nullptr) return 0;
    const std::type_info& type = typeid(*value);
    if (type == typeid(CKvsDouble)) return 103;
    if (type == typeid(CKvsInt)) return 101;
    if (type == typeid(CKvsName)) return 501;
    return 0;
}

// Lists

var_lnk* CForm::NewOwnedNode(std::unique_ptr<CKvsType> value)
{
    // Room first, so that nothing is half taken over when memory runs out.
    m_ownedValues.reserve(m_ownedValues.size() + 1);
    var_lnk& node = m_owned.emplace_back();
    if (m_owned.size() > 1) m_owned[m_owned.size() - 2].next = &node;
    node.value = value.get();
    m_ownedValues.push_back(std::move(value));
    return &node;
}

void CForm::AddVar(var_lnk*& target)
{
    if (target != nullptr) return;
    var_lnk& node = m_owned.emplace_back();
    if (m_owned.size() > 1) m_owned[m_owned.size() - 2].next = &node;
    target = &node;
}

void CForm::AddExtVar(var_lnk*& slot)
{
    if (slot != nullptr) return; // a slot's node is reused
    var_lnk& node = m_bindings.emplace_back();
    if (m_bindings.size() > 1) m_bindings[m_bindings.size() - 2].next = &node;
    slot = &node;
}

void CForm::AddProc(const char* name, const char* word, int column, var_lnk*& target, var_lnk* a1, var_lnk* a2,
                    var_lnk* a3, var_lnk* a4, var_lnk* a5)
{
    if (m_parseError != 0) return;
    target = nullptr;
    try {
        m_ownedValues.reserve(m_ownedValues.size() + 1);
        m_calls.reserve(m_calls.size() + 1);
        m_callSites.reserve(m_callSites.size() + 1);
        AddVar(target);
        auto call = std::make_unique<Ccalc>(name, target, a1, a2, a3, a4, a5);
        if (target->value != nullptr) m_ownedValues.emplace_back(target->value); // reserved: cannot throw
        m_parseError = call->GetError();
        m_calls.push_back(std::move(call)); // reserved: cannot throw
        m_callSites.push_back(CallSite{word, column});
    } catch (const std::bad_alloc&) {
        m_parseError = ErrNoMemory;
    }
}

void CForm::FreeList()
{
    m_numberSteps.clear();
    m_calls.clear();
    m_callSites.clear();
    m_execError = 0;
    m_owned.clear();
    m_ownedValues.clear();
}

// Scanner

bool CForm::IsOperator(char c)
{
    return std::find(std::begin(kOperators), std::end(kOperators), c) != std::end(kOperators);
}

const CForm::func_struct* CForm::FindFunction(const char* keyword) const
{
    for (const func_struct& f : m_functions)
        if (f.keyword != nullptr && std::strcmp(f.keyword, keyword) == 0) return &f;
    return nullptr;
}

int CForm::IsFunction(const char* word) const
{
    return FindFunction(word) != nullptr ? 1 : 0;
}

void CForm::SetError(int code)
{
    if (m_parseError == 0) m_parseError = code;
}

void CForm::SetToken(const char* text, int length)
{
    // The token holds at most kTokenSize - 1 characters; longer tokens are cut.
    const int n = std::clamp(length, 0, kTokenSize - 1);
    if (n > 0) std::memcpy(m_token, text, static_cast<size_t>(n));
    m_token[n] = '\0';
    m_tokenLength = n;
}

CForm::item CForm::GetNextItem()
{
    if (m_parseError != 0) return ItemError;
    while (m_position < m_length && m_text[m_position] == ' ') ++m_position;

    const int start = m_position;
    m_errorPosition = start;
    if (m_position >= m_length) {
        SetToken("", 0);
        return ItemEnd;
    }

    const char c = m_text[m_position];
    if (IsOperator(c)) {
        SetToken(&m_text[m_position++], 1);
        return ItemOperator;
    }
    if (c == ',') {
        SetToken(&m_text[m_position++], 1);
        return ItemComma;
    }
    if (c == '"') {
        int end = start + 1;
        while (end < m_length && m_text[end] != '"') ++end;
        const CString text = StrHandleEscape(CString(&m_text[start + 1], end - start - 1));
        SetToken(text.GetString(), text.GetLength());
        m_errorPosition = end; // the closing quote (or the end of the text)
        m_position = std::min(end + 1, m_length);
        return ItemString;
    }
    if (IsDigit(c)) {
        int end = start;
        while (end < m_length && IsDigit(m_text[end])) ++end;
        if (end < m_length && m_text[end] == '.') {
            ++end;
            while (end < m_length && IsDigit(m_text[end])) ++end;
        }
        if (end < m_length && (m_text[end] == 'E' || m_text[end] == 'e')) {
            ++end;
            while (end < m_length && IsDigit(m_text[end])) ++end;
        }
        SetToken(&m_text[start], end - start);
        m_position = end;
        return ItemNumber;
    }
    if (IsLetter(c)) {
        int end = start + 1;
        while (end < m_length && (IsLetter(m_text[end]) || IsDigit(m_text[end]))) ++end;
        SetToken(&m_text[start], end - start);
        m_position = end;
        if (IsFunction(m_token)) return ItemFunction;
        for (const Prefix& p : kPrefixes) {
            if (std::strncmp(m_token, p.text, static_cast<size_t>(p.length)) == 0) {
                m_position = start + p.length;
                m_token[p.length] = '\0';
                m_tokenLength = p.length;
                return p.kind;
            }
        }
        SetError(ErrUnknownFunction);
        return ItemError;
    }
    SetToken(&m_text[start], 1);
    SetError(ErrUnknownOperator);
    return ItemError;
}

// Parser

bool CForm::SetFormula(CString text)
{
    m_formula = text;
    m_parsed = true;

    // A ";" outside string constants (an even number of quotes before the last one) and
    // "//" anywhere start a comment; trailing white space goes, leading spaces stay so that
    // error columns are those of the caller's text.
    CString work = text;
    const int semicolon = work.ReverseFind(';');
    if (semicolon >= 0) {
        int quotes = 0;
        for (int i = 0; i < semicolon; ++i)
            if (work[i] == '"') ++quotes;
        if (quotes % 2 == 0) work = work.Left(semicolon);
    }
    const int comment = work.Find("//");
    if (comment >= 0) work = work.Left(comment);
    work.TrimRight();

    m_text = work.GetString();
    m_position = 0;
    m_errorPosition = 0;
    m_parseError = 0;
    m_execError = 0;
    m_depth = 0;
    m_length = work.GetLength();
    FreeList();
    m_root = nullptr;

    m_item = GetNextItem();
    CalcSequence(m_root);

    m_text = nullptr;
    if (m_parseError == 0) BuildNumberSteps();
    return m_parseError == 0;
}

void CForm::BuildNumberSteps()
{
    try {
        std::vector<Ccalc::NumberStep> steps(m_calls.size());
        for (size_t i = 0; i < m_calls.size(); ++i)
            if (!m_calls[i]->GetNumberStep(steps[i])) return;
        m_numberSteps = std::move(steps);
    } catch (const std::bad_alloc&) {
        // The calls run one by one instead.
    }
}

void CForm::CalcSequence(var_lnk*& target)
{
    if (m_parseError != 0) return;
    DepthGuard guard(m_depth);
    if (m_depth > kMaxDepth) {
        SetError(ErrTooDeep);
        return;
    }
    var_lnk* left = nullptr;
    CalcBin(left);
    while (m_parseError == 0 && (TokenIs('+') || TokenIs('-'))) {
        const char* name = TokenIs('+') ? "+" : "-";
        const int column = m_errorPosition;
        m_item = GetNextItem();
        var_lnk* right = nullptr;
        CalcBin(right);
        if (m_parseError != 0) return;
        var_lnk* result = nullptr;
        AddProc(name, name, column, result, left, right, nullptr, nullptr, nullptr);
        left = result;
    }
    target = left;
}

void CForm::CalcBin(var_lnk*& target)
{
    if (m_parseError != 0) return;
    var_lnk* left = nullptr;
    CalcUn(left);
    while (m_parseError == 0 && (TokenIs('*') || TokenIs('/'))) {
        const char* name = TokenIs('*') ? "*" : "/";
        const int column = m_errorPosition;
        m_item = GetNextItem();
        var_lnk* right = nullptr;
        CalcUn(right);
        if (m_parseError != 0) return;
        var_lnk* result = nullptr;
        AddProc(name, name, column, result, left, right, nullptr, nullptr, nullptr);
        left = result;
    }
    target = left;
}

void CForm::CalcUn(var_lnk*& target)
{
    if (m_parseError != 0) return;
    DepthGuard guard(m_depth);
    if (m_depth > kMaxDepth) {
        SetError(ErrTooDeep);
        return;
    }
    var_lnk* base = nullptr;
    GetOperator(base);
    if (m_parseError == 0 && TokenIs('^')) {
        const int column = m_errorPosition;
        m_item = GetNextItem();
        var_lnk* exponent = nullptr;
        CalcUn(exponent);
        if (m_parseError != 0) return;
        var_lnk* result = nullptr;
        AddProc("^", "^", column, result, base, exponent, nullptr, nullptr, nullptr);
        base = result;
    }
    target = base;
}

void CForm::GetOperator(var_lnk*& target)
{
    if (m_parseError != 0) return;
    const bool negate = TokenIs('-');
    const int column = m_errorPosition;
    if (negate) m_item = GetNextItem();
    var_lnk* operand = nullptr;
    if (m_item == ItemFunction)
        CalcFunc(operand);
    else
        GetOperand(operand);
    if (m_parseError != 0) return;
    if (negate) {
        var_lnk* result = nullptr;
        AddProc("-", "-", column, result, operand, nullptr, nullptr, nullptr, nullptr);
        operand = result;
    }
    target = operand;
}

void CForm::GetOperand(var_lnk*& target)
{
    if (m_parseError != 0) return;
    if (!TokenIs('(')) {
        CalcNumVar(target);
        return;
    }
    m_item = GetNextItem();
    CalcSequence(target);
    if (m_parseError != 0) return;
    if (!TokenIs(')')) {
        SetError(ErrMissingBracket);
        return;
    }
    m_item = GetNextItem();
}

void CForm::CalcFunc(var_lnk*& target)
{
    if (m_parseError != 0) return;
    DepthGuard guard(m_depth);
    if (m_depth > kMaxDepth) {
        SetError(ErrTooDeep);
        return;
    }
    const func_struct* function = FindFunction(m_token);
    const int column = m_errorPosition;
    m_item = GetNextItem();
    if (function == nullptr) {
        SetError(ErrUnknownFunction);
        return;
    }
    var_lnk* args[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    GetOperands(function->nargs, args);
    if (m_parseError != 0) return;
    AddProc(function->name, function->keyword, column, target, args[0], args[1], args[2], args[3], args[4]);
}

void CForm::GetOperands(int nargs, var_lnk* (&args)[5])
{
    const int wanted = std::min(nargs, 5);
    int stored = 0;
    if (nargs > 0) {
        if (TokenIs('(')) {
            for (;;) {
                m_item = GetNextItem();
                if (m_item == ItemEnd) {
                    SetError(ErrUnexpectedEnd);
                    return;
                }
                var_lnk* arg = nullptr;
                CalcSequence(arg);
                if (m_parseError != 0) return;
                if (stored < wanted) args[stored++] = arg; // surplus arguments are bound, then ignored
                if (TokenIs(')')) break;
                if (m_item != ItemComma && m_item != ItemString) {
                    SetError(ErrExpectedComma);
                    return;
                }
            }
        }
        m_item = GetNextItem(); // the token after ")", or the one skipped without brackets
    } else {
        m_item = GetNextItem(); // the two tokens after the keyword: "(" and ")"
        m_item = GetNextItem();
    }
    if (m_parseError != 0) return;
    if (stored < wanted) {
        // One missing argument defaults to 0.0; binding reports any further one.
        try {
            args[stored] = NewOwnedNode(std::make_unique<CKvsDouble>(0.0));
        } catch (const std::bad_alloc&) {
            SetError(ErrNoMemory);
        }
    }
}

void CForm::CalcNumVar(var_lnk*& target)
{
    if (m_parseError != 0) return;
    target = nullptr;
    try {
        switch (m_item) {
        case ItemNumber: target = NewOwnedNode(std::make_unique<CKvsDouble>(std::atof(m_token))); break;
        case ItemString: target = NewOwnedNode(std::make_unique<CKvsName>(CString(m_token, m_tokenLength))); break;
        case ItemVesselName: target = NewOwnedNode(std::make_unique<CKvsName>(m_vesselName)); break;
        case ItemVar:
        case ItemTim:
        case ItemDataElem: {
            const item kind = m_item;
            m_item = GetNextItem();
            if (m_parseError != 0) return;
            // A keyword without an index number is reported like an index out of range.
            if (m_item != ItemNumber) {
                SetError(ErrVariableIndex);
                return;
            }
            const long index = std::strtol(m_token, nullptr, 10);
            if (index < 0 || index >= kSlots) {
                SetError(ErrVariableIndex);
                return;
            }
            var_lnk* const* slots = kind == ItemVar ? m_varSlots : kind == ItemTim ? m_timSlots : m_elemSlots;
            if (kind == ItemVar) m_varUsed[index] = 1;
            if (slots[index] == nullptr || slots[index]->value == nullptr) {
                SetError(ErrUnassignedVariable);
                return;
            }
            target = slots[index];
            break;
        }
        default: SetError(ErrExpectedOperand); return;
        }
    } catch (const std::bad_alloc&) {
        SetError(ErrNoMemory);
        return;
    }
    m_item = GetNextItem();
}
