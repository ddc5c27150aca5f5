#include "Progress.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace kvs::tool {

namespace {

constexpr double kFirstBar = 1.0;   // seconds before a bar appears
constexpr double kBarEvery = 0.25;  // seconds between redraws of the bar
constexpr double kFirstLine = 3.0;  // seconds before the first plain line
constexpr double kLineEvery = 10.0; // seconds between plain lines
constexpr int kBarWidth = 30;

// Values in bytes are shown in MB.
double Scaled(uint64_t value, const std::string& units)
{
    return units == "bytes" ? value / 1e6 : static_cast<double>(value);
}

const char* ShownUnits(const std::string& units)
{
    return units == "bytes" ? "MB" : units.c_str();
}

std::string Number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, v < 10 && v != std::floor(v) ? "%.1f" : "%.0f", v);
    return buf;
}

} // namespace

void AddQuietFlag(CLI::App& cmd, bool& quiet)
{
    cmd.add_flag("-q,--quiet", quiet, "No progress on standard error");
}

Progress::Progress(std::string task, uint64_t total, std::string units, bool quiet)
    : Progress(std::move(task), total, std::move(units),
               quiet ? Style::Off : isatty(STDERR_FILENO) == 1 ? Style::Bar : Style::Lines, stderr)
{
}

Progress::Progress(std::string task, uint64_t total, std::string units, Style style, std::FILE* out)
    : m_task(std::move(task)), m_units(std::move(units)), m_total(total), m_style(style), m_out(out)
{
    m_next = m_style == Style::Bar ? kFirstBar : kFirstLine;
}

std::string Progress::Clock(double seconds)
{
    const long s = std::lround(std::max(seconds, 0.0));
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

std::string Progress::Text(uint64_t done, double seconds, bool bar) const
{
    const double rate = seconds > 0 ? Scaled(done, m_units) / seconds : 0.0;
    const bool known = m_total > 0;
    const double share = known ? std::min(1.0, static_cast<double>(done) / static_cast<double>(m_total)) : 0.0;
    std::string left;
    if (known && done > 0 && done < m_total)
        left = Clock(seconds * (static_cast<double>(m_total - done) / static_cast<double>(done)));
    char buf[256];
    const char* u = ShownUnits(m_units);
    if (bar) {
        std::string cells;
        if (known) {
            const int filled = static_cast<int>(share * kBarWidth);
            cells = "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kBarWidth - filled), '-') + "] ";
        }
        std::snprintf(buf, sizeof buf, "%s %s%3.0f %%  %s %s/s  %s%s", m_task.c_str(), cells.c_str(), share * 100,
                      Number(rate).c_str(), u, left.empty() ? Clock(seconds).c_str() : left.c_str(),
                      left.empty() ? "" : " left");
        if (!known)
            std::snprintf(buf, sizeof buf, "%s %s %s  %s %s/s  %s", m_task.c_str(), Number(Scaled(done, m_units)).c_str(),
                          u, Number(rate).c_str(), u, Clock(seconds).c_str());
    } else if (known) {
        std::snprintf(buf, sizeof buf, "kvsblocks: %s: %.0f %% (%s of %s %s), %s %s/s, %s%s", m_task.c_str(),
                      share * 100, Number(Scaled(done, m_units)).c_str(), Number(Scaled(m_total, m_units)).c_str(), u,
                      Number(rate).c_str(), u, left.empty() ? "" : "about ", left.empty() ? "" : (left + " left").c_str());
    } else {
        std::snprintf(buf, sizeof buf, "kvsblocks: %s: %s %s, %s %s/s", m_task.c_str(), Number(Scaled(done, m_units)).c_str(), u,
                      Number(rate).c_str(), u);
    }
    std::string text = buf;
    while (!text.empty() && (text.back() == ' ' || text.back() == ',')) text.pop_back();
    return text;
}

void Progress::Update(uint64_t done)
{
    m_done = done;
    if (m_style == Style::Off) return;
    // The clock is read once every 64 calls at most: a call a record stays cheap.
    if ((++m_calls & 63u) != 1u && m_calls > 64) return;
    DrawAt(done, std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count());
}

void Progress::UpdateAt(uint64_t done, double seconds)
{
    m_manual = true;
    DrawAt(done, seconds);
}

void Progress::DrawAt(uint64_t done, double seconds)
{
    m_done = done;
    m_last = seconds;
    if (m_style == Style::Off || seconds < m_next) return;
    if (m_style == Style::Bar) {
        std::fprintf(m_out, "\r%-100s\r%s", "", Text(done, seconds, true).c_str());
        m_next = seconds + kBarEvery;
    } else {
        std::fprintf(m_out, "%s\n", Text(done, seconds, false).c_str());
        m_next = seconds + kLineEvery;
    }
    std::fflush(m_out);
    m_shown = true;
}

void Progress::Done()
{
    if (!m_shown) return;
    m_shown = false;
    if (m_style == Style::Bar) {
        std::fprintf(m_out, "\r%-100s\r", "");
    } else {
        const double seconds = m_manual ? m_last : std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::fprintf(m_out, "kvsblocks: %s: done, %s %s in %s\n", m_task.c_str(), Number(Scaled(m_done, m_units)).c_str(),
                     ShownUnits(m_units), Clock(seconds).c_str());
    }
    std::fflush(m_out);
}

} // namespace kvs::tool
