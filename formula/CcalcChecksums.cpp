// Check characters and NMEA position texts of the formula catalogue. The two statics are
// also called directly by telegram code.
#include <KvsDataBlocks/formula/Ccalc.h>

#include <KvsDataBlocks/formula/detail/CcalcArgs.h>
#include <KvsDataBlocks/values/CKvsType.h>
#include <KvsDataBlocks/formula/Crc16.h>
#include <KvsDataBlocks/platform/Runtime.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

using kvs::calc::FixedText;
using kvs::calc::TextOf;

void Ccalc::CreateChkSum() { ChkSum(*m_a1); }
void Ccalc::NMEAChkSum() { Status(NMEACS(*m_a1)); }
void Ccalc::MARSChkSum() { MARSCS(*m_a1); }
void Ccalc::PosSeconds() { PosSecConv(*m_a1); }

void Ccalc::FormatNMEAPosStr()
{
    double value = 0.0;
    double decimals = 0.0;
    CString kind;
    m_a1->GetDouble(value);
    m_a2->GetDouble(decimals);
    m_a3->GetName(kind);
    FormatNMEAPosStr(value, kvs::calc::TruncToInt(decimals), kind);
}

// Additive check character: the byte codes summed as signed 8-bit numbers, the remainder
// by 128 with the sum's sign, shifted by 128 into one byte (128 to 255 for 7-bit texts).
int Ccalc::ChkSum(CKvsType& text)
{
    CString out = TextOf(text);
    int64_t sum = 0;
    for (const char c : out.str()) sum += static_cast<signed char>(c);
    const int remainder = static_cast<int>(sum % 128);
    out += static_cast<char>(static_cast<unsigned char>((remainder + 128) % 256));
    m_result->SetValueStr(out);
    return 1;
}

// A sentence that already carries a checksum ('*' after the start) or lacks its start
// character (begins with a letter or digit) would get a checksum no receiver accepts:
// the call fails instead (status 0) and the result is left as it was.
int Ccalc::NMEACS(CKvsType& text)
{
    const CString in = TextOf(text);
    const std::string& bytes = in.str();
    if (!bytes.empty() && (std::isalnum(static_cast<unsigned char>(bytes[0])) || bytes.find('*', 1) != std::string::npos))
        return 0;
    CString out = CreateNMEACheckSum(in);
    m_result->SetValueStr(out);
    return 1;
}

// The text followed by its CRC-16 as four upper-case hexadecimal digits.
int Ccalc::MARSCS(CKvsType& text)
{
    CString out = TextOf(text);
    const std::string& bytes = out.str();
    unsigned short crc = 0;
    if (!bytes.empty()) {
        const auto* first = reinterpret_cast<const unsigned char*>(bytes.data());
        crc = Compute16BitCRC(first, first + bytes.size());
    }
    out.AppendFormat("%4.4X", static_cast<unsigned int>(crc));
    m_result->SetValueStr(out);
    return 1;
}

// A degrees-and-minutes number (dddmm.mmm, read from the start of the text) as decimal
// degrees with exactly five decimals and no sign. Values below 1 have no digit before the
// point ('.50833'); below 0.1 the zeros after the point are written ('.05000'). A text
// with no number, or a number too large to write, gives an empty text.
int Ccalc::PosSecConv(CKvsType& text)
{
    const CString in = TextOf(text);
    double value = 0.0;
    CString out;
    if (std::sscanf(in.GetString(), "%lf", &value) == 1 && std::isfinite(value)) {
        const double scaled = value / 100.0;
        const double degrees = std::trunc(scaled);
        const double minutes = (scaled - degrees) * 100.0;
        const double decimal = degrees + minutes / 60.0;
        int point = 0;
        int negative = 0;
        CString digits = kvs_fcvt(decimal, 5, point, negative);
        // Zero comes back as "0" before the point: drop it like any value below 1.
        if (point > 0 && !digits.IsEmpty() && digits[0] == '0') {
            digits.Delete(0);
            --point;
        }
        if (point <= 0) {
            // Fewer integer digits than none: the point comes first, then the zeros that
            // the digit string leaves out, then the digits.
            std::string s(1, '.');
            s.append(static_cast<size_t>(-point), '0');
            s.append(digits.str());
            s.resize(6, '0');
            out = CString(std::move(s));
        } else if (point <= digits.GetLength()) {
            out = digits;
            out.Insert(point, '.');
        }
    }
    m_result->SetValueStr(out);
    return 1;
}

int Ccalc::FormatNMEAPosStr(double value, int decimals, CString kind)
{
    CString out = CreateNMEAPosStr(value, decimals, kind);
    m_result->SetValueStr(out);
    return 1;
}

CString Ccalc::CreateNMEACheckSum(CString text)
{
    unsigned int sum = 0;
    const std::string& bytes = text.str();
    for (size_t i = 1; i < bytes.size(); ++i) sum ^= static_cast<unsigned char>(bytes[i]);
    text.AppendFormat("*%2.2X", sum);
    return text;
}

// Degrees and minutes are split on the unrounded value and written separately, so
// minutes that round up to 60 are written as 60 (no carry into the degrees). A NaN or
// infinite value leaves the number fields empty, as NMEA writes a missing value.
CString Ccalc::CreateNMEAPosStr(double value, int decimals, CString kind)
{
    const bool lat = kind.CompareNoCase("Lat") == 0;
    const bool lon = kind.CompareNoCase("Lon") == 0;
    const bool alt = kind.CompareNoCase("Alt") == 0;
    if ((lat || lon || alt) && !std::isfinite(value)) return CString();
    if (lat || lon) {
        const double magnitude = std::fabs(value);
        const double degrees = std::floor(magnitude);
        const double minutes = (magnitude - degrees) * 60.0;
        CString out;
        if (degrees < 10.0) out = lon ? "00" : "0";
        else if (lon && degrees < 100.0) out = "0";
        out += FixedText(degrees, 0);
        if (minutes < 10.0) out += '0';
        out += FixedText(minutes, decimals);
        return out;
    }
    if (alt) return FixedText(value, decimals);
    if (kind.CompareNoCase("LatS") == 0) return CString(value >= 0.0 ? "N" : "S");
    if (kind.CompareNoCase("LonS") == 0) return CString(value >= 0.0 ? "E" : "W");
    return CString();
}
