#include "SvgPicture.h"

#include <ios>

namespace kvs::tool {

void BeginSvg(std::ostream& s, int width, int height, int left, const std::string& title)
{
    s.setf(std::ios::fixed);
    s.precision(1);
    s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
      << "<text x=\"" << left << "\" y=\"24\" font-size=\"15\">" << title << "</text>\n";
}

void FrameSvg(std::ostream& s, double left, double top, double width, double height)
{
    s << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << width << "\" height=\"" << height
      << "\" fill=\"none\" stroke=\"#444\"/>\n";
}

} // namespace kvs::tool
