#include <KvsDataBlocks/tide/TideStation.h>
#include <KvsDataBlocks/platform/CalendarText.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <KvsDataBlocks/platform/Runtime.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kNativeMagic = "KVSTIDE 1";

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return std::string();
    const size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

// "Y?M?D H:M:S[.fff] value" with the given date separator; false when malformed or when
// the time does not exist.
bool ParseObservation(const std::string& line, char dateSep, double& time, double& value)
{
    CalendarTime t;
    const size_t used = ReadCalendarTime(line, dateSep, t);
    if (used == 0 || t.year < 1900) return false;
    if (used >= line.size() || !std::isspace(static_cast<unsigned char>(line[used]))) return false;
    if (!ParseFiniteDouble(Trim(line.substr(used)), value)) return false;
    // Whole milliseconds, as FormatTime writes them back.
    const long long ms = static_cast<long long>(t.MinuteSince1970()) * 1000 + std::llround(t.second * 1000.0);
    time = static_cast<double>(ms) / 1000.0;
    return true;
}

// Tide files hold times to the millisecond from 1900 to 9999. Rounds time to the
// millisecond; false when it lies outside those years (or is not finite).
bool FileTime(double& time)
{
    constexpr double kFirst = -2208988800.0; // 1900-01-01 00:00:00 UTC
    constexpr double kEnd = 253402300800.0;  // 10000-01-01 00:00:00 UTC
    if (!(time >= kFirst && time < kEnd)) return false;
    time = std::round(time * 1000.0) / 1000.0;
    return time < kEnd;
}

std::string FormatTime(double time, char dateSep, bool millis)
{
    const double whole = std::floor(time);
    int ms = static_cast<int>(std::lround((time - whole) * 1000.0));
    int64_t t = static_cast<int64_t>(whole);
    if (ms >= 1000) {
        ms -= 1000;
        ++t;
    }
    struct tm tm {};
    kvs_gmtime64_s(&tm, &t);
    char buf[64];
    if (millis)
        std::snprintf(buf, sizeof buf, "%04d%c%02d%c%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, dateSep, tm.tm_mon + 1,
                      dateSep, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    else
        std::snprintf(buf, sizeof buf, "%04d%c%02d%c%02d %02d:%02d:%02d", tm.tm_year + 1900, dateSep, tm.tm_mon + 1,
                      dateSep, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

// The permissions a saved file gets: those of the file it replaces, or for a new file
// those of any new file (0666 less the process's file-creation mask). The mask is read
// from /proc, since setting it to read it would change it for every thread meanwhile.
mode_t SavedFileMode(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

CString LineError(int line, const char* what)
{
    CString e;
    e.Format("line %d: %s", line, what);
    return e;
}

} // namespace

bool TideStation::Parse(const std::string& text, TideStation& out, CString& error)
{
    TideStation result;
    std::string_view rest = SkipByteOrderMark(text), raw;
    int lineNo = 0;
    bool native = false, inData = false, sawContent = false;
    // Observations are gathered as they come and sorted once at the end: a file in any
    // order loads in n log n (inserting each in its place would take n squared).
    struct Observation
    {
        double time;
        double value;
        int line;
    };
    std::vector<Observation> observations;
    while (NextTextLine(rest, raw)) {
        ++lineNo;
        const std::string line = Trim(std::string(raw));
        if (line.empty() || line[0] == '#') continue;
        if (!sawContent) {
            sawContent = true;
            if (line == kNativeMagic) {
                native = true;
                continue;
            }
        }
        double time = 0.0, value = 0.0;
        if (!native || inData) {
            if (!ParseObservation(line, native ? '-' : '/', time, value)) {
                error = LineError(lineNo, native ? "expected \"YYYY-MM-DD HH:MM:SS value\""
                                                 : "expected \"YYYY/MM/DD HH:MM:SS value\"");
                return false;
            }
            if (!FileTime(time)) {
                error = LineError(lineNo, "the time lies outside the years 1900 to 9999");
                return false;
            }
            observations.push_back({time, value, lineNo});
            continue;
        }
        const size_t sp = line.find_first_of(" \t");
        const std::string key = line.substr(0, sp);
        const std::string rest = sp == std::string::npos ? std::string() : Trim(line.substr(sp));
        if (key == "DATA" && rest.empty()) {
            inData = true;
        } else if (key == "STATION") {
            result.m_name = CString(rest);
        } else if (key == "ID") {
            result.m_id = CString(rest);
        } else if (key == "POSITION") {
            std::istringstream p(rest);
            std::string xs, ys, more;
            double x = 0.0, y = 0.0;
            if (!(p >> xs >> ys) || (p >> more) || !ParseFiniteDouble(xs, x) || !ParseFiniteDouble(ys, y)) {
                error = LineError(lineNo, "POSITION needs two numbers x y");
                return false;
            }
            result.m_pos.Set(x, y, 0.0);
        } else if (key == "KP" || key == "OFFSET") {
            double v = 0.0;
            if (!ParseFiniteDouble(rest, v)) {
                error = LineError(lineNo, key == "KP" ? "KP needs a number" : "OFFSET needs a number");
                return false;
            }
            (key == "KP" ? result.m_kp : result.m_offset) = v;
        } else {
            error = LineError(lineNo, "unknown header line (expected STATION, ID, POSITION, KP, OFFSET or DATA)");
            return false;
        }
    }
    const auto earlier = [](const Observation& a, const Observation& b) { return a.time < b.time; };
    if (!std::is_sorted(observations.begin(), observations.end(), earlier))
        std::stable_sort(observations.begin(), observations.end(), earlier);
    result.m_values.reserve(observations.size());
    for (size_t i = 0; i < observations.size(); ++i) {
        if (i > 0 && observations[i].time == observations[i - 1].time) {
            const int first = std::min(observations[i].line, observations[i - 1].line);
            const int second = std::max(observations[i].line, observations[i - 1].line);
            error = LineError(second, ("a second observation at the same time (the first is on line " +
                                       std::to_string(first) + ")")
                                          .c_str());
            return false;
        }
        result.m_values.emplace_back(observations[i].time, observations[i].value);
    }
    result.m_layout = native ? Layout::Native : Layout::Simple;
    out.m_layout = result.m_layout;
    out.m_name = result.m_name;
    out.m_id = result.m_id;
    out.m_pos = result.m_pos;
    out.m_kp = result.m_kp;
    out.m_offset = result.m_offset;
    out.m_values = std::move(result.m_values);
    return true;
}

std::string TideStation::Format() const
{
    std::string text;
    char buf[128];
    if (m_layout == Layout::Native) {
        text += kNativeMagic;
        text += "\n";
        if (!m_name.IsEmpty()) text += "STATION " + m_name.str() + "\n";
        if (!m_id.IsEmpty()) text += "ID " + m_id.str() + "\n";
        std::snprintf(buf, sizeof buf, "POSITION %.17g %.17g\nKP %.17g\nOFFSET %.17g\nDATA\n", m_pos.x, m_pos.y, m_kp,
                      m_offset);
        text += buf;
    }
    for (const auto& [time, value] : m_values) {
        std::snprintf(buf, sizeof buf, " %.17g\n", value);
        // The simple layout writes whole seconds plainly and keeps the milliseconds of others.
        const bool millis = m_layout == Layout::Native || time != std::floor(time);
        text += FormatTime(time, m_layout == Layout::Native ? '-' : '/', millis) + buf;
    }
    return text;
}

bool TideStation::FileOpen(const CString& fileName)
{
    if (m_openCount > 0) {
        if (fileName != m_fileName) {
            m_lastError.Format("%s: another tide file (%s) is open", static_cast<const char*>(fileName),
                               static_cast<const char*>(m_fileName));
            return false;
        }
        ++m_openCount;
        return true;
    }
    std::string text, failure;
    if (!ReadTextFile(fileName.str(), text, failure)) {
        m_lastError = CString(failure);
        return false;
    }
    CString error;
    if (!Parse(text, *this, error)) {
        m_lastError.Format("%s: %s", static_cast<const char*>(fileName), static_cast<const char*>(error));
        return false;
    }
    m_fileName = fileName;
    m_openCount = 1;
    m_lastError.Empty();
    return true;
}

bool TideStation::FileCreate(const CString& fileName)
{
    if (m_openCount > 0) {
        m_lastError.Format("%s: another tide file is open", static_cast<const char*>(fileName));
        return false;
    }
    WriteFunction write = std::move(m_write);
    *this = TideStation();
    m_write = std::move(write);
    m_fileName = fileName;
    m_openCount = 1;
    return true;
}

int TideStation::FileClose(bool save)
{
    if (m_openCount <= 0) return -1;
    if (m_openCount == 1 && save && !FileSave()) return -1;
    return --m_openCount;
}

bool TideStation::FileSave()
{
    if (m_fileName.IsEmpty()) {
        m_lastError = "no file name to save to";
        return false;
    }
    const std::string text = Format();
    std::string tmp = m_fileName.str() + ".tmp.XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        m_lastError.Format("%s: cannot create a temporary file: %s", static_cast<const char*>(m_fileName),
                           std::strerror(errno));
        return false;
    }
    tmp = name.data();
    size_t done = 0;
    bool ok = true;
    // The temporary file is created private; the saved file keeps the permissions it had.
    if (::fchmod(fd, SavedFileMode(m_fileName.str())) != 0) {
        m_lastError.Format("%s: cannot set the permissions: %s", static_cast<const char*>(m_fileName), std::strerror(errno));
        ok = false;
    }
    while (ok && done < text.size()) {
        const ssize_t n = m_write ? m_write(fd, text.data() + done, text.size() - done)
                                  : ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_lastError.Format("%s: write failed after %zu of %zu bytes: %s", static_cast<const char*>(m_fileName),
                               done, text.size(), n < 0 ? std::strerror(errno) : "no space written");
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) {
        m_lastError.Format("%s: cannot flush to disk: %s", static_cast<const char*>(m_fileName), std::strerror(errno));
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        m_lastError.Format("%s: cannot close: %s", static_cast<const char*>(m_fileName), std::strerror(errno));
        ok = false;
    }
    if (ok && std::rename(tmp.c_str(), m_fileName.str().c_str()) != 0) {
        m_lastError.Format("%s: cannot replace the file: %s", static_cast<const char*>(m_fileName), std::strerror(errno));
        ok = false;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

size_t TideStation::LowerBound(double time) const
{
    return static_cast<size_t>(
        std::lower_bound(m_values.begin(), m_values.end(), time, [](const auto& v, double t) { return v.first < t; }) -
        m_values.begin());
}

bool TideStation::AddTideValue(double time, double value)
{
    if (!FileTime(time) || !std::isfinite(value)) return false;
    const size_t i = LowerBound(time);
    if (i < m_values.size() && m_values[i].first == time) return false;
    m_values.insert(m_values.begin() + static_cast<std::ptrdiff_t>(i), {time, value});
    return true;
}

bool TideStation::UpdateTideValue(double time, double value)
{
    if (!FileTime(time)) return false;
    const size_t i = LowerBound(time);
    if (i >= m_values.size() || m_values[i].first != time || !std::isfinite(value)) return false;
    m_values[i].second = value;
    return true;
}

bool TideStation::DeleteTideValue(double time)
{
    if (!FileTime(time)) return false;
    const size_t i = LowerBound(time);
    if (i >= m_values.size() || m_values[i].first != time) return false;
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

bool TideStation::GetTideValue(int index, double& time, double& value) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_values.size()) return false;
    time = m_values[static_cast<size_t>(index)].first;
    value = m_values[static_cast<size_t>(index)].second;
    return true;
}

bool TideStation::GetTimeSpan(double& first, double& last) const
{
    if (m_values.empty()) return false;
    first = m_values.front().first;
    last = m_values.back().first;
    return true;
}

namespace {

double Linear(const std::pair<double, double>& a, const std::pair<double, double>& b, double t)
{
    if (b.first == a.first) return a.second;
    return a.second + (b.second - a.second) * (t - a.first) / (b.first - a.first);
}

} // namespace

bool TideStation::InterpolateTide(double& time, double& value) const
{
    if (m_values.empty() || !std::isfinite(time)) return false;
    const size_t i = LowerBound(time);
    if (i < m_values.size() && m_values[i].first == time) {
        value = m_values[i].second;
        return true;
    }
    if (i > 0 && i < m_values.size()) {
        const auto& a = m_values[i - 1];
        const auto& b = m_values[i];
        if (!m_interpolate || (m_interpolWindow > 0.0 && b.first - a.first > m_interpolWindow)) return false;
        value = Linear(a, b, time);
        return true;
    }
    if (!m_extrapolate) return false;
    const bool before = i == 0;
    const double end = before ? m_values.front().first : m_values.back().first;
    if (std::fabs(time - end) > m_extrapolWindow) return false;
    if (m_values.size() == 1) {
        value = m_values.front().second;
    } else if (before) {
        value = Linear(m_values[0], m_values[1], time);
    } else {
        value = Linear(m_values[m_values.size() - 2], m_values.back(), time);
    }
    return true;
}

void TideStation::SetInterpolAttribs(bool enable, double window)
{
    m_interpolate = enable;
    m_interpolWindow = std::isfinite(window) && window > 0.0 ? window : 0.0;
}

void TideStation::GetInterpolAttribs(bool& enable, double& window) const
{
    enable = m_interpolate;
    window = m_interpolWindow;
}

void TideStation::SetExtrapolationAttribs(bool enable, double window)
{
    m_extrapolate = enable;
    m_extrapolWindow = std::isfinite(window) && window > 0.0 ? window : 0.0;
}

void TideStation::GetExtrapolationAttribs(bool& enable, double& window) const
{
    enable = m_extrapolate;
    window = m_extrapolWindow;
}
