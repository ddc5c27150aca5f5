#include <KvsDataBlocks/platform/Runtime.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
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

CString kvs_fcvt(double value, int count, int& decimalPos, int& isNegative)
{
    // glibc's re-entrant fcvt_r has the classic _fcvt digit semantics.
    char buf[400];
    decimalPos = 0;
    isNegative = 0;
    if (!std::isfinite(value)) return CString();
    if (count < 0) count = 0;
    if (count > 60) count = 60;
    if (fcvt_r(value, count, &decimalPos, &isNegative, buf, sizeof buf) != 0) return CString();
    return CString(buf);
}
