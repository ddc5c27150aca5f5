// Text functions of the formula catalogue: number-to-text conversion, padding, joining,
// sign handling, field extraction and table look-up. Each member reads its arguments
// through the value interface and writes the result text with SetValueStr; 1 done, 0 not.
#include <KvsDataBlocks/formula/Ccalc.h>

#include <KvsDataBlocks/formula/detail/CcalcArgs.h>
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsType.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <cmath>
#include <string>
#include <typeinfo>

using kvs::calc::FixedText;
using kvs::calc::NumberOf;
using kvs::calc::TextOf;
using kvs::calc::TruncToInt;

namespace {

// Widest text LeadZero and FixedLength pad to; a larger width is refused (empty result,
// status 0, the call fails) rather than filling memory.
constexpr int kMaxPadWidth = 4096;

// Pads text with fill up to width characters, after a leading "-" when there is one (the
// sign does not count toward the width). false when the width is refused.
bool PadAfterSign(std::string& text, int& width, char fill)
{
    size_t at = 0;
    if (!text.empty() && text[0] == '-') {
        if (width < INT_MAX) ++width;
        at = 1;
    }
    if (width > kMaxPadWidth) return false;
    if (static_cast<int>(text.size()) < width) text.insert(at, static_cast<size_t>(width) - text.size(), fill);
    return true;
}

} // namespace

void Ccalc::StringSearch() { GetSubString(*m_a1, *m_a2, *m_a3); }
void Ccalc::FloatToString() { StrBuild(*m_a1, *m_a2); }
void Ccalc::IntToString() { StrIntBuild(*m_a1); }
void Ccalc::ValToStr() { ValToStr(*m_a1); }
// A width refused fails the call rather than giving an empty text in silence.
void Ccalc::LeadZero() { Status(LeadingZero(*m_a1, *m_a2)); }
void Ccalc::FixedLength() { Status(FixedLen(*m_a1, *m_a2)); }
void Ccalc::PackString() { AddString(*m_a1, *m_a2, *m_a3); }
void Ccalc::StrSign() { StringSign(*m_a1); }
void Ccalc::CHR() { EscConv(*m_a1); }
void Ccalc::FindDelimiter() { FindDel(*m_a1, *m_a2, *m_a3); }
void Ccalc::MapStr() { Map(*m_a1, *m_a2, *m_a3); }

// count characters of text from index start. The bounds are tested on the numbers as
// given, the characters taken at their truncations; a NaN start or count is refused.
int Ccalc::GetSubString(CKvsType& text, CKvsType& start, CKvsType& count)
{
    const CString s = TextOf(text);
    const double first = NumberOf(start);
    const double n = NumberOf(count);
    const double length = s.GetLength();
    CString out;
    if (std::isnan(first) || std::isnan(n) || n < 1.0 || length <= first) {
        m_result->SetValueStr(out);
        return 0;
    }
    out = (first + n <= length) ? s.Mid(TruncToInt(first), TruncToInt(n)) : s.Mid(TruncToInt(first));
    m_result->SetValueStr(out);
    return 1;
}

int Ccalc::StrBuild(CKvsType& value, CKvsType& decimals)
{
    CString out = FixedText(NumberOf(value), TruncToInt(NumberOf(decimals)));
    m_result->SetValueStr(out);
    return 1;
}

int Ccalc::StrIntBuild(CKvsType& integer)
{
    int value = 0;
    integer.GetInt(value);
    CString out;
    out.Format("%d", value);
    m_result->SetValueStr(out);
    return 1;
}

// The value with as many decimals as its shortest exact decimal form needs. Only a
// CKvsDouble argument is written; any other leaves the result as it was.
int Ccalc::ValToStr(CKvsType& value)
{
    if (typeid(value) != typeid(CKvsDouble)) return 1;
    double number = 0.0;
    value.GetDouble(number);
    CString out;
    out.Format("%.*f", GetDoublePrecision(number), number);
    m_result->SetValueStr(out);
    return 1;
}

int Ccalc::LeadingZero(CKvsType& text, CKvsType& width)
{
    std::string s = TextOf(text).str();
    int w = TruncToInt(NumberOf(width));
    CString out;
    if (!PadAfterSign(s, w, '0')) {
        m_result->SetValueStr(out);
        return 0;
    }
    out = CString(std::move(s));
    m_result->SetValueStr(out);
    return 1;
}

// Pads with spaces after any sign, then keeps the last width characters, so a text
// longer than the width loses its leftmost characters.
int Ccalc::FixedLen(CKvsType& text, CKvsType& width)
{
    std::string s = TextOf(text).str();
    int w = TruncToInt(NumberOf(width));
    CString out;
    if (!PadAfterSign(s, w, ' ')) {
        m_result->SetValueStr(out);
        return 0;
    }
    out = CString(std::move(s)).Right(w);
    m_result->SetValueStr(out);
    return 1;
}

int Ccalc::AddString(CKvsType& text1, CKvsType& text2, CKvsType& text3)
{
    CString out = TextOf(text1);
    CStringAppend(out, TextOf(text2));
    CStringAppend(out, TextOf(text3));
    m_result->SetValueStr(out);
    return 1;
}

int Ccalc::StringSign(CKvsType& text)
{
    CString out = TextOf(text);
    if (!out.IsEmpty() && out[0] != '-') out.Insert(0, '+');
    m_result->SetValueStr(out);
    return 1;
}

// One character of the truncated code; as "%c" does, the code is taken modulo 256, and
// code 0 gives a one-byte text holding NUL.
int Ccalc::EscConv(CKvsType& code)
{
    CString out(static_cast<char>(static_cast<unsigned char>(TruncToInt(NumberOf(code)) & 0xFF)));
    m_result->SetValueStr(out);
    return 1;
}

// The field of text after the n-th occurrence of the whole delimiters text, ended by any
// one delimiter character. A delimiters text starting with a space first collapses runs of
// spaces. Empty delimiters find no field: empty result, status 0.
int Ccalc::FindDel(CKvsType& delimiters, CKvsType& n, CKvsType& text)
{
    const std::string delims = TextOf(delimiters).str();
    std::string s = TextOf(text).str();
    const double rounds = NumberOf(n);
    CString out;
    if (delims.empty()) {
        m_result->SetValueStr(out);
        return 0;
    }
    if (delims[0] == ' ') {
        std::string collapsed;
        collapsed.reserve(s.size());
        for (const char c : s)
            if (!(c == ' ' && !collapsed.empty() && collapsed.back() == ' ')) collapsed += c;
        s.swap(collapsed);
    }
    size_t position = 0;
    // Every round moves past one more occurrence, so the loop ends with the text.
    for (double i = 0.0; i < rounds; i += 1.0) {
        const size_t found = s.find(delims, position);
        if (found == std::string::npos) {
            m_result->SetValueStr(out);
            return 0;
        }
        position = found + 1;
    }
    const size_t end = s.find_first_of(delims, position);
    out = CString(s.substr(position, end == std::string::npos ? std::string::npos : end - position));
    m_result->SetValueStr(out);
    return 1;
}

// Looks text up in the comma-separated keys and gives the value item at the same place;
// the look-up ends with the shorter list.
int Ccalc::Map(CKvsType& keys, CKvsType& values, CKvsType& text)
{
    const std::string k = TextOf(keys).str();
    const std::string v = TextOf(values).str();
    const std::string wanted = TextOf(text).str();
    CString out;
    if (k.empty()) {
        m_result->SetValueStr(out);
        return 0;
    }
    size_t keyStart = 0;
    size_t valueStart = 0;
    for (;;) {
        const size_t keyEnd = k.find(',', keyStart);
        const size_t valueEnd = v.find(',', valueStart);
        const bool last = keyEnd == std::string::npos || valueEnd == std::string::npos;
        if (k.compare(keyStart, keyEnd == std::string::npos ? std::string::npos : keyEnd - keyStart, wanted) == 0) {
            out = CString(v.substr(valueStart, valueEnd == std::string::npos ? std::string::npos : valueEnd - valueStart));
            m_result->SetValueStr(out);
            return 1;
        }
        if (last) break;
        keyStart = keyEnd + 1;
        valueStart = valueEnd + 1;
    }
    m_result->SetValueStr(out);
    return 0;
}
