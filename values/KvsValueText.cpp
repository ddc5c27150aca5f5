#include <KvsDataBlocks/values/KvsValueText.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace kvs {

namespace {

std::string Trimmed(const CString& text)
{
    const std::string& s = text.str();
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

} // namespace

bool ParseWholeDouble(const CString& text, double& out)
{
    const std::string s = Trimmed(text);
    if (s.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size()) return false;
    out = v;
    return true;
}

bool ParseWholeInt(const CString& text, int& out)
{
    const std::string s = Trimmed(text);
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || end != s.c_str() + s.size() || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

CString ShortestText(double value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    if (res.ec != std::errc()) return CString();
    return CString(buf, static_cast<int>(res.ptr - buf));
}

bool DoubleToInt(double value, int& out)
{
    const double t = std::trunc(value);
    if (!(t >= static_cast<double>(INT_MIN) && t <= static_cast<double>(INT_MAX))) return false;
    out = static_cast<int>(t);
    return true;
}

bool DoubleToUInt(double value, unsigned int& out)
{
    const double t = std::trunc(value);
    if (!(t >= 0.0 && t <= static_cast<double>(UINT_MAX))) return false;
    out = static_cast<unsigned int>(t);
    return true;
}

} // namespace kvs
