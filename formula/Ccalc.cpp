#include <KvsDataBlocks/formula/Ccalc.h>

#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsDouble2D.h>
#include <KvsDataBlocks/values/CKvsDouble3D.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>
#include <KvsDataBlocks/platform/CKvsString.h>

#include <cmath>
#include <cstring>
#include <new>
#include <typeinfo>

namespace {

// What a call creates as its result value.
enum class ResultKind : unsigned char
{
    None,       // no result (the call cannot run)
    CopyOfA1,   // a1's MakeCopy: a1's class and value
    Double,     // CKvsDouble 0.0
    Name,       // empty CKvsName
    Double2D,   // CKvsDouble2D (0, 0)
    Double3D,   // CKvsDouble3D (0, 0, 0)
    VectorOfA1, // a zero vector of a1's class (2-D or 3-D)
};

// Exact run-time class tests (a derived class does not match).
template <typename T>
bool Is(const CKvsType& value)
{
    return typeid(value) == typeid(T);
}

bool IsVector(const CKvsType& value)
{
    return Is<CKvsDouble2D>(value) || Is<CKvsDouble3D>(value);
}

// Whether args[index] keeps the class rule written as one character:
//   'D' CKvsDouble, 'I' CKvsInt, 'N' CKvsName, 'E' CKvsBytePtr (a data element),
//   'V' CKvsDouble2D or CKvsDouble3D, '*' any class,
//   '0' .. '4' the same class as that argument (when it is given).
bool KeepsRule(char rule, CKvsType* const (&args)[5], int index)
{
    const CKvsType& value = *args[index];
    switch (rule) {
    case 'D': return Is<CKvsDouble>(value);
    case 'I': return Is<CKvsInt>(value);
    case 'N': return Is<CKvsName>(value);
    case 'E': return Is<CKvsBytePtr>(value);
    case 'V': return IsVector(value);
    case '*': return true;
    default: break;
    }
    const int other = rule - '0';
    if (other < 0 || other >= 5 || args[other] == nullptr) return true;
    return typeid(value) == typeid(*args[other]);
}

// Whether the result and every given argument are exactly CKvsDouble.
bool AllNumbers(const CKvsType* result, CKvsType* const (&args)[5])
{
    if (result == nullptr || !Is<CKvsDouble>(*result)) return false;
    for (const CKvsType* a : args)
        if (a != nullptr && !Is<CKvsDouble>(*a)) return false;
    return true;
}

CKvsType* CreateResult(ResultKind kind, const CKvsType* a1)
{
    switch (kind) {
    case ResultKind::None: return nullptr;
    case ResultKind::CopyOfA1:
        // A data element view shares its block's bytes: a copy would write into the
        // block. Such operands have no independent copy and are refused.
        if (a1 == nullptr || Is<CKvsBytePtr>(*a1)) return nullptr;
        return a1->MakeCopy();
    case ResultKind::Double: return new CKvsDouble(0.0);
    case ResultKind::Name: return new CKvsName();
    case ResultKind::Double2D: return new CKvsDouble2D(0.0, 0.0);
    case ResultKind::Double3D: return new CKvsDouble3D(0.0, 0.0, 0.0);
    case ResultKind::VectorOfA1:
        if (a1 != nullptr && Is<CKvsDouble3D>(*a1)) return new CKvsDouble3D(0.0, 0.0, 0.0);
        return new CKvsDouble2D(0.0, 0.0);
    }
    return nullptr;
}

} // namespace

// One catalogue row. args holds one class rule per argument (see KeepsRule); the first
// `required` arguments must be given, the others are checked only when given.
struct Ccalc::Row
{
    const char* name;
    bool byFirstChar; // operators match by the name's first character
    const char* args;
    int required;
    ResultKind result;
    Function function;
    Function function3d;   // chosen instead when a1 is a CKvsDouble3D
    bool targetCoordSys;   // "XTLXYVAL": a5 names a target coordinate system
    Function numbers = nullptr; // chosen instead when the result and all arguments are CKvsDouble
};

// The vocabulary of the formula language, in the order of comparison.
const Ccalc::Row Ccalc::s_catalogue[] = {
    {"+", true, "*0", 2, ResultKind::CopyOfA1, &Ccalc::Add, nullptr, false, &Ccalc::AddNumbers},
    {"-", true, "*0", 1, ResultKind::CopyOfA1, &Ccalc::Sub, nullptr, false, &Ccalc::SubNumbers},
    {"*", true, "*0", 2, ResultKind::CopyOfA1, &Ccalc::Mul1d, nullptr, false, &Ccalc::MulNumbers},
    {"/", true, "*0", 2, ResultKind::CopyOfA1, &Ccalc::Div1d, nullptr, false, &Ccalc::DivNumbers},
    {"^", true, "*0", 2, ResultKind::CopyOfA1, &Ccalc::Pow1d, nullptr, false, &Ccalc::PowNumbers},
    {"SQRT", false, "D", 1, ResultKind::CopyOfA1, &Ccalc::Sqrt1d, nullptr, false, &Ccalc::SqrtNumber},
    {"LOG10", false, "D", 1, ResultKind::CopyOfA1, &Ccalc::Log101d, nullptr, false},
    {"RECT2POL", false, "V", 1, ResultKind::VectorOfA1, &Ccalc::RectToPol2d, &Ccalc::RectToPol3d, false},
    {"POL2RECT", false, "V", 1, ResultKind::VectorOfA1, &Ccalc::PolToRect2d, &Ccalc::PolToRect3d, false},
    {"GSTR", false, "ND1", 3, ResultKind::CopyOfA1, &Ccalc::StringSearch, nullptr, false},
    {"XTLWGS", false, "D00N", 4, ResultKind::Name, &Ccalc::XYTLLWGSString, nullptr, false},
    {"XTLWGSVAL", false, "D00N", 4, ResultKind::Double, &Ccalc::XYTLLWGSValue, nullptr, false},
    {"XYTLL", false, "D00N", 4, ResultKind::Name, &Ccalc::XYTLLString, nullptr, false},
    {"XTLXYVAL", false, "D00N3", 5, ResultKind::Double, &Ccalc::XYTXYValue, nullptr, true},
    {"NMEAPOS", false, "D0N", 3, ResultKind::Name, &Ccalc::FormatNMEAPosStr, nullptr, false},
    {"FtoS", false, "DD", 2, ResultKind::Name, &Ccalc::FloatToString, nullptr, false},
    {"ItoS", false, "I", 1, ResultKind::Name, &Ccalc::IntToString, nullptr, false},
    {"LeadZero", false, "ND", 2, ResultKind::Name, &Ccalc::LeadZero, nullptr, false},
    {"FixedLength", false, "ND", 2, ResultKind::Name, &Ccalc::FixedLength, nullptr, false},
    {"P3S", false, "NN0", 3, ResultKind::Name, &Ccalc::PackString, nullptr, false},
    {"Clip", false, "DD0", 3, ResultKind::CopyOfA1, &Ccalc::Clip, nullptr, false},
    {"ChkSum", false, "N", 1, ResultKind::Name, &Ccalc::CreateChkSum, nullptr, false},
    {"NMEACS", false, "N", 1, ResultKind::Name, &Ccalc::NMEAChkSum, nullptr, false},
    {"MARSCS", false, "N", 1, ResultKind::Name, &Ccalc::MARSChkSum, nullptr, false},
    {"TIMESTR", false, "D", 1, ResultKind::Name, &Ccalc::TimeToString, nullptr, false},
    {"StrSign", false, "N", 1, ResultKind::Name, &Ccalc::StrSign, nullptr, false},
    {"CHR", false, "D", 1, ResultKind::Name, &Ccalc::CHR, nullptr, false},
    {"FINDDEL", false, "ND0", 3, ResultKind::CopyOfA1, &Ccalc::FindDelimiter, nullptr, false},
    {"NPC", false, "NN", 2, ResultKind::Double, &Ccalc::NMEAPosConv, nullptr, false},
    {"MAP", false, "NN0", 3, ResultKind::CopyOfA1, &Ccalc::MapStr, nullptr, false},
    {"VALUE", false, "N", 1, ResultKind::Double, &Ccalc::Value, nullptr, false},
    {"POSSEC", false, "N", 1, ResultKind::CopyOfA1, &Ccalc::PosSeconds, nullptr, false},
    {"TIME", false, "N", 1, ResultKind::Double, &Ccalc::TimeConversion, nullptr, false},
    {"INV", false, "N", 1, ResultKind::Double, &Ccalc::InverseValue, nullptr, false},
    {"C2D", false, "*0", 2, ResultKind::Double2D, &Ccalc::SetVec2dRect, nullptr, false},
    {"C3D", false, "*00", 3, ResultKind::Double3D, &Ccalc::SetVec3dRect, nullptr, false},
    {"KVS_VEC3D_RECT", false, "*00", 3, ResultKind::Double3D, &Ccalc::SetVec3dRect, nullptr, false},
    {"KVS_VEC2D_POL", false, "*0", 2, ResultKind::Double2D, &Ccalc::SetVec2dPol, nullptr, false},
    {"KVS_VEC3D_POL", false, "*00", 3, ResultKind::Double3D, &Ccalc::SetVec3dPol, nullptr, false},
    {"KVS_ATTITUDE", false, "*00", 3, ResultKind::Double3D, &Ccalc::SetAttitude, nullptr, false},
    {"ATT_COR", false, "**", 2, ResultKind::None, nullptr, nullptr, false},
    {"Int", false, "D", 1, ResultKind::CopyOfA1, &Ccalc::Int, nullptr, false},
    {"ValToStr", false, "D", 1, ResultKind::Name, &Ccalc::ValToStr, nullptr, false},
    {"ValToMyStr", false, "DD", 2, ResultKind::Name, &Ccalc::ValToMyStr, nullptr, false},
    {"ElemToDouble", false, "E", 1, ResultKind::Double, &Ccalc::ElemToDouble, nullptr, false},
    {"IsNull", false, "D", 1, ResultKind::Double, &Ccalc::IsNull, nullptr, false},
    {"ElemStatusToDouble", false, "E", 1, ResultKind::Double, &Ccalc::ElemStatusToDouble, nullptr, false},
    {"Sign", false, "D", 1, ResultKind::Double, &Ccalc::Sign, nullptr, false},
    {"ExpandTime", false, "D", 1, ResultKind::Double, &Ccalc::ExpandTime, nullptr, false},
    {"HmsToMsec", false, "D", 1, ResultKind::Double, &Ccalc::HmsToMsec, nullptr, false},
    {"JulianDay", false, "D", 1, ResultKind::Double, &Ccalc::JulianDay, nullptr, false},
    {"UtcToLocal", false, "D", 1, ResultKind::Double, &Ccalc::UtcToLocal, nullptr, false},
    {"LocalToUtc", false, "D", 1, ResultKind::Double, &Ccalc::LocalToUtc, nullptr, false},
    {"YyToCcyy", false, "D", 1, ResultKind::Double, &Ccalc::YyToCcyy, nullptr, false},
    {"CYMDMsecToMsec", false, "D000", 4, ResultKind::Double, &Ccalc::CYMDMsecToMsec, nullptr, false},
    {"CurDateToYYYYMMDD", false, "", 0, ResultKind::Name, &Ccalc::CurDateToYYYYMMDD, nullptr, false},
    {"CurTimeToHHMMSSTTTT", false, "", 0, ResultKind::Name, &Ccalc::CurTimeToHHMMSSTTTT, nullptr, false},
    {"CurrentDate", false, "NN", 2, ResultKind::Name, &Ccalc::CurDateStr, nullptr, false},
    {"CurrentTime", false, "D", 1, ResultKind::Name, &Ccalc::CurTimeStr, nullptr, false},
    {"LocalZoneMin", false, "", 0, ResultKind::Name, &Ccalc::LocalZoneMin, nullptr, false},
    {"LocalZoneHr", false, "", 0, ResultKind::Name, &Ccalc::LocalZoneHr, nullptr, false},
    {"FormatTime", false, "ND", 2, ResultKind::Name, &Ccalc::FormatTime, nullptr, false},
    {"FormatMyTime", false, "DND", 3, ResultKind::Name, &Ccalc::FormatMyTime, nullptr, false},
    {"BinValue", false, "ND", 2, ResultKind::Double, &Ccalc::BinValue, nullptr, false},
    {"OutString", false, "N", 1, ResultKind::Name, &Ccalc::OutString, nullptr, false},
    {"FormatGeogsDMS", false, "D0N", 3, ResultKind::Name, &Ccalc::FormatGeogsDMS, nullptr, false},
    {"SIN", false, "D", 1, ResultKind::CopyOfA1, &Ccalc::Sin, nullptr, false},
    {"COS", false, "D", 1, ResultKind::CopyOfA1, &Ccalc::Cos, nullptr, false},
    {"ASIN", false, "D", 1, ResultKind::CopyOfA1, &Ccalc::Asin, nullptr, false},
    {"ACOS", false, "D", 1, ResultKind::CopyOfA1, &Ccalc::Acos, nullptr, false},
    {"BEARING", false, "DD", 2, ResultKind::Double, &Ccalc::Bearing, nullptr, false},
    {"MODULO", false, "DD", 2, ResultKind::Double, &Ccalc::Modulo, nullptr, false},
};

Ccalc::Ccalc(const char* name, var_lnk* result, var_lnk* a1, var_lnk* a2, var_lnk* a3, var_lnk* a4, var_lnk* a5)
{
    if (result != nullptr) result->value = nullptr;
    CKvsType* const args[5] = {
        a1 ? a1->value : nullptr, a2 ? a2->value : nullptr, a3 ? a3->value : nullptr,
        a4 ? a4->value : nullptr, a5 ? a5->value : nullptr,
    };

    const Row* row = nullptr;
    if (name != nullptr && name[0] != '\0') {
        for (const Row& r : s_catalogue) {
            if (r.byFirstChar ? name[0] == r.name[0] : std::strcmp(name, r.name) == 0) {
                row = &r;
                break;
            }
        }
    }

    if (row == nullptr) {
        m_error = 5;
    } else {
        m_error = 0;
        const int checked = static_cast<int>(std::strlen(row->args));
        for (int i = 0; i < row->required && m_error == 0; ++i)
            if (args[i] == nullptr) m_error = 2;
        for (int i = 0; i < checked && m_error == 0; ++i)
            if (args[i] != nullptr && !KeepsRule(row->args[i], args, i)) m_error = 3;

        try {
            if (m_error == 0 && row->targetCoordSys) {
                CString names;
                args[4]->GetName(names);
                const CKvsString parts(names, ';', true);
                if (parts.Size() < 2) {
                    m_error = 3;
                } else {
                    m_coordSys = CreateTargetCoordSys(parts[0], parts[1]);
                    if (!m_coordSys) m_error = 3;
                }
            }
            if (m_error == 0 && row->result != ResultKind::None) {
                if (result == nullptr) {
                    m_error = 2;
                } else {
                    result->value = CreateResult(row->result, args[0]);
                    if (result->value == nullptr) m_error = 3;
                }
            }
        } catch (const std::bad_alloc&) {
            m_error = 13;
        }

        if (m_error == 0) {
            m_function = (row->function3d != nullptr && Is<CKvsDouble3D>(*args[0])) ? row->function3d : row->function;
            if (row->numbers != nullptr && AllNumbers(result->value, args)) m_function = row->numbers;
        } else {
            m_coordSys.reset();
        }
    }

    m_result = result != nullptr ? result->value : nullptr;
    m_a1 = args[0];
    m_a2 = args[1];
    m_a3 = args[2];
    m_a4 = args[3];
    m_a5 = args[4];
    m_numberResult = m_function != nullptr && dynamic_cast<CKvsDouble*>(m_result) != nullptr;
}

void Ccalc::CheckFiniteResult()
{
    if (std::isfinite(static_cast<const CKvsDouble*>(m_result)->Value())) return;
    for (const CKvsType* a : {m_a1, m_a2, m_a3, m_a4, m_a5}) {
        double v = 0.0;
        if (a != nullptr && a->GetDouble(v) && !std::isfinite(v)) return; // passed on, not made
    }
    Status(0);
}

Ccalc::Ccalc(const Ccalc& other) = default;
Ccalc& Ccalc::operator=(const Ccalc& other) = default;
Ccalc::~Ccalc() = default;

// Arithmetic: the result takes a1, then combines a2 in place (the value family's operators).

namespace {

// The components of a vector value (2 or 3), 0 for any other value.
int VectorComponents(const CKvsType& value, double (&c)[3])
{
    if (value.GetDouble3D(c[0], c[1], c[2])) return 3;
    if (value.GetDouble2D(c[0], c[1])) return 2;
    return 0;
}

double Apply(char op, double a, double b)
{
    switch (op) {
    case '+': return a + b;
    case '-': return a - b;
    case '*': return a * b;
    default: return a / b;
    }
}

} // namespace

// The operators give no status, so the call tells a refused operation from the values: a
// division by zero (of a number or by any component of a vector), an operator other than
// "+" on values that hold neither a number nor a vector (texts only join), and a number
// result that the receiver could not take (an integer out of range): the result must read
// back a1 op a2, truncated toward zero for an integer receiver.
void Ccalc::Combine(char op)
{
    double a = 0.0, b = 0.0;
    double c[3] = {};
    const bool numbers = m_a1->GetDouble(a) != 0 && m_a2->GetDouble(b) != 0;
    if (numbers) {
        if (op == '/' && b == 0.0) return Status(0);
    } else if (const int n = VectorComponents(*m_a2, c); n > 0) {
        if (op == '/')
            for (int i = 0; i < n; ++i)
                if (c[i] == 0.0) return Status(0);
    } else if (op != '+') {
        return Status(0);
    }
    m_result->operator=(*m_a1);
    switch (op) {
    case '+': m_result->operator+=(*m_a2); break;
    case '-': m_result->operator-=(*m_a2); break;
    case '*': m_result->operator*=(*m_a2); break;
    default: m_result->operator/=(*m_a2); break;
    }
    double got = 0.0;
    if (numbers && m_result->GetDouble(got)) {
        const double exact = Apply(op, a, b);
        if (!(got == exact || got == std::trunc(exact) || (std::isnan(got) && std::isnan(exact)))) Status(0);
    }
}

void Ccalc::Add() { Combine('+'); }

void Ccalc::Sub()
{
    if (m_a2 == nullptr) return Status(m_result->Neg(*m_a1));
    Combine('-');
}

void Ccalc::Mul1d() { Combine('*'); }
void Ccalc::Div1d() { Combine('/'); }

// Delegations: the value family computes from the arguments into the result and says
// whether it could.

void Ccalc::Pow1d() { Status(m_result->Pow1D(*m_a1, *m_a2)); }
void Ccalc::Sqrt1d() { Status(m_result->Sqr1D(*m_a1)); }
void Ccalc::Log101d() { Status(m_result->Log1D(*m_a1)); }
void Ccalc::Clip() { Status(m_result->ClipValue(*m_a1, *m_a2, *m_a3)); }
void Ccalc::NMEAPosConv() { Status(m_result->NMEAPos(*m_a1, *m_a2)); }
void Ccalc::Value() { Status(m_result->Val(*m_a1)); }
void Ccalc::TimeConversion() { Status(m_result->TimeConv(*m_a1)); }
void Ccalc::InverseValue() { Status(m_result->Inverse(*m_a1)); }
void Ccalc::Int() { Status(m_result->Int(*m_a1)); }
void Ccalc::ValToMyStr() { Status(m_result->ValToMyStr(*m_a1, *m_a2)); }
void Ccalc::IsNull() { Status(m_result->IsNull(*m_a1)); }
void Ccalc::Sign() { Status(m_result->Sign(*m_a1)); }
void Ccalc::ExpandTime() { Status(m_result->ExpandTime(*m_a1)); }
void Ccalc::HmsToMsec() { Status(m_result->HmsToMsec(*m_a1)); }
void Ccalc::UtcToLocal() { Status(m_result->UtcToLocal(*m_a1)); }
void Ccalc::LocalToUtc() { Status(m_result->LocalToUtc(*m_a1)); }
void Ccalc::YyToCcyy() { Status(m_result->YyToCcyy(*m_a1)); }
void Ccalc::CYMDMsecToMsec() { Status(m_result->CYMDMsecToMsec(*m_a1, *m_a2, *m_a3, *m_a4)); }
void Ccalc::BinValue() { Status(m_result->BinVal(*m_a1, *m_a2)); }
void Ccalc::OutString() { Status(m_result->OutString(*m_a1)); }
void Ccalc::FormatGeogsDMS() { Status(m_result->FormatGeogsDMS(*m_a1, *m_a2, *m_a3)); }
void Ccalc::Sin() { Status(m_result->Sin(*m_a1)); }
void Ccalc::Cos() { Status(m_result->Cos(*m_a1)); }
void Ccalc::Asin() { Status(m_result->Asin(*m_a1)); }
void Ccalc::Acos() { Status(m_result->Acos(*m_a1)); }
void Ccalc::Bearing() { Status(m_result->Bearing(*m_a1, *m_a2)); }
void Ccalc::Modulo() { Status(m_result->Modulo(*m_a1, *m_a2)); }

// The same arithmetic on plain numbers (see the CKvsDouble operations), failing where the
// calls above fail.

namespace {

double Number(const CKvsType* value) { return static_cast<const CKvsDouble*>(value)->Value(); }
void SetNumber(CKvsType* value, double number) { static_cast<CKvsDouble*>(value)->SetValue(number); }
double* NumberPtr(CKvsType* value) { return static_cast<CKvsDouble*>(value)->ValuePtr(); }

} // namespace

void Ccalc::AddNumbers() { SetNumber(m_result, Number(m_a1) + Number(m_a2)); }
void Ccalc::SubNumbers() { SetNumber(m_result, m_a2 != nullptr ? Number(m_a1) - Number(m_a2) : -Number(m_a1)); }
void Ccalc::MulNumbers() { SetNumber(m_result, Number(m_a1) * Number(m_a2)); }

void Ccalc::DivNumbers()
{
    const double divisor = Number(m_a2);
    if (divisor == 0.0) return Status(0);
    SetNumber(m_result, Number(m_a1) / divisor);
}

void Ccalc::PowNumbers()
{
    const double base = Number(m_a1), exponent = Number(m_a2);
    const double r = CKvsDouble::Power(base, exponent);
    if (!CKvsDouble::PowerDefined(base, exponent, r)) return Status(0);
    SetNumber(m_result, r);
}

void Ccalc::SqrtNumber()
{
    const double v = Number(m_a1);
    if (v < 0.0) return Status(0);
    SetNumber(m_result, std::sqrt(v));
}

size_t Ccalc::FirstFailedStep(const NumberStep* steps, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (!RunNumberSteps(steps + i, 1)) return i;
    }
    return count;
}

bool Ccalc::GetNumberStep(NumberStep& step) const
{
    NumberStep::Op op;
    if (m_function == &Ccalc::AddNumbers)
        op = NumberStep::Add;
    else if (m_function == &Ccalc::SubNumbers)
        op = m_a2 != nullptr ? NumberStep::Sub : NumberStep::Neg;
    else if (m_function == &Ccalc::MulNumbers)
        op = NumberStep::Mul;
    else if (m_function == &Ccalc::DivNumbers)
        op = NumberStep::Div;
    else if (m_function == &Ccalc::PowNumbers)
        op = NumberStep::Pow;
    else if (m_function == &Ccalc::SqrtNumber)
        op = NumberStep::Sqrt;
    else
        return false;
    step.op = op;
    step.a1 = NumberPtr(m_a1);
    step.a2 = m_a2 != nullptr ? NumberPtr(m_a2) : step.a1;
    step.result = NumberPtr(m_result);
    return true;
}
