// SurfacePicture: what a surveyor looks at first: the surface as shaded relief (light from
// the north-west, 45 degrees up) coloured by depth, with a colour bar of depths, a scale
// bar and a north arrow (grid north, up). Labels are drawn with a built-in 5 x 7 pixel
// font, so the picture needs no font installed. With a mark layer, the cells it marks are
// drawn red over a grey relief (the qa map of failing cells).
#pragma once

#include "Gridding.h"

#include <string>
#include <vector>

namespace kvs::surface {

struct Picture
{
    int width = 0, height = 0;
    std::vector<unsigned char> rgb; // rows of width * 3 bytes
};

// title: drawn above the map. marks: empty, or one value per cell (1 marked, 0 not).
Picture DrawSurface(const Surface& surface, const std::string& title, const std::vector<unsigned char>& marks = {});

} // namespace kvs::surface
