// VesselContour: the outline of a vessel's fixed structures as seen in one view, loaded
// from a contour text file; the pipe-detection filter masks beams that cross it. It owns
// its corner points, already projected into the view's plane.
//
// File format: one corner point a line, "x y z flag" (metres in the vessel frame),
// separated by blanks, tabs or commas. flag is 0 or 1 (also false/true, no/yes, any
// letter case); 1 marks the edge from the previous corner to this one as open. Blank
// lines and text from '#' or ';' to the end of a line are comments; a trailing CR is
// dropped. At most kMaxPoints corners.
//
// Views: kSideView (5) gives the points as (x, z, 0), any other view the top view
// (x, y, 0); GetPoint returns the projected point, so segment tests run in x-y.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/filters/pipedetect/VesselPoint.h>
#include <KvsDataBlocks/platform/CString.h>

#include <vector>

class KVS_API VesselContour
{
public:
    static constexpr int kSideView = 5;
    static constexpr int kMaxPoints = 10000;

    // Loads the contour of fileName for view. On failure (file missing or unreadable,
    // a malformed line, too many points) the contour is left empty, the result is false
    // and GetLastError() says why: "<file>: cannot open: ..." (ReadTextFile) or "<file>: line N: <reason>".
    // A file without any corner point loads as an empty contour (true).
    bool Create(const CString& fileName, int view);
    // The same from the text of a contour file.
    bool CreateFromText(const CString& text, int view);
    void Clear();

    int GetSize() const { return static_cast<int>(m_points.size()); }
    // Corner number index, counted from 1; false and point untouched outside 1..GetSize().
    bool GetPoint(int index, VesselPoint& point) const;
    int GetView() const { return m_view; }
    // Empty after a successful load.
    const CString& GetLastError() const { return m_error; }

private:
    std::vector<VesselPoint> m_points;
    int m_view = kSideView;
    CString m_error;
};
