#include <KvsDataBlocks/platform/Runtime.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <cstring>

int kvs_gmtime64_s(struct tm* out, const int64_t* time)
{
    if (!out || !time) return EINVAL;
    const time_t t = static_cast<time_t>(*time);
    if (!gmtime_r(&t, out)) {
        std::memset(out, 0, sizeof *out);
        return EINVAL;
    }
    return 0;
}

int kvs_localtime64_s(struct tm* out, const int64_t* time)
{
    if (!out || !time) return EINVAL;
    const time_t t = static_cast<time_t>(*time);
    if (!localtime_r(&t, out)) {
        std::memset(out, 0, sizeof *out);
        return EINVAL;
    }
    return 0;
}

namespace {

// _fcvt digits through printf's exact conversion, for counts beyond fcvt_r's limit of 17
// decimals: leading zeros are dropped and counted in decimalPos, as fcvt_r does.
CString FixedDigits(double value, int count, int& decimalPos)
{
    char buf[400];
    const int n = std::snprintf(buf, sizeof buf, "%.*f", count, std::fabs(value));
    if (n <= 0 || n >= static_cast<int>(sizeof buf)) return CString();
    std::string digits(buf, static_cast<size_t>(n));
    const size_t dot = digits.find('.');
    const int intLen = static_cast<int>(dot == std::string::npos ? digits.size() : dot);
    if (dot != std::string::npos) digits.erase(dot, 1);
    if (value == 0.0) {
        decimalPos = intLen;
        return CString(digits);
    }
    const size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) {
        decimalPos = -count;
        return CString();
    }
    decimalPos = intLen - static_cast<int>(first);
    return CString(digits.substr(first));
}

} // namespace

CString kvs_fcvt(double value, int count, int& decimalPos, int& isNegative)
{
    // glibc's re-entrant fcvt_r has the classic _fcvt digit semantics up to 17 decimals.
    constexpr int kFcvtMaxDecimals = 17;
    char buf[400];
    decimalPos = 0;
    isNegative = 0;
    if (!std::isfinite(value)) return CString();
    if (count < 0) count = 0;
    if (count > 60) count = 60;
    if (count > kFcvtMaxDecimals) {
        isNegative = value < 0.0 ? 1 : 0;
        return FixedDigits(value, count, decimalPos);
    }
    if (fcvt_r(value, count, &decimalPos, &isNegative, buf, sizeof buf) != 0) return CString();
    return CString(buf);
}
