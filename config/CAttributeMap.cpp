#include <KvsDataBlocks/config/CAttributeMap.h>

#include <KvsDataBlocks/platform/TextUtils.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>
#include <vector>

void CAttributeMap::Put(const CString& name, Value value, unsigned int status)
{
    m_entries[name.str()] = Entry{std::move(value), status};
}

const CAttributeMap::Entry* CAttributeMap::Find(const CString& name) const
{
    const auto it = m_entries.find(name.str());
    return it == m_entries.end() ? nullptr : &it->second;
}

const CAttributeMap::Entry* CAttributeMap::Lookup(const CString& name, Kind kind) const
{
    if (m_observer) m_observer(name, kind);
    const auto it = m_entries.find(name.str());
    return it == m_entries.end() ? nullptr : &it->second;
}

void CAttributeMap::SetAttribValue(const CString& name, bool value, unsigned int status) { Put(name, value, status); }
void CAttributeMap::SetAttribValue(const CString& name, int value, unsigned int status) { Put(name, value, status); }
void CAttributeMap::SetAttribValue(const CString& name, double value, unsigned int status) { Put(name, value, status); }
void CAttributeMap::SetAttribValue(const CString& name, const CString& value, unsigned int status)
{
    Put(name, value, status);
}
void CAttributeMap::SetAttribValue(const CString& name, const char* value, unsigned int status)
{
    Put(name, CString(value), status);
}
void CAttributeMap::SetAttribValue(const CString& name, const CDataInfo& value, unsigned int status)
{
    Put(name, value, status);
}
void CAttributeMap::SetAttribValue(const CString& name, double x, double y, double z, unsigned int status)
{
    Put(name, Triple{x, y, z}, status);
}

namespace {

template <typename T, typename V>
bool ReadAs(const V* entry, T& value, unsigned int& status)
{
    if (!entry) return false;
    const T* held = std::get_if<T>(&entry->value);
    if (!held) return false;
    value = *held;
    status = entry->status;
    return true;
}

} // namespace

bool CAttributeMap::GetAttribValue(const CString& name, bool& value, unsigned int& status) const
{
    return ReadAs(Lookup(name, Kind::Bool), value, status);
}

bool CAttributeMap::GetAttribValue(const CString& name, int& value, unsigned int& status) const
{
    return ReadAs(Lookup(name, Kind::Int), value, status);
}

bool CAttributeMap::GetAttribValue(const CString& name, double& value, unsigned int& status) const
{
    const Entry* e = Lookup(name, Kind::Double);
    if (!e) return false;
    if (const int* i = std::get_if<int>(&e->value)) {
        value = *i;
        status = e->status;
        return true;
    }
    return ReadAs(e, value, status);
}

bool CAttributeMap::GetAttribValue(const CString& name, CString& value, unsigned int& status) const
{
    return ReadAs(Lookup(name, Kind::Text), value, status);
}

bool CAttributeMap::GetAttribValue(const CString& name, CDataInfo& value, unsigned int& status) const
{
    return ReadAs(Lookup(name, Kind::DataInfo), value, status);
}

bool CAttributeMap::GetAttribValue(const CString& name, double& x, double& y, double& z, unsigned int& status) const
{
    Triple t{};
    if (!ReadAs(Lookup(name, Kind::Double3), t, status)) return false;
    x = t[0];
    y = t[1];
    z = t[2];
    return true;
}

bool CAttributeMap::HasAttrib(const CString& name) const { return Find(name) != nullptr; }

std::vector<CAttributeMap::NameAndLine> CAttributeMap::GetNamesAndLines() const
{
    std::vector<NameAndLine> names;
    names.reserve(m_entries.size());
    // The value's alternatives lie in the order of Kind.
    for (const auto& [name, entry] : m_entries)
        names.push_back(NameAndLine{CString(name), entry.line, static_cast<Kind>(entry.value.index())});
    std::stable_sort(names.begin(), names.end(), [](const NameAndLine& a, const NameAndLine& b) { return a.line < b.line; });
    return names;
}

void CAttributeMap::SetLookupObserver(LookupObserver observer)
{
    m_observer = std::move(observer);
}
bool CAttributeMap::RemoveAttrib(const CString& name) { return m_entries.erase(name.str()) > 0; }
void CAttributeMap::RemoveAll() { m_entries.clear(); }
int CAttributeMap::GetCount() const { return static_cast<int>(m_entries.size()); }

// ---- text format ----------------------------------------------------------------------

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool IsNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-';
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

bool ParseLong(std::string_view text, long long lo, long long hi, long long& out)
{
    const std::string s(Trim(text));
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || end != s.c_str() + s.size() || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseDouble(std::string_view text, double& out)
{
    const std::string s(Trim(text));
    if (s.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

std::vector<std::string_view> SplitCommas(std::string_view s)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = s.find(',', start);
        parts.push_back(s.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return parts;
}

// True when t (starting with '"') ends with its first unescaped closing quote.
bool IsClosedQuote(std::string_view t)
{
    for (size_t i = 1; i < t.size(); ++i) {
        if (t[i] == '\\') ++i;
        else if (t[i] == '"') return i + 1 == t.size();
    }
    return false;
}

// Parses the value text of one type; on failure reason says what was wrong.
template <typename Value>
bool ParseValue(std::string_view type, std::string_view text, Value& out, std::string& reason)
{
    const std::string shown(text);
    if (EqualNoCase(type, "bool")) {
        const std::string_view t = Trim(text);
        if (EqualNoCase(t, "true") || t == "1" || EqualNoCase(t, "yes")) out = true;
        else if (EqualNoCase(t, "false") || t == "0" || EqualNoCase(t, "no")) out = false;
        else {
            reason = "'" + shown + "' is not a bool (true, false, yes, no, 1, 0)";
            return false;
        }
        return true;
    }
    if (EqualNoCase(type, "int")) {
        long long v = 0;
        if (!ParseLong(text, -2147483648LL, 2147483647LL, v)) {
            reason = "'" + shown + "' is not a 32-bit integer";
            return false;
        }
        out = static_cast<int>(v);
        return true;
    }
    if (EqualNoCase(type, "double")) {
        double v = 0.0;
        if (!ParseDouble(text, v)) {
            reason = "'" + shown + "' is not a finite number";
            return false;
        }
        out = v;
        return true;
    }
    if (EqualNoCase(type, "string")) {
        const std::string_view t = Trim(text);
        if (!t.empty() && t.front() == '"') {
            if (!IsClosedQuote(t)) {
                reason = "quoted string must end with its closing '\"'";
                return false;
            }
            out = StrHandleEscape(CString(t.substr(1, t.size() - 2)));
        } else {
            out = CString(t);
        }
        return true;
    }
    if (EqualNoCase(type, "datainfo")) {
        const auto parts = SplitCommas(text);
        long long v[5] = {};
        bool ok = parts.size() == 5;
        for (size_t i = 0; ok && i < 5; ++i) ok = ParseLong(parts[i], 0, 65535, v[i]);
        if (!ok) {
            reason = "'" + shown + "' is not five numbers 0-65535 (data type, group, device, vessel, element)";
            return false;
        }
        const CDataId id(static_cast<unsigned short>(v[0]), static_cast<unsigned short>(v[1]),
                         static_cast<unsigned short>(v[2]), static_cast<unsigned short>(v[3]));
        out = CDataInfo(id, static_cast<unsigned short>(v[4]));
        return true;
    }
    if (EqualNoCase(type, "double3")) {
        const auto parts = SplitCommas(text);
        std::array<double, 3> v{};
        bool ok = parts.size() == 3;
        for (size_t i = 0; ok && i < 3; ++i) ok = ParseDouble(parts[i], v[i]);
        if (!ok) {
            reason = "'" + shown + "' is not three finite numbers separated by commas";
            return false;
        }
        out = v;
        return true;
    }
    reason = "unknown type '" + std::string(type) + "' (bool, int, double, string, datainfo, double3)";
    return false;
}

} // namespace

bool CAttributeMap::LoadString(const CString& text, CString& error)
{
    std::map<std::string, Entry, std::less<>> loaded;
    std::map<std::string, int, std::less<>> firstLine;
    std::string_view rest = SkipByteOrderMark(text.str()), line;
    int lineNo = 0;
    while (NextTextLine(rest, line)) {
        ++lineNo;
        const std::string_view body = Trim(line);
        if (body.empty() || body.front() == '#' || body.front() == ';') continue;

        auto fail = [&](const std::string& reason) {
            error.Format("line %d: %s", lineNo, reason.c_str());
            return false;
        };
        const size_t eq = body.find('=');
        if (eq == std::string_view::npos) return fail("expected 'name = type:value'");
        const std::string_view name = Trim(body.substr(0, eq));
        if (name.empty()) return fail("missing attribute name before '='");
        for (char c : name)
            if (!IsNameChar(c)) return fail("invalid attribute name '" + std::string(name) + "'");
        const std::string_view rest = body.substr(eq + 1);
        const size_t colon = rest.find(':');
        if (colon == std::string_view::npos) return fail("expected 'type:value' after '='");
        const std::string_view type = Trim(rest.substr(0, colon));
        Value value;
        std::string reason;
        if (!ParseValue(type, rest.substr(colon + 1), value, reason)) return fail(reason);
        const auto [it, inserted] = firstLine.emplace(std::string(name), lineNo);
        if (!inserted) {
            return fail("attribute '" + std::string(name) + "' already given on line " + std::to_string(it->second));
        }
        loaded[std::string(name)] = Entry{std::move(value), 0, lineNo};
    }
    for (auto& [name, entry] : loaded) m_entries[name] = std::move(entry);
    error.Empty();
    return true;
}

bool CAttributeMap::LoadFile(const CString& path, CString& error)
{
    std::string content, failure;
    if (!ReadTextFile(path.str(), content, failure)) {
        error = CString(failure);
        return false;
    }
    if (!LoadString(CString(std::move(content)), error)) {
        error = CString(path) + ": " + error;
        return false;
    }
    return true;
}
