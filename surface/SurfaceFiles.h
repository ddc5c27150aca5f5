// SurfaceFiles: a gridded surface written through GDAL, each file whole or not at all (it
// is written beside the target under a temporary name and renamed over it when complete).
//  - GeoTIFF: three Float32 bands "depth" (metres, positive down), "uncertainty" (one
//    sigma, metres) and "count"; no-data -9999 where no sounding fell; the cells centred on
//    the grid's nodes; metadata items name the depth estimate, the uncertainty's source,
//    the vertical reference, the lines and the time span.
//  - BAG: elevation (= -depth, metres, positive up, as BAG holds it) and uncertainty, with
//    the BAG metadata filled from what we know (extents and resolution, the horizontal
//    system, the date, the vertical datum "unknown" unless a tide file gave one).
//  - PNG: the picture of SurfacePicture.
#pragma once

#include "Gridding.h"

#include <string>
#include <vector>

namespace kvs::surface {

inline constexpr float kNoData = -9999.0f;

struct SurfaceDescription
{
    std::string crsWkt; // empty: no system (positions of unknown origin)
    std::string verticalReference;
    std::string verticalDatum; // BAG's vertical datum name; empty: "unknown"
    std::vector<std::string> lines;
    double firstTime = 0.0, lastTime = 0.0;
};

// Each returns an empty string on success, else why it failed (naming the file).
std::string WriteGeoTiff(const Surface& surface, const SurfaceDescription& about, const std::string& path);
std::string WriteBag(const Surface& surface, const SurfaceDescription& about, const std::string& path);
// An RGB picture (rows of width * 3 bytes) as PNG.
std::string WritePng(const std::vector<unsigned char>& rgb, int width, int height, const std::string& path);

} // namespace kvs::surface
