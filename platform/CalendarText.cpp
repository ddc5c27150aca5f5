#include <KvsDataBlocks/platform/CalendarText.h>

#include <charconv>

namespace {

// Days of each month of a common year.
constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads minDigits to maxDigits decimal digits at pos; false when there are fewer.
bool ReadNumber(std::string_view text, size_t& pos, size_t minDigits, size_t maxDigits, int& value)
{
    size_t n = 0;
    int v = 0;
    while (n < maxDigits && pos + n < text.size() && IsDigit(text[pos + n])) {
        v = v * 10 + (text[pos + n] - '0');
        ++n;
    }
    if (n < minDigits) return false;
    pos += n;
    value = v;
    return true;
}

bool Expect(std::string_view text, size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

} // namespace

int64_t CalendarTime::MinuteSince1970() const
{
    return DaysFromCivil(year, month, day) * 86400 + static_cast<int64_t>(hour) * 3600 +
           static_cast<int64_t>(minute) * 60;
}

bool IsLeapYear(int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int64_t year, int month)
{
    if (month < 1 || month > 12) return 0;
    return kMonthDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool IsCalendarDate(int64_t year, int month, int day)
{
    return day >= 1 && day <= DaysInMonth(year, month);
}

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

size_t ReadCalendarTime(std::string_view text, char dateSeparator, CalendarTime& out)
{
    CalendarTime t;
    size_t pos = 0;
    if (!ReadNumber(text, pos, 4, 4, t.year) || !Expect(text, pos, dateSeparator) ||
        !ReadNumber(text, pos, 1, 2, t.month) || !Expect(text, pos, dateSeparator) ||
        !ReadNumber(text, pos, 1, 2, t.day))
        return 0;
    if (!Expect(text, pos, 'T')) {
        const size_t blanks = pos;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        if (pos == blanks) return 0;
    }
    if (!ReadNumber(text, pos, 1, 2, t.hour) || !Expect(text, pos, ':') || !ReadNumber(text, pos, 1, 2, t.minute) ||
        !Expect(text, pos, ':'))
        return 0;
    // The second with its fraction, read as one number so that it is exact to the double.
    const size_t secondStart = pos;
    int whole = 0;
    if (!ReadNumber(text, pos, 1, 2, whole)) return 0;
    if (pos < text.size() && text[pos] == '.') {
        const size_t point = ++pos;
        while (pos < text.size() && IsDigit(text[pos])) ++pos;
        if (pos == point) return 0;
    }
    const auto [end, ec] = std::from_chars(text.data() + secondStart, text.data() + pos, t.second);
    if (ec != std::errc() || end != text.data() + pos) return 0;
    if (!IsCalendarDate(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59 || !(t.second < 60.0)) return 0;
    out = t;
    return pos;
}
