#include <KvsDataBlocks/filters/pipedetect/VesselContour.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',';
}

// Splits one line (comment already cut) into at most max fields; count receives how
// many there were, even beyond max.
int SplitFields(std::string_view line, std::string_view* fields, int max)
{
    int count = 0;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsSeparator(line[i])) ++i;
        if (i >= line.size()) break;
        const size_t start = i;
        while (i < line.size() && !IsSeparator(line[i])) ++i;
        if (count < max) fields[count] = line.substr(start, i - start);
        ++count;
    }
    return count;
}

bool EqualsNoCase(std::string_view a, const char* b)
{
    const std::string_view bv(b);
    if (a.size() != bv.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != bv[i]) return false;
    }
    return true;
}

bool ParseFlag(std::string_view field, bool& flag)
{
    static constexpr const char* kTrue[] = {"1", "true", "yes"};
    static constexpr const char* kFalse[] = {"0", "false", "no"};
    for (const char* t : kTrue)
        if (EqualsNoCase(field, t)) return flag = true, true;
    for (const char* f : kFalse)
        if (EqualsNoCase(field, f)) return flag = false, true;
    return false;
}

} // namespace

void VesselContour::Clear()
{
    m_points.clear();
}

bool VesselContour::GetPoint(int index, VesselPoint& point) const
{
    if (index < 1 || index > GetSize()) return false;
    point = m_points[static_cast<size_t>(index - 1)];
    return true;
}

bool VesselContour::Create(const CString& fileName, int view)
{
    m_view = view;
    std::string content, failure;
    if (!ReadTextFile(fileName.str(), content, failure)) {
        Clear();
        m_error = CString(failure);
        return false;
    }
    if (!CreateFromText(CString(std::move(content)), view)) {
        m_error = CString(fileName) + ": " + m_error;
        return false;
    }
    return true;
}

bool VesselContour::CreateFromText(const CString& text, int view)
{
    m_view = view;
    Clear();
    m_error = CString();
    std::string_view rest = SkipByteOrderMark(text.str()), line;
    std::vector<VesselPoint> points;
    int lineNo = 0;
    auto fail = [&](const char* reason) {
        m_error.Format("line %d: %s", lineNo, reason);
        return false;
    };
    while (NextTextLine(rest, line)) {
        ++lineNo;
        const size_t comment = line.find_first_of("#;");
        if (comment != std::string_view::npos) line = line.substr(0, comment);
        if (line.find('\0') != std::string_view::npos) return fail("unexpected NUL character");
        std::string_view fields[4];
        const int count = SplitFields(line, fields, 4);
        if (count == 0) continue;
        if (count != 4) return fail("expected four fields: x y z flag");
        double v[3] = {};
        for (int i = 0; i < 3; ++i)
            if (!ParseFiniteDouble(fields[i], v[i])) return fail("coordinate is not a finite number");
        bool open = false;
        if (!ParseFlag(fields[3], open)) return fail("flag must be 0 or 1");
        if (static_cast<int>(points.size()) >= kMaxPoints) return fail("too many corner points");
        // Projection into the view's plane: side view (x, z), top view (x, y).
        points.emplace_back(v[0], view == kSideView ? v[2] : v[1], 0.0, open);
    }
    m_points = std::move(points);
    return true;
}
