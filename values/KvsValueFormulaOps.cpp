// The formula operations of the value family (CKvsDouble, CKvsInt, CKvsName and the
// vectors): each reads its arguments through the CKvsType interface, computes, and stores
// into the receiver. Arguments are numbers when they answer GetDouble, GetInt, GetUInt or
// GetBool, or when they are texts that start with a number.
#include <KvsDataBlocks/platform/CExTime.h>
#include <KvsDataBlocks/platform/CalendarText.h>
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsDouble2D.h>
#include <KvsDataBlocks/values/CKvsDouble3D.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>
#include <KvsDataBlocks/geometry/FormatGeogs.h>
#include <KvsDataBlocks/geometry/KvsMath.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr double kMsPerDay = 86400000.0;

bool TextOf(const CKvsType& v, CString& text)
{
    return v.GetName(text) != 0 || v.GetValueStr(text) != 0;
}

// The number at the start of a text (leading blanks allowed); false when there is none.
bool LeadingNumber(const CString& text, double& out)
{
    const char* s = text;
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end == s) return false;
    out = v;
    return true;
}

bool NumberOf(const CKvsType& v, double& out)
{
    double d = 0.0;
    int i = 0;
    unsigned int u = 0;
    bool b = false;
    if (v.GetDouble(d)) {
        out = d;
        return true;
    }
    if (v.GetInt(i)) {
        out = i;
        return true;
    }
    if (v.GetUInt(u)) {
        out = u;
        return true;
    }
    if (v.GetBool(b)) {
        out = b ? 1.0 : 0.0;
        return true;
    }
    CString text;
    return TextOf(v, text) && LeadingNumber(text, out);
}

// hhmmss.sss as a number to milliseconds of the day.
double HmsToMs(double hms)
{
    const double h = std::floor(hms / 10000.0);
    const double m = std::floor((hms - h * 10000.0) / 100.0);
    const double s = hms - h * 10000.0 - m * 100.0;
    return std::round(((h * 60.0 + m) * 60.0 + s) * 1000.0);
}

} // namespace

// ---- CKvsDouble

int CKvsDouble::ClipValue(CKvsType& value, CKvsType& low, CKvsType& high)
{
    double v, lo, hi;
    if (!NumberOf(value, v) || !NumberOf(low, lo) || !NumberOf(high, hi)) return 0;
    if (lo > hi) std::swap(lo, hi);
    m_value = v < lo ? lo : (v > hi ? hi : v);
    return 1;
}

int CKvsDouble::NMEAPos(CKvsType& field, CKvsType& hemisphere)
{
    CString text, hemi;
    double raw;
    if (!TextOf(field, text) || !LeadingNumber(text, raw)) return 0;
    TextOf(hemisphere, hemi);
    const double degrees = std::trunc(raw / 100.0);
    double value = degrees + (raw - degrees * 100.0) / 60.0;
    hemi.Trim();
    if (!hemi.IsEmpty() && (hemi[0] == 'S' || hemi[0] == 's' || hemi[0] == 'W' || hemi[0] == 'w')) value = -value;
    m_value = value;
    return 1;
}

int CKvsDouble::Val(CKvsType& text)
{
    double v;
    if (!NumberOf(text, v)) return 0;
    m_value = v;
    return 1;
}

int CKvsDouble::TimeConv(CKvsType& text)
{
    double hms;
    if (!NumberOf(text, hms) || hms < 0.0) return 0;
    m_value = HmsToMs(hms);
    return 1;
}

int CKvsDouble::Inverse(CKvsType& text)
{
    double v;
    if (!NumberOf(text, v)) return 0;
    m_value = -v;
    return 1;
}

int CKvsDouble::ExpandTime(CKvsType& msOfDay)
{
    double ms;
    if (!NumberOf(msOfDay, ms)) return 0;
    const double now = static_cast<double>(CExTime::GetCurTimeMs());
    m_value = std::floor(now / kMsPerDay) * kMsPerDay + ms;
    return 1;
}

int CKvsDouble::HmsToMsec(CKvsType& hhmmss)
{
    return TimeConv(hhmmss);
}

int CKvsDouble::UtcToLocal(CKvsType& time)
{
    double t;
    if (!NumberOf(time, t)) return 0;
    m_value = t + static_cast<double>(CExTime::GetTimezone());
    return 1;
}

int CKvsDouble::LocalToUtc(CKvsType& time)
{
    double t;
    if (!NumberOf(time, t)) return 0;
    m_value = t - static_cast<double>(CExTime::GetTimezone());
    return 1;
}

int CKvsDouble::YyToCcyy(CKvsType& year)
{
    double y;
    if (!NumberOf(year, y)) return 0;
    if (y >= 0.0 && y < 80.0) y += 2000.0;
    else if (y >= 80.0 && y < 100.0) y += 1900.0;
    m_value = y;
    return 1;
}

int CKvsDouble::CYMDMsecToMsec(CKvsType& year, CKvsType& month, CKvsType& day, CKvsType& msOfDay)
{
    double y, mo, d, ms;
    if (!NumberOf(year, y) || !NumberOf(month, mo) || !NumberOf(day, d) || !NumberOf(msOfDay, ms)) return 0;
    if (y < 1 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31) return 0;
    CalendarTime date;
    date.year = static_cast<int>(y);
    date.month = static_cast<int>(mo);
    date.day = static_cast<int>(d);
    // A day the month does not have (31 April, 29 February of a common year) is refused,
    // not carried into the next month.
    if (!IsCalendarDate(date.year, date.month, date.day)) return 0;
    m_value = static_cast<double>(date.MinuteSince1970()) * 1000.0 + ms;
    return 1;
}

int CKvsDouble::Pow1D(CKvsType& base, CKvsType& exponent)
{
    double b, e;
    if (!NumberOf(base, b) || !NumberOf(exponent, e)) return 0;
    const double r = Power(b, e);
    if (!PowerDefined(b, e, r)) return 0;
    m_value = r;
    return 1;
}

int CKvsDouble::Sqr1D(CKvsType& value)
{
    double v;
    if (!NumberOf(value, v) || v < 0.0) return 0;
    m_value = std::sqrt(v);
    return 1;
}

int CKvsDouble::Log1D(CKvsType& value)
{
    double v;
    if (!NumberOf(value, v) || !(v > 0.0)) return 0;
    m_value = std::log10(v);
    return 1;
}

int CKvsDouble::Neg(CKvsType& value)
{
    double v;
    if (!NumberOf(value, v)) return 0;
    m_value = -v;
    return 1;
}

int CKvsDouble::Int(CKvsType& value)
{
    double v;
    if (!NumberOf(value, v)) return 0;
    m_value = std::trunc(v);
    return 1;
}

int CKvsDouble::IsNull(CKvsType& value)
{
    double v;
    if (!NumberOf(value, v)) return 0;
    m_value = v == 0.0 ? 1.0 : 0.0;
    return 1;
}

int CKvsDouble::Sign(CKvsType& value)
{
    double v;
    if (!NumberOf(value, v)) return 0;
    m_value = v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0);
    return 1;
}

int CKvsDouble::BinVal(CKvsType& text, CKvsType& count)
{
    CString bytes;
    double n;
    if (!TextOf(text, bytes) || !NumberOf(count, n)) return 0;
    const int k = static_cast<int>(n);
    if (k < 1 || k > 8 || k > bytes.GetLength()) return 0;
    uint64_t v = 0;
    for (int i = k - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[i]);
    m_value = static_cast<double>(v);
    return 1;
}

int CKvsDouble::Sin(CKvsType& angle)
{
    double a;
    if (!NumberOf(angle, a)) return 0;
    m_value = std::sin(a * D_TO_R);
    return 1;
}

int CKvsDouble::Cos(CKvsType& angle)
{
    double a;
    if (!NumberOf(angle, a)) return 0;
    m_value = std::cos(a * D_TO_R);
    return 1;
}

int CKvsDouble::Asin(CKvsType& value)
{
    double v;
    if (!NumberOf(value, v) || v < -1.0 || v > 1.0) return 0;
    m_value = std::asin(v) / D_TO_R;
    return 1;
}

int CKvsDouble::Acos(CKvsType& value)
{
    double v;
    if (!NumberOf(value, v) || v < -1.0 || v > 1.0) return 0;
    m_value = std::acos(v) / D_TO_R;
    return 1;
}

int CKvsDouble::Bearing(CKvsType& dx, CKvsType& dy)
{
    double x, y;
    if (!NumberOf(dx, x) || !NumberOf(dy, y)) return 0;
    double b = std::atan2(x, y) / D_TO_R;
    if (b < 0.0) b += 360.0;
    if (b >= 360.0) b -= 360.0;
    m_value = b;
    return 1;
}

int CKvsDouble::Modulo(CKvsType& value, CKvsType& divisor)
{
    double v, d;
    if (!NumberOf(value, v) || !NumberOf(divisor, d) || d == 0.0) return 0;
    double r = std::fmod(v, std::fabs(d));
    if (r < 0.0) r += std::fabs(d);
    m_value = r;
    return 1;
}

// ---- CKvsInt

namespace {

bool StoreInt(int& target, double v)
{
    if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0) return false;
    target = static_cast<int>(std::trunc(v));
    return true;
}

} // namespace

int CKvsInt::ClipValue(CKvsType& value, CKvsType& low, CKvsType& high)
{
    CKvsDouble r(0.0);
    return r.ClipValue(value, low, high) && StoreInt(m_value, r.Value()) ? 1 : 0;
}

int CKvsInt::Pow1D(CKvsType& base, CKvsType& exponent)
{
    CKvsDouble r(0.0);
    return r.Pow1D(base, exponent) && StoreInt(m_value, r.Value()) ? 1 : 0;
}

int CKvsInt::Sqr1D(CKvsType& value)
{
    CKvsDouble r(0.0);
    return r.Sqr1D(value) && StoreInt(m_value, r.Value()) ? 1 : 0;
}

int CKvsInt::Neg(CKvsType& value)
{
    CKvsDouble r(0.0);
    return r.Neg(value) && StoreInt(m_value, r.Value()) ? 1 : 0;
}

int CKvsInt::Int(CKvsType& value)
{
    CKvsDouble r(0.0);
    return r.Int(value) && StoreInt(m_value, r.Value()) ? 1 : 0;
}

int CKvsInt::Modulo(CKvsType& value, CKvsType& divisor)
{
    CKvsDouble r(0.0);
    return r.Modulo(value, divisor) && StoreInt(m_value, r.Value()) ? 1 : 0;
}

// ---- CKvsName

int CKvsName::ValToStr(CKvsType& value)
{
    double v;
    if (!NumberOf(value, v)) return 0;
    m_text.Format("%g", v);
    return 1;
}

int CKvsName::ValToMyStr(CKvsType& value, CKvsType& decimals)
{
    double v, d;
    if (!NumberOf(value, v) || !NumberOf(decimals, d) || d < 0 || d > 15) return 0;
    m_text.Format("%.*f", static_cast<int>(d), v);
    return 1;
}

int CKvsName::OutString(CKvsType& text)
{
    CString t;
    if (!TextOf(text, t)) return 0;
    m_text = StrHandleEscape(t);
    return 1;
}

int CKvsName::FormatGeogsDMS(CKvsType& degrees, CKvsType& decimals, CKvsType& kind)
{
    double v, d;
    CString k;
    if (!NumberOf(degrees, v) || !NumberOf(decimals, d) || !TextOf(kind, k)) return 0;
    const int format = k.CompareNoCase("Lon") == 0 ? 11 : 10;
    CString text;
    if (!FormatGeogs(v, GEOG_FMT_DMS, static_cast<int>(d), format, text, true, true)) return 0;
    m_text = text;
    return 1;
}
