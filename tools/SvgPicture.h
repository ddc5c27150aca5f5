// The opening of every picture the tool draws: the SVG element of the given size, a white
// background, the title, and numbers written with one decimal from then on.
#pragma once

#include <ostream>
#include <string>

namespace kvs::tool {

void BeginSvg(std::ostream& s, int width, int height, int left, const std::string& title);

// A plot frame: the outline of the plotting area.
void FrameSvg(std::ostream& s, double left, double top, double width, double height);

} // namespace kvs::tool
