#include <KvsDataBlocks/platform/CString.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

size_t ClampPos(int pos, size_t size)
{
    if (pos < 0) return 0;
    return std::min(static_cast<size_t>(pos), size);
}

bool IsSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

} // namespace

void CString::FormatV(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char small[256];
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) {
        m_s.clear();
        return;
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        m_s.assign(small, static_cast<size_t>(needed));
        return;
    }
    std::vector<char> big(static_cast<size_t>(needed) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    m_s.assign(big.data(), static_cast<size_t>(needed));
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(const char* format, ...)
{
    CString more;
    va_list args;
    va_start(args, format);
    more.FormatV(format, args);
    va_end(args);
    m_s += more.m_s;
}

CString CString::Mid(int first) const
{
    return CString(m_s.substr(ClampPos(first, m_s.size())));
}

CString CString::Mid(int first, int count) const
{
    const size_t start = ClampPos(first, m_s.size());
    if (count <= 0) return CString();
    return CString(m_s.substr(start, static_cast<size_t>(count)));
}

CString CString::Left(int count) const
{
    if (count <= 0) return CString();
    return CString(m_s.substr(0, static_cast<size_t>(count)));
}

CString CString::Right(int count) const
{
    if (count <= 0) return CString();
    const size_t n = std::min(static_cast<size_t>(count), m_s.size());
    return CString(m_s.substr(m_s.size() - n));
}

int CString::Find(char ch, int start) const
{
    if (start < 0) start = 0;
    if (static_cast<size_t>(start) >= m_s.size()) return -1;
    const size_t pos = m_s.find(ch, static_cast<size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const char* sub, int start) const
{
    if (!sub) return -1;
    if (start < 0) start = 0;
    if (static_cast<size_t>(start) > m_s.size()) return -1;
    const size_t pos = m_s.find(sub, static_cast<size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const
{
    const size_t pos = m_s.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(const char* chars) const
{
    if (!chars) return -1;
    const size_t pos = m_s.find_first_of(chars);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Insert(int index, char ch)
{
    m_s.insert(ClampPos(index, m_s.size()), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const char* text)
{
    if (text) m_s.insert(ClampPos(index, m_s.size()), text);
    return GetLength();
}

int CString::Delete(int index, int count)
{
    const size_t start = ClampPos(index, m_s.size());
    if (count > 0) m_s.erase(start, static_cast<size_t>(count));
    return GetLength();
}

int CString::Replace(char oldCh, char newCh)
{
    int n = 0;
    for (char& c : m_s) {
        if (c == oldCh) {
            c = newCh;
            ++n;
        }
    }
    return n;
}

int CString::Replace(const char* oldText, const char* newText)
{
    if (!oldText || !*oldText) return 0;
    const std::string from(oldText);
    const std::string to(newText ? newText : "");
    int n = 0;
    size_t pos = 0;
    while ((pos = m_s.find(from, pos)) != std::string::npos) {
        m_s.replace(pos, from.size(), to);
        pos += to.size();
        ++n;
    }
    return n;
}

int CString::Remove(char ch)
{
    const size_t before = m_s.size();
    m_s.erase(std::remove(m_s.begin(), m_s.end(), ch), m_s.end());
    return static_cast<int>(before - m_s.size());
}

int CString::Compare(const char* other) const
{
    const int r = m_s.compare(other ? other : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char* other) const
{
    const char* a = m_s.c_str();
    const char* b = other ? other : "";
    for (;; ++a, ++b) {
        const int ca = std::tolower(static_cast<unsigned char>(*a));
        const int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

CString& CString::MakeUpper()
{
    for (char& c : m_s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeLower()
{
    for (char& c : m_s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeReverse()
{
    std::reverse(m_s.begin(), m_s.end());
    return *this;
}

CString& CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_s.size() && IsSpace(m_s[i])) ++i;
    m_s.erase(0, i);
    return *this;
}

CString& CString::TrimRight()
{
    size_t n = m_s.size();
    while (n > 0 && IsSpace(m_s[n - 1])) --n;
    m_s.resize(n);
    return *this;
}

CString& CString::Trim()
{
    TrimRight();
    return TrimLeft();
}

CString& CString::TrimLeft(char ch)
{
    size_t i = 0;
    while (i < m_s.size() && m_s[i] == ch) ++i;
    m_s.erase(0, i);
    return *this;
}

CString& CString::TrimRight(char ch)
{
    size_t n = m_s.size();
    while (n > 0 && m_s[n - 1] == ch) --n;
    m_s.resize(n);
    return *this;
}

CString& CString::Trim(char ch)
{
    TrimRight(ch);
    return TrimLeft(ch);
}
