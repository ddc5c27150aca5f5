#include <KvsDataBlocks/platform/TextUtils.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

CString FormatDouble(double value, int decimals)
{
    if (std::isnan(value)) return CString("nan");
    if (std::isinf(value)) return CString(value < 0 ? "-inf" : "inf");
    decimals = std::clamp(decimals, 0, 20);
    char buf[400];
    const int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string s(buf, n > 0 ? static_cast<size_t>(std::min<int>(n, sizeof buf - 1)) : 0);
    if (!s.empty() && s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos) s.erase(0, 1);
    return CString(std::move(s));
}

int GetDoublePrecision(double value)
{
    if (!std::isfinite(value)) return 0;
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (res.ec != std::errc()) return 0;
    const std::string_view s(buf, static_cast<size_t>(res.ptr - buf));
    const size_t dot = s.find('.');
    return dot == std::string_view::npos ? 0 : static_cast<int>(s.size() - dot - 1);
}

CString TimeSpanToString(double seconds, bool withMs)
{
    if (!std::isfinite(seconds)) return CString();
    const bool negative = seconds < 0;
    // Work in whole milliseconds or whole seconds, rounded half away from zero.
    const double unit = withMs ? 1000.0 : 1.0;
    const double total = std::round(std::fabs(seconds) * unit);
    if (total > 9.0e15) return CString();
    auto t = static_cast<long long>(total);
    long long ms = 0;
    if (withMs) {
        ms = t % 1000;
        t /= 1000;
    }
    const long long days = t / 86400;
    const long long h = t / 3600 % 24, m = t / 60 % 60, s = t % 60;
    CString out(negative && (t > 0 || ms > 0) ? "-" : "");
    if (days > 0) out.AppendFormat("%lld d ", days);
    out.AppendFormat("%02lld:%02lld:%02lld", h, m, s);
    if (withMs) out.AppendFormat(".%03lld", ms);
    return out;
}

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The simple one-character escapes and what they stand for.
constexpr struct
{
    char code;
    char value;
} kEscapes[] = {{'n', '\n'}, {'r', '\r'}, {'t', '\t'}, {'0', '\0'}, {'a', '\a'}, {'b', '\b'},
                {'f', '\f'}, {'v', '\v'}, {'\\', '\\'}, {'"', '"'}, {'\'', '\''}};

} // namespace

CString StrHandleEscape(const CString& text)
{
    const std::string& in = text.str();
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != '\\' || i + 1 >= in.size()) {
            out += c;
            continue;
        }
        const char code = in[i + 1];
        if (code == 'x' || code == 'X') {
            int value = 0, digits = 0;
            while (digits < 2 && i + 2 + digits < in.size()) {
                const int d = HexDigit(in[i + 2 + digits]);
                if (d < 0) break;
                value = value * 16 + d;
                ++digits;
            }
            if (digits == 0) {
                out += c;
                continue;
            }
            out += static_cast<char>(value);
            i += 1 + digits;
            continue;
        }
        bool known = false;
        for (const auto& e : kEscapes) {
            if (e.code == code) {
                out += e.value;
                known = true;
                break;
            }
        }
        if (known) ++i;
        else out += c;
    }
    return CString(std::move(out));
}

void CStringAppend(CString& text, CString tail)
{
    text += tail;
}

bool ParseFiniteDouble(std::string_view text, double& value)
{
    const std::string s(text); // strtod needs the terminating NUL
    if (s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) return false; // strtod would skip it
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || end != s.c_str() + s.size() || errno == ERANGE || !std::isfinite(v)) return false;
    value = v;
    return true;
}

std::string_view SkipByteOrderMark(std::string_view text)
{
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    if (text.substr(0, kMark.size()) == kMark) text.remove_prefix(kMark.size());
    return text;
}

bool NextTextLine(std::string_view& rest, std::string_view& line)
{
    if (rest.empty()) return false;
    const size_t end = rest.find('\n');
    line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
}

size_t EditDistanceNoCase(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    // One row of the distance table at a time: row[j] is the distance of a's first i
    // characters to b's first j.
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const size_t substitute = diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitute});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error, size_t limit)
{
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error = path + ": is a folder, not a file";
        return false;
    }
    if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= limit) text.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = path + ": cannot read: " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        if (text.size() + static_cast<size_t>(n) > limit) {
            ::close(fd);
            text.clear();
            text.shrink_to_fit();
            const std::string most = limit % (size_t{1} << 20) == 0 ? std::to_string(limit >> 20) + " MiB"
                                                                     : std::to_string(limit) + " bytes";
            error = path + ": larger than " + most + ", the most a text file may hold" +
                    (S_ISREG(st.st_mode) ? "" : " (it is a device or pipe that does not end)");
            return false;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}
