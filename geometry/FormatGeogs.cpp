#include <KvsDataBlocks/geometry/FormatGeogs.h>

#include <cmath>
#include <cstdint>

namespace {

// Parts of the value's smallest unit per degree: 1 (degrees), 60 (minutes), 3600 (seconds).
constexpr int64_t kUnitsPerDegree[] = {1, 60, 3600, 3600};
constexpr int64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

} // namespace

bool FormatGeogs(double value, unsigned int flags, int decimals, int format, CString& text, bool hemisphere,
                 bool padDegrees)
{
    if (!std::isfinite(value) || std::fabs(value) > 1.0e6) {
        text = "---";
        return false;
    }
    const unsigned int form = flags & GEOG_FMT_MASK;
    const int places = decimals < 0 ? 0 : (decimals > 9 ? 9 : decimals);
    const int64_t scale = kPow10[places];
    const int64_t perDegree = kUnitsPerDegree[form] * scale;

    // Round once, in the smallest printed unit, so that carries reach every part.
    const int64_t total = static_cast<int64_t>(std::llround(std::fabs(value) * static_cast<double>(perDegree)));
    const bool negative = value < 0.0 && total != 0;
    const bool longitude = format == GEOG_FORMAT_LONGITUDE;
    const int64_t degrees = total / perDegree;
    const int64_t rest = total % perDegree;

    CString number;
    const int degreeWidth = padDegrees ? (longitude ? 3 : 2) : 1;
    if (form == GEOG_FMT_DEGREES) {
        number.Format("%0*lld", degreeWidth, static_cast<long long>(degrees));
        if (places > 0) number.AppendFormat(".%0*lld", places, static_cast<long long>(rest));
    } else {
        const int64_t minuteUnits = form == GEOG_FMT_DM ? scale : 60 * scale;
        const int64_t minutes = rest / minuteUnits;
        const int64_t minuteRest = rest % minuteUnits;
        number.Format("%0*lld %02lld", degreeWidth, static_cast<long long>(degrees), static_cast<long long>(minutes));
        const int64_t lastWhole = form == GEOG_FMT_DM ? minuteRest : minuteRest / scale;
        const int64_t lastFraction = minuteRest % scale;
        if (form == GEOG_FMT_DM) {
            if (places > 0) number.AppendFormat(".%0*lld", places, static_cast<long long>(lastWhole));
        } else {
            number.AppendFormat(" %02lld", static_cast<long long>(lastWhole));
            if (places > 0) number.AppendFormat(".%0*lld", places, static_cast<long long>(lastFraction));
        }
    }

    if (!hemisphere) {
        text = negative ? "-" + number : number;
        return true;
    }
    const char letter = longitude ? (negative ? 'W' : 'E') : (negative ? 'S' : 'N');
    if (flags & GEOG_FMT_HEMI_FIRST)
        text = CString(letter) + " " + number;
    else
        text = number + " " + letter;
    return true;
}
