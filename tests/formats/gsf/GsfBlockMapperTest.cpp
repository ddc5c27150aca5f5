#include "GsfFiles.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>
#include <KvsDataBlocks/config/UseAsCodes.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using kvs::GsfBlockMapper;
using kvs::GsfPing;
using namespace UseAs;

namespace {

// The items of an array element, copied out (block arrays need not be aligned).
template <typename T>
std::vector<T> Items(const CDataBlock& b, unsigned short useAs)
{
    CKvsBytePtr e;
    if (!b.GetData(useAs, e, CDataBlock::kByUseAs)) return {};
    std::vector<T> v(e.GetLength() / sizeof(T));
    if (!v.empty()) std::memcpy(v.data(), e.GetDataPtr(), v.size() * sizeof(T));
    return v;
}

template <typename T>
T Value(const CDataBlock& b, unsigned short useAs)
{
    T v{};
    unsigned short status = 0;
    EXPECT_TRUE(b.GetDataValue(useAs, v, status, CDataBlock::kByUseAs)) << useAs;
    return v;
}

GsfPing FirstPing(const char* file)
{
    kvs::GsfReader reader;
    CString error;
    EXPECT_TRUE(reader.Open((gsftest::kDir + file).c_str(), error));
    while (reader.Next(error) == kvs::GsfReader::Result::Record)
        if (reader.IsPing()) return reader.Ping();
    return {};
}

GsfPing SmallPing(int beams)
{
    GsfPing p;
    p.seconds = 1700000000;
    p.latitude = 54.0;
    p.longitude = 10.0;
    p.beamCount = beams;
    p.depthCorrector = p.tideCorrector = p.gpsTideCorrector = 99.99; // unknown
    for (kvs::GsfBeamValues* a : {&p.depth, &p.acrossTrack}) {
        a->present = true;
        a->values.assign(static_cast<size_t>(beams), 10.0);
    }
    return p;
}

} // namespace

TEST(GsfBlockMapper, Em302PingFillsTheMultibeamBlock)
{
    GSF_FILES_OR_SKIP();
    const GsfPing p = FirstPing(gsftest::k0059);
    // As the reader decodes it: beam 0, the outermost port beam, has a negative across-track
    // distance and a positive angle in this file; the height is unknown.
    ASSERT_TRUE(p.acrossTrack.present && p.beamAngle.present && p.verticalError.present && p.horizontalError.present);
    EXPECT_NEAR(p.acrossTrack.values[0], -2693.42, 1e-9);
    EXPECT_NEAR(p.beamAngle.values[0], 53.60, 1e-9);
    EXPECT_NEAR(p.acrossTrack.values[431], 1750.42, 1e-9);
    EXPECT_NEAR(p.height, 9999.99, 1e-9);
    GsfBlockMapper mapper;
    CDataBlock b;
    CString error;
    ASSERT_TRUE(mapper.Map(p, 1, b, error)) << error.GetString();
    EXPECT_EQ(b.GetDataId().GetGroupId(), 1011);
    EXPECT_EQ((std::vector<int>{Value<int>(b, kPingNumber), Value<int>(b, kBeamCount), Value<int>(b, kRejectedBeams),
                                mapper.UtmZone()}), (std::vector<int>{1, 432, 14, 20}));
    EXPECT_DOUBLE_EQ(b.GetTime(), 1541193704.559999465);
    EXPECT_EQ(Value<unsigned int>(b, kTimeSeconds), 1541193704u);
    EXPECT_EQ(Value<unsigned int>(b, kTimeNanoseconds), 559999465u);
    // Depth corrector, tide 0; positions against PROJ's command line, +proj=utm +zone=20 +datum=WGS84.
    const struct { unsigned short code; double value, tolerance; } values[] = {
        {kVerticalOffset, -3.29, 1e-12}, {kVerticalReference, 0.0, 0},      {kLatitude, 17.8471517, 1e-12},
        {kLongitude, -64.5970738, 1e-12}, {kPositionX, 330766.6010, 1e-3}, {kPositionY, 1973998.1338, 1e-3}};
    for (const auto& v : values) EXPECT_NEAR(Value<double>(b, v.code), v.value, v.tolerance) << v.code;

    const auto x = Items<float>(b, kAcrossTrack), y = Items<float>(b, kAlongTrack), z = Items<float>(b, kBeamZ);
    const auto angle = Items<float>(b, kBeamAngle);
    const auto words = Items<unsigned int>(b, kBeamFlags);
    const auto gsfFlags = Items<unsigned char>(b, kGsfBeamFlags);
    for (const auto* v : {&x, &y, &z, &angle}) ASSERT_EQ(v->size(), 432u);
    ASSERT_EQ(words.size(), 432u);
    EXPECT_EQ(gsfFlags, p.beamFlags);
    for (unsigned short code : {kEstimatedVertError, kEstimatedHorError, kAllowedVertError, kAllowedHorError})
        EXPECT_EQ(Items<float>(b, code).size(), 432u) << code;
    int agree = 0;
    for (size_t i = 0; i < 432; ++i) {
        EXPECT_EQ(x[i], static_cast<float>(p.acrossTrack.values[i]));
        EXPECT_EQ(z[i], static_cast<float>(-p.depth.values[i]));
        EXPECT_EQ(angle[i], static_cast<float>(-p.beamAngle.values[i])); // this writer's port beams are positive
        EXPECT_EQ(words[i], (p.beamFlags[i] & 1) ? 0u : 1u);
        if ((angle[i] < 0) == (x[i] < 0)) ++agree;
    }
    EXPECT_GT(agree, 400);
}

TEST(GsfBlockMapper, OldSingleBeamFileHasNoErrorArraysAndATideOffset)
{
    GSF_FILES_OR_SKIP();
    GsfBlockMapper mapper;
    CDataBlock b;
    CString error;
    ASSERT_TRUE(mapper.Map(FirstPing(gsftest::k6184), 1, b, error)) << error.GetString();
    EXPECT_NEAR(Value<double>(b, kVerticalOffset), -0.10, 1e-12); // tide -10 cm, depth corrector unknown
    EXPECT_EQ(mapper.UtmZone(), 18);
    EXPECT_EQ(Items<float>(b, kBeamZ).size(), 1u);
    EXPECT_TRUE(Items<float>(b, kEstimatedVertError).empty());
    EXPECT_TRUE(Items<float>(b, kEstimatedHorError).empty());
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
    ASSERT_TRUE(mapper.Map(p, 7, b, error)) << error.GetString();
    EXPECT_EQ(Items<float>(b, kEstimatedVertError), (std::vector<float>{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(Items<float>(b, kEstimatedHorError), (std::vector<float>{5.0f, 1.0f, 10.0f}));
    EXPECT_DOUBLE_EQ(Value<double>(b, kVerticalOffset), 4.25);
    EXPECT_EQ(Items<unsigned int>(b, kBeamFlags), (std::vector<unsigned int>{1, 1, 1})); // no flags: all usable
    EXPECT_EQ(mapper.UtmZone(), 32);

    // An ignored ping without error arrays: no beam good, no stale errors of the last ping.
    GsfPing q = SmallPing(3);
    q.pingFlags = 0x0001;
    q.hasBeamFlags = true;
    q.beamFlags = {0x00, 0x01, 0x02};
    ASSERT_TRUE(mapper.Map(q, 8, b, error)) << error.GetString();
    EXPECT_EQ(Items<unsigned int>(b, kBeamFlags), (std::vector<unsigned int>{0, 0, 0}));
    EXPECT_EQ(Value<int>(b, kRejectedBeams), 3);
    EXPECT_EQ(Value<unsigned short>(b, kGsfPingFlags), 1);
    EXPECT_EQ(Items<unsigned char>(b, kGsfBeamFlags), q.beamFlags);
    EXPECT_TRUE(Items<float>(b, kEstimatedVertError).empty());
    EXPECT_TRUE(Items<float>(b, kEstimatedHorError).empty());
    EXPECT_EQ(Value<double>(b, kVerticalOffset), 0.0); // every corrector unknown

    // Pings the block cannot hold are refused, never truncated.
    EXPECT_FALSE(mapper.Map(SmallPing(4001), 9, b, error));
    EXPECT_NE(std::string(error.GetString()).find("4001 beams"), std::string::npos) << error.GetString();
    GsfPing noAcross = SmallPing(3);
    noAcross.acrossTrack.present = false;
    EXPECT_FALSE(mapper.Map(noAcross, 10, b, error));
    EXPECT_NE(std::string(error.GetString()).find("no across-track"), std::string::npos) << error.GetString();
}

TEST(GsfBlockMapper, UtmZonesWithTheNorwayAndSvalbardExceptions)
{
    const struct { double lat, lon; int zone; } cases[] = {
        {17.8, -64.6, 20}, {-33.9, 18.4, -34}, {60.0, 5.0, 32}, {55.9, 5.0, 31}, {78.0, 15.0, 33},
        {78.0, 8.9, 31},   {0.0, 180.0, 60},   {0.0, -180.0, 1}, {91.0, 0.0, 0},  {NAN, 0.0, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(GsfBlockMapper::ZoneOf(c.lat, c.lon), c.zone) << c.lat << " " << c.lon;
}
