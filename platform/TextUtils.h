// TextUtils: the text helpers of the base library that formats values and reads
// settings: fixed-point number text, significant decimals, duration text, escape
// sequences, appending, the lines of a text file and the distance between names. All are
// pure functions of their arguments.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>

#include <cstddef>
#include <string>
#include <string_view>

// Fixed-point text of value with the given number of decimals (0 to 20; counts outside are
// clamped), rounded to nearest as printf does (exact binary ties to even); results that
// round to zero are written without a sign ("0.00", not "-0.00").
// Non-finite values give "nan", "inf" or "-inf".
KVS_API CString FormatDouble(double value, int decimals);

// The number of decimals needed to show value exactly in its shortest round-trip decimal
// fixed-point form (0 for whole numbers, 1 for 0.1, 3 for 2.125). 0 for non-finite values.
KVS_API int GetDoublePrecision(double value);

// A duration in seconds as text. Without withMs: "[-][D d ]HH:MM:SS" with the seconds
// rounded to whole seconds; with withMs: "[-][D d ]HH:MM:SS.mmm". The day part appears only
// for durations of 24 hours or more. Non-finite durations give an empty text.
KVS_API CString TimeSpanToString(double seconds, bool withMs);

// Replaces escape sequences by their characters: \n \r \t \0 \a \b \f \v \\ \" \' and \xHH
// (one or two hex digits, any byte value including NUL). A backslash before any other
// character, a \x without hex digits and a trailing lone backslash are kept as they stand.
KVS_API CString StrHandleEscape(const CString& text);

// Appends tail to text (any bytes, including NUL).
KVS_API void CStringAppend(CString& text, CString tail);

// Reads text as one finite number in strtod syntax, the whole text and nothing else (no
// surrounding blanks). False, with value unchanged, for anything else, including numbers
// out of the range of double. The readers of settings and data files share it.
KVS_API bool ParseFiniteDouble(std::string_view text, double& value);

// The lines of a text file's content, as every reader of settings and data files takes
// them: SkipByteOrderMark drops a UTF-8 byte-order mark at the start (Windows editors write
// one), and NextTextLine takes the next line off rest without its end ("\n" or "\r\n");
// a last line without an end counts, an empty rest has no line. Typical use:
//     std::string_view rest = SkipByteOrderMark(text), line;
//     while (NextTextLine(rest, line)) ...
KVS_API std::string_view SkipByteOrderMark(std::string_view text);
KVS_API bool NextTextLine(std::string_view& rest, std::string_view& line);

// The number of single-character insertions, deletions and substitutions that turn a into
// b, letters compared without regard to case (Levenshtein distance).
KVS_API size_t EditDistanceNoCase(std::string_view a, std::string_view b);

// The most a settings or data text file may hold (128 MiB): a reader given a device or a
// file that never ends (/dev/zero) stops there instead of filling the memory.
inline constexpr size_t kMaxTextFileSize = size_t{128} << 20;

// Reads a whole text file (attributes, tide, contour, project, data definition). False with
// error naming the file and what it found: it cannot be opened, it is a folder, it cannot
// be read, or it holds more than limit bytes ("... larger than 128 MiB, the most a text
// file may hold").
KVS_API bool ReadTextFile(const std::string& path, std::string& text, std::string& error,
                          size_t limit = kMaxTextFileSize);
