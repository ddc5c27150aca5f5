#include "GsfFiles.h"
#include "datablocks/TestBlocks.h"

#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>
#include <KvsDataBlocks/config/UseAsCodes.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using kvs::GsfBlockMapper;
using kvs_test::Get;
using kvs::GsfPing;
using namespace UseAs;

// The items of an array element, copied out (block arrays need not be aligned).
template <typename T>
static std::vector<T> Items(const CDataBlock& b, unsigned short useAs)
{
    CKvsBytePtr e;
    if (!b.GetData(useAs, e, CDataBlock::kByUseAs)) return {};
    std::vector<T> v(e.GetLength() / sizeof(T));
    if (!v.empty()) std::memcpy(v.data(), e.GetDataPtr(), v.size() * sizeof(T));
    return v;
}

static GsfPing FirstPing(const char* file)
{
    kvs::GsfReader reader;
    CString error;
    EXPECT_TRUE(reader.Open((gsftest::kDir + file).c_str(), error));
    while (reader.Next(error) == kvs::GsfReader::Result::Record)
        if (reader.IsPing()) return reader.Ping();
    return {};
}

static GsfPing SmallPing(int beams)
{
    GsfPing p;
    p.seconds = 1700000000;
    p.latitude = 54.0;
    p.longitude = 10.0;
    p.beamCount = beams;
    p.depthCorrector = p.tideCorrector = p.gpsTideCorrector = 99.99; // unknown
    p.depth = p.acrossTrack = {true, std::vector<double>(static_cast<size_t>(beams), 10.0)};
    return p;
}

TEST(GsfBlockMapper, RealPingsFillTheMultibeamBlock)
{
    GSF_FILES_OR_SKIP();
    const GsfPing p = FirstPing(gsftest::k0059);
    // As the reader decodes it: beam 0, the outermost port beam, has a negative across-track
    // distance and a positive angle in this file; the height is unknown.
    ASSERT_TRUE(p.acrossTrack.present && p.beamAngle.present && p.verticalError.present && p.horizontalError.present);
    EXPECT_EQ(std::tuple(p.acrossTrack.values[0], p.beamAngle.values[0], p.height), std::tuple(-2693.42, 53.60, 9999.99));
    GsfBlockMapper mapper;
    CDataBlock b;
    CString error;
    ASSERT_TRUE(mapper.Map(p, 1, b, error)) << error.GetString();
    EXPECT_DOUBLE_EQ(b.GetTime(), 1541193704.559999465);
    EXPECT_EQ(std::tuple(b.GetDataId().GetGroupId(), Get<int>(b, kPingNumber), Get<int>(b, kBeamCount), Get<int>(b, kRejectedBeams),
                         mapper.UtmZone(), Get<unsigned int>(b, kTimeSeconds), Get<unsigned int>(b, kTimeNanoseconds)),
              std::tuple(1011, 1, 432, 14, 20, 1541193704u, 559999465u));
    // Depth corrector, tide 0; positions against PROJ's command line, +proj=utm +zone=20 +datum=WGS84.
    const struct { unsigned short code; double value, tolerance; } values[] = {
        {kVerticalOffset, -3.29, 1e-12}, {kVerticalReference, 0.0, 0},      {kLatitude, 17.8471517, 1e-12},
        {kLongitude, -64.5970738, 1e-12}, {kPositionX, 330766.6010, 1e-3}, {kPositionY, 1973998.1338, 1e-3}};
    for (const auto& v : values) EXPECT_NEAR(Get<double>(b, v.code), v.value, v.tolerance) << v.code;
    // The heading from grid north: true north lies 0.4896 degrees east of grid north there
    // (PROJ: the point 0.0001 degrees north of the ping).
    EXPECT_NEAR(Get<double>(b, kHeading), p.heading + 0.48959, 1e-4);

    // z is up, this writer's port angles are positive; flag bit 0 set: not usable.
    std::vector<float> x, z, angle;
    std::vector<unsigned int> words;
    for (size_t i = 0; i < 432; ++i) {
        x.push_back(static_cast<float>(p.acrossTrack.values[i]));
        z.push_back(static_cast<float>(-p.depth.values[i]));
        angle.push_back(static_cast<float>(-p.beamAngle.values[i]));
        words.push_back((p.beamFlags[i] & 1) ? 0u : 1u);
    }
    EXPECT_EQ(std::tuple(Items<float>(b, kAcrossTrack), Items<float>(b, kBeamZ), Items<float>(b, kBeamAngle),
                         Items<unsigned int>(b, kBeamFlags), Items<unsigned char>(b, kGsfBeamFlags)),
              std::tuple(x, z, angle, words, p.beamFlags));
    for (unsigned short code : {kAlongTrack, kEstimatedVertError, kEstimatedHorError, kAllowedVertError, kAllowedHorError})
        EXPECT_EQ(Items<float>(b, code).size(), 432u) << code;

    // An old single-beam file: no error arrays, a tide offset of -10 cm, the depth
    // corrector unknown.
    GsfBlockMapper old; // its zone is that of its first ping
    ASSERT_TRUE(old.Map(FirstPing(gsftest::k6184), 1, b, error)) << error.GetString();
    EXPECT_NEAR(Get<double>(b, kVerticalOffset), -0.10, 1e-12);
    EXPECT_EQ(std::tuple(old.UtmZone(), Items<float>(b, kBeamZ).size(), Items<float>(b, kEstimatedVertError).size(),
                         Items<float>(b, kEstimatedHorError).size()), std::tuple(18, 1u, 0u, 0u));
}

TEST(GsfBlockMapper, FlagsErrorsAndCorrectorsOfConstructedPings)
{
    GsfBlockMapper mapper;
    CDataBlock b;
    CString error;
    // Obsolete error arrays: 11 for the vertical, the root sum of squares of 12 and 13.
    GsfPing p = SmallPing(3);
    p.depthError = {true, {0.1, 0.2, 0.3}};
    p.acrossTrackError = {true, {3.0, 0.0, 6.0}};
    p.alongTrackError = {true, {4.0, 1.0, 8.0}};
    p.gpsTideCorrector = -0.25;
    p.depthCorrector = 4.5;
    p.pingFlags = 0x2000; // vertical control by GPS: its tide corrector was applied
    ASSERT_TRUE(mapper.Map(p, 7, b, error)) << error.GetString(); // no beam flags: all usable
    EXPECT_EQ(std::tuple(Items<float>(b, kEstimatedVertError), Items<float>(b, kEstimatedHorError),
                         Get<double>(b, kVerticalOffset), Items<unsigned int>(b, kBeamFlags), mapper.UtmZone()),
              std::tuple(std::vector{0.1f, 0.2f, 0.3f}, std::vector{5.0f, 1.0f, 10.0f}, 4.25, std::vector{1u, 1u, 1u}, 32));

    // An ignored ping without error arrays: no beam good, no stale errors of the last ping,
    // every corrector unknown.
    GsfPing q = SmallPing(3);
    q.pingFlags = 0x0001;
    q.hasBeamFlags = true;
    q.beamFlags = {0x00, 0x01, 0x02};
    ASSERT_TRUE(mapper.Map(q, 8, b, error)) << error.GetString();
    EXPECT_EQ(std::tuple(Items<unsigned int>(b, kBeamFlags), Get<int>(b, kRejectedBeams),
                         Get<unsigned short>(b, kGsfPingFlags), Items<unsigned char>(b, kGsfBeamFlags),
                         Items<float>(b, kEstimatedVertError), Items<float>(b, kEstimatedHorError),
                         Get<double>(b, kVerticalOffset)),
              std::tuple(std::vector{0u, 0u, 0u}, 3, 1, q.beamFlags, std::vector<float>(), std::vector<float>(), 0.0));

    // Pings the block cannot hold are refused, never truncated.
    GsfPing noAcross = SmallPing(3);
    noAcross.acrossTrack.present = false;
    for (const auto& [ping, text] : {std::pair{SmallPing(4001), "4001 beams"}, std::pair{noAcross, "no across-track"}})
        EXPECT_EQ((std::tuple{mapper.Map(ping, 9, b, error), std::string(error.GetString()).find(text) != std::string::npos}),
                  std::tuple(false, true)) << error.GetString();
}

TEST(GsfBlockMapper, UtmZonesWithTheNorwayAndSvalbardExceptions)
{
    const struct { double lat, lon; int zone; } cases[] = {
        {17.8, -64.6, 20}, {-33.9, 18.4, -34}, {60.0, 5.0, 32}, {55.9, 5.0, 31}, {78.0, 15.0, 33},
        {78.0, 8.9, 31},   {0.0, 180.0, 60},   {0.0, -180.0, 1}, {91.0, 0.0, 0},  {NAN, 0.0, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(GsfBlockMapper::ZoneOf(c.lat, c.lon), c.zone) << c.lat << " " << c.lon;
}
