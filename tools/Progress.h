// Progress of a long subcommand on standard error. On a terminal: a bar with the share
// done, the rate and the time left, redrawn a few times a second. Otherwise (a log file,
// a pipe, CI): a plain line every few seconds and one at the end. A run shorter than
// about a second shows nothing, so quick commands and the tests stay quiet; --quiet
// silences it whatever the length (AddQuietFlag).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace CLI {
class App;
}

namespace kvs::tool {

// Adds -q,--quiet ("no progress on standard error") to a subcommand.
void AddQuietFlag(CLI::App& cmd, bool& quiet);

class Progress
{
public:
    enum class Style { Off, Bar, Lines };

    // task names the work ("filtering"); total is in units ("pings", or "bytes", shown as
    // MB), 0 when unknown. The style is a bar when standard error is a terminal, lines
    // otherwise, nothing with quiet.
    Progress(std::string task, uint64_t total, std::string units, bool quiet);
    // For the tests: an explicit style and stream; times are then given to UpdateAt.
    Progress(std::string task, uint64_t total, std::string units, Style style, std::FILE* out);
    ~Progress() { Done(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // done units of total so far; cheap enough to call once a record.
    void Update(uint64_t done);
    void UpdateAt(uint64_t done, double seconds); // seconds since the start
    // A new total (the work turned out larger, or a second phase begins).
    void SetTotal(uint64_t total) { m_total = total; }
    // Clears the bar; a run that printed lines ends with one line of the totals.
    void Done();
    bool Active() const { return m_style != Style::Off; }

    // "0:07", "12:34", "1:02:03".
    static std::string Clock(double seconds);
    // The line or bar text for done units after seconds (without the leading "\r").
    std::string Text(uint64_t done, double seconds, bool bar) const;

private:
    void DrawAt(uint64_t done, double seconds);

    std::string m_task, m_units;
    uint64_t m_total;
    Style m_style;
    std::FILE* m_out;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    double m_next = 0.0; // seconds at which to draw next
    uint64_t m_done = 0;
    double m_last = 0.0;
    bool m_shown = false;
    bool m_manual = false; // times come from UpdateAt
    uint32_t m_calls = 0;
};

} // namespace kvs::tool
