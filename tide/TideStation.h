// TideStation: one tide file — the station description (name, id, position, KP, offset)
// and its observations, time/value pairs kept sorted by time. Used by the tide data
// source. Times are seconds since 1970-01-01 00:00:00 UTC, values metres.
//
// File layouts (read both, written in the layout the file was read in; new files native):
//  * native:  first line "KVSTIDE 1", then header lines "STATION <name>", "ID <id>",
//             "POSITION <x> <y>", "KP <kp>", "OFFSET <offset>" (each optional, any order),
//             then "DATA" and one observation a line: "YYYY-MM-DD HH:MM:SS[.sss] <value>"
//             in UTC. Blank lines and lines starting with '#' are ignored.
//  * simple:  the widely used layout of lines "YYYY/MM/DD HH:MM:SS <value>" and nothing
//             else (blank and '#' lines ignored); the station description stays empty.
//             Seconds may carry a fraction; it is written (as milliseconds) only when
//             not zero.
// A malformed line refuses the whole file: FileOpen returns false, GetLastError() names
// the file and line number, and nothing of the file is kept. Two observations at the
// same time refuse the file as well.
//
// Interpolation rule: a stored time gives its own value. Between two neighbours the value
// is interpolated linearly when interpolation is enabled and the gap between the
// neighbours is at most the interpolation window (window 0: any gap).
// Extrapolation rule: before the first or after the last observation the value is
// extrapolated linearly from the two nearest observations (the one value itself when
// there is only one) when extrapolation is enabled and the time lies at most the
// extrapolation window beyond the end (window 0: no time beyond the ends).
//
// Saving writes a temporary file beside the tide file, flushes it to disk and renames it
// over the old one, so a failure or crash while saving never loses the old file. The saved
// file keeps the permissions of the file it replaces (a new one gets the usual 0666 less
// the file-creation mask).
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/geometry/Point.h>
#include <KvsDataBlocks/platform/CString.h>

#include <functional>
#include <sys/types.h>
#include <utility>
#include <vector>

class KVS_API TideStation
{
public:
    enum class Layout { Native, Simple };
    // The write call used when saving (the default is POSIX write); replaceable so a
    // failing disk can be simulated.
    using WriteFunction = std::function<ssize_t(int fd, const void* data, size_t size)>;

    TideStation() = default;

    // Opens the file, or counts one more open when this object has it open already.
    // False when the file cannot be read or is malformed, or when another file is open.
    bool FileOpen(const CString& fileName);
    // Starts a new, empty tide file of that name (not yet written; FileSave writes it).
    bool FileCreate(const CString& fileName);
    // Closes one open. With save set, the last close first saves the file (a failed save
    // keeps the file open and returns -1). Returns the opens still outstanding, -1 when
    // the file was not open.
    int FileClose(bool save);
    // Writes the file atomically; false (old file intact, GetLastError set) on failure.
    bool FileSave();
    bool IsOpen() const { return m_openCount > 0; }
    int GetOpenCount() const { return m_openCount; }
    void GetFileName(CString& name) const { name = m_fileName; }
    CString GetFileName() const { return m_fileName; }
    const CString& GetLastError() const { return m_lastError; }
    Layout GetLayout() const { return m_layout; }
    void SetLayout(Layout layout) { m_layout = layout; }

    void SetStationName(const CString& name) { m_name = name; }
    void GetStationName(CString& name) const { name = m_name; }
    CString GetStationName() const { return m_name; }
    void SetStationID(const CString& id) { m_id = id; }
    void GetStationID(CString& id) const { id = m_id; }
    CString GetStationID() const { return m_id; }
    void SetStationPos(const Point& pos) { m_pos = pos; }
    void GetStationPos(Point& pos) const { pos = m_pos; }
    void SetStationKP(double kp) { m_kp = kp; }
    double GetStationKP() const { return m_kp; }
    void SetStationOffset(const double& offset) { m_offset = offset; }
    void GetStationOffset(double& offset) const { offset = m_offset; }
    double GetStationOffset() const { return m_offset; }

    // Times of observations are kept to the millisecond, as the files hold them, and must
    // lie in the years 1900 to 9999; the three members below round the time given.
    // Adds an observation; false when one exists at that time, the value is not finite or
    // the time lies outside those years.
    bool AddTideValue(double time, double value);
    // Replaces the value at that time; false when there is none.
    bool UpdateTideValue(double time, double value);
    // Removes the observation at that time; false when there is none.
    bool DeleteTideValue(double time);
    // Observation index (0 = earliest); false when index is out of range.
    bool GetTideValue(int index, double& time, double& value) const;
    long GetNumValues() const { return static_cast<long>(m_values.size()); }
    // First and last time; false when there are no observations.
    bool GetTimeSpan(double& first, double& last) const;
    // The value at time by the rules above; false when there is none (value untouched).
    bool InterpolateTide(double& time, double& value) const;

    void SetInterpolAttribs(bool enable, double window);
    void GetInterpolAttribs(bool& enable, double& window) const;
    void SetExtrapolationAttribs(bool enable, double window);
    void GetExtrapolationAttribs(bool& enable, double& window) const;

    void SetWriteFunction(WriteFunction write) { m_write = std::move(write); }

    // Parses a whole tide file text; false with error ("line N: ...") on a malformed one.
    // Used by FileOpen; public for tools and tests.
    static bool Parse(const std::string& text, TideStation& out, CString& error);
    // The file text in the object's layout.
    std::string Format() const;

private:
    size_t LowerBound(double time) const;

    CString m_fileName;
    CString m_lastError;
    int m_openCount = 0;
    Layout m_layout = Layout::Native;
    CString m_name;
    CString m_id;
    Point m_pos;
    double m_kp = 0.0;
    double m_offset = 0.0;
    std::vector<std::pair<double, double>> m_values; // (time, value), ascending time
    bool m_interpolate = true;
    double m_interpolWindow = 0.0;
    bool m_extrapolate = false;
    double m_extrapolWindow = 0.0;
    WriteFunction m_write;
};
