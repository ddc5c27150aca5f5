// Ccalc: one bound call of a formula, an operator or named function applied to up to five
// argument values and writing into one result value. CForm constructs one per operator or
// function application while it parses; the constructor checks the arguments' presence
// and run-time classes against the catalogue, creates the result value and selects the
// implementation, so executing is a single member call. A Ccalc owns only its optional
// target coordinate system; result and arguments belong to the form's nodes.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/formula/VectorRecords.h>
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/platform/CString.h>

#include <cmath>
#include <cstddef>
#include <memory>

class CKvsType;
class KvsGeoCoordSysBase;

// A node of a form's value lists: the next node of its list and a value. Whether the
// value is owned is a matter of the list that holds the node (see CForm).
struct var_lnk
{
    var_lnk* next = nullptr;
    CKvsType* value = nullptr;
};

class KVS_API Ccalc
{
public:
    // Binds the call named name (an internal name of the catalogue, operators by their
    // first character). Any argument node may be null. On failure GetError gives 2
    // (argument missing), 3 (argument of the wrong class) or 5 (unknown name).
    // On success the result node's value is set to a new object that the caller takes
    // over (the form's owned value list); on failure the node's value is null.
    Ccalc(const char* name, var_lnk* result, var_lnk* a1, var_lnk* a2, var_lnk* a3, var_lnk* a4, var_lnk* a5);
    // Copies share the target coordinate system, which is released with the last holder.
    Ccalc(const Ccalc& other);
    Ccalc& operator=(const Ccalc& other);
    virtual ~Ccalc();

    // Code of a call whose value operation failed when it ran (a division by zero, the
    // root of a negative number, an integer result out of range, ...).
    static constexpr int kCalculationFailed = 14;

    // Runs the implementation; 0 when it did its work, kCalculationFailed when the value
    // operation it delegates to refused, 1 ("Empty function pointer") when the call has
    // none. Construction errors are returned unchanged.
    int Execute()
    {
        if (m_function == nullptr) {
            if (m_error == 0) m_error = 1;
            return m_error;
        }
        m_error = 0;
        (this->*m_function)();
        if (m_error == 0 && m_numberResult) CheckFiniteResult();
        return m_error;
    }

    // A call of plain-number arithmetic as one step of a number program: the operation
    // and the addresses of its numbers.
    struct NumberStep
    {
        enum Op : unsigned char { Add, Sub, Neg, Mul, Div, Pow, Sqrt };
        Op op;
        const double* a1;
        const double* a2;
        double* result;
    };
    // Whether this call is plain-number arithmetic (result and arguments CKvsDouble);
    // step then describes it.
    bool GetNumberStep(NumberStep& step) const;
    // Runs the steps in order, computing exactly what executing their calls computes
    // (inline: it is the whole of executing a number formula). False when a step fails as
    // its call fails (a division by zero, the root of a negative number, an undefined
    // power, a result that overflows to infinity or NaN from finite numbers); the steps are then all run all the same, without a branch per step, and
    // FirstFailedStep tells which one failed first.
    static bool RunNumberSteps(const NumberStep* steps, size_t count)
    {
        bool ok = true;
        for (const NumberStep* s = steps; s != steps + count; ++s) {
            const double a = *s->a1;
            const double b = *s->a2;
            double r = 0.0;
            switch (s->op) {
            case NumberStep::Add: r = a + b; break;
            case NumberStep::Sub: r = a - b; break;
            case NumberStep::Neg: r = -a; break;
            case NumberStep::Mul: r = a * b; break;
            case NumberStep::Div:
                ok &= b != 0.0;
                r = a / b;
                break;
            case NumberStep::Pow:
                r = CKvsDouble::Power(a, b);
                ok &= CKvsDouble::PowerDefined(a, b, r);
                break;
            case NumberStep::Sqrt:
                ok &= !(a < 0.0);
                r = std::sqrt(a);
                break;
            }
            *s->result = r;
            ok &= std::isfinite(r) || !std::isfinite(a) || !std::isfinite(b);
        }
        return ok;
    }
    // After RunNumberSteps failed: runs the steps again from the start up to the first
    // that fails and returns its index (count when none does). The bound inputs are the
    // same, so the steps before it compute what they computed.
    static size_t FirstFailedStep(const NumberStep* steps, size_t count);

    int GetError() const { return m_error; }
    CKvsType* GetResult() const { return m_result; }

    // The text followed by "*" and the XOR of its bytes after the first as two upper-case
    // hexadecimal digits.
    static CString CreateNMEACheckSum(CString text);
    // One NMEA position field of value (degrees, or metres for "Alt") with the given
    // decimals for kind "Lat", "Lon", "Alt", "LatS" or "LonS" (any case); other kinds
    // give an empty text, as does a NaN or infinite value for "Lat", "Lon" and "Alt".
    static CString CreateNMEAPosStr(double value, int decimals, CString kind);

private:
    using Function = void (Ccalc::*)();
    struct Row;
    static const Row s_catalogue[];

    // Catalogue implementations: each works on the fields (result, a1 .. a5).
    // Arithmetic and delegations to the value family (Ccalc.cpp); a refused value
    // operation sets the error to kCalculationFailed.
    void Status(int status)
    {
        if (status == 0) m_error = kCalculationFailed;
    }
    void Combine(char op);
    void Add();
    void Sub();
    void Mul1d();
    void Div1d();
    void Pow1d();
    void Sqrt1d();
    void Log101d();
    void Clip();
    void NMEAPosConv();
    void Value();
    void TimeConversion();
    void InverseValue();
    void Int();
    void ValToMyStr();
    void IsNull();
    void Sign();
    void ExpandTime();
    void HmsToMsec();
    void UtcToLocal();
    void LocalToUtc();
    void YyToCcyy();
    void CYMDMsecToMsec();
    void BinValue();
    void OutString();
    void FormatGeogsDMS();
    void Sin();
    void Cos();
    void Asin();
    void Acos();
    void Bearing();
    void Modulo();

    // The arithmetic above for plain numbers: chosen at binding when the result and every
    // argument are exactly CKvsDouble; same results, without the value interface's calls.
    void AddNumbers();
    void SubNumbers();
    void MulNumbers();
    void DivNumbers();
    void PowNumbers();
    void SqrtNumber();

    // Text functions (CcalcStrings.cpp).
    void StringSearch();
    void FloatToString();
    void IntToString();
    void ValToStr();
    void LeadZero();
    void FixedLength();
    void PackString();
    void StrSign();
    void CHR();
    void FindDelimiter();
    void MapStr();
    int GetSubString(CKvsType& text, CKvsType& start, CKvsType& count);
    int StrBuild(CKvsType& value, CKvsType& decimals);
    int StrIntBuild(CKvsType& integer);
    int ValToStr(CKvsType& value);
    int LeadingZero(CKvsType& text, CKvsType& width);
    int FixedLen(CKvsType& text, CKvsType& width);
    int AddString(CKvsType& text1, CKvsType& text2, CKvsType& text3);
    int StringSign(CKvsType& text);
    int EscConv(CKvsType& code);
    int FindDel(CKvsType& delimiters, CKvsType& n, CKvsType& text);
    int Map(CKvsType& keys, CKvsType& values, CKvsType& text);

    // Check characters and NMEA positions (CcalcChecksums.cpp).
    void CreateChkSum();
    void NMEAChkSum();
    void MARSChkSum();
    void FormatNMEAPosStr();
    void PosSeconds();
    int ChkSum(CKvsType& text);
    int NMEACS(CKvsType& text);
    int MARSCS(CKvsType& text);
    int FormatNMEAPosStr(double value, int decimals, CString kind);
    int PosSecConv(CKvsType& text);

    // Time, date and data-element functions (CcalcTime.cpp).
    void TimeToString();
    void ElemToDouble();
    void ElemStatusToDouble();
    void JulianDay();
    void CurDateToYYYYMMDD();
    void CurTimeToHHMMSSTTTT();
    void CurDateStr();
    void CurTimeStr();
    void LocalZoneMin();
    void LocalZoneHr();
    void FormatTime();
    void FormatMyTime();
    int TimeToStr(CKvsType& time);
    int ElemToDouble(CKvsType& element);
    int ElemStatusToDouble(CKvsType& element);
    int JulianDay(CKvsType& time);
    int CurrentTime(CKvsType& digits);
    int CurrentDate(CKvsType& order, CKvsType& separator);
    int FormatTime(CKvsType& format, CKvsType& digits);
    int FormatMyTime(CKvsType& time, CKvsType& format, CKvsType& digits);

    // Coordinate and vector functions (CcalcCoordinates.cpp).
    void RectToPol2d();
    void RectToPol3d();
    void PolToRect2d();
    void PolToRect3d();
    void XYTLLWGSString();
    void XYTLLWGSValue();
    void XYTLLString();
    void XYTXYValue();
    void SetVec2dRect();
    void SetVec3dRect();
    void SetVec2dPol();
    void SetVec3dPol();
    void SetAttitude();
    void Att2d_rect();
    void Att3d_rect();
    void Att2d_pol();
    void Att3d_pol();
    int XYTLLWGSStr(CKvsType& x, CKvsType& y, CKvsType& height, CKvsType& kind);
    int XYTLLWGSVal(CKvsType& x, CKvsType& y, CKvsType& height, CKvsType& kind);
    int XYTLLStr(CKvsType& x, CKvsType& y, CKvsType& height, CKvsType& kind);
    int XYTXYVal(CKvsType& x, CKvsType& y, CKvsType& height, CKvsType& kind);
    void PolToRect2d(vec2d_pol* in, vec2d_rect* out);
    void PolToRect2d(vec3d_pol* in, vec2d_rect* out);
    void RectToPol2d(vec2d_rect* in, vec2d_pol* out);
    void RectToPol2d(vec3d_rect* in, vec2d_pol* out);
    void PolToRect3d(vec2d_pol* in, vec3d_rect* out);
    void PolToRect3d(vec3d_pol* in, vec3d_rect* out);
    void RectToPol3d(vec3d_rect* in, vec3d_pol* out);
    void RectToPol3d(vec2d_rect* in, vec3d_pol* out);
    void AttCorRect3d(vec3d_rect* out, vec3d_rect* in, attitude* att);
    // The target system of "XTLXYVAL" from the two names of its fifth argument; null
    // when no system can be made of them.
    static std::shared_ptr<KvsGeoCoordSysBase> CreateTargetCoordSys(const CString& first, const CString& second);

    Function m_function = nullptr;
    std::shared_ptr<KvsGeoCoordSysBase> m_coordSys; // "XTLXYVAL" only
    CKvsType* m_result = nullptr;
    CKvsType* m_a1 = nullptr;
    CKvsType* m_a2 = nullptr;
    CKvsType* m_a3 = nullptr;
    CKvsType* m_a4 = nullptr;
    CKvsType* m_a5 = nullptr;
    int m_error = 0;
    bool m_numberResult = false; // the result is a CKvsDouble
    // A number result that overflowed to infinity or NaN from finite arguments fails the
    // call, as a division by zero does.
    void CheckFiniteResult();
};
