// SurveySimulator: makes a synthetic but realistic survey line as data blocks, for the
// command-line tool, the tests, the benchmarks and the fuzzers: multibeam pings (group
// 1011) over a sloping, rippled seabed with depth-dependent noise, injected spikes and
// flying objects (fish, bubbles), or single-beam soundings (group 1010) with spikes.
// Blocks are laid out from the data definition. The same options (seed included) give
// the same blocks.
//
// Every multibeam beam carries the sonar's "good detection" bit kSonarGoodBit, as a real
// sonar marks its valid detections (the quality filter in mode 1 keeps such beams).
// Truth marks, so filter results can be judged: a multibeam beam the simulator disturbed
// carries bit kSimulatedOutlierBit (a sonar bit, which no filter sets or tests) in its
// flag word, and LastPingTruth() tells spikes from flying objects; a disturbed single-beam
// block carries block flag kSimulatedOutlierFlag. A multibeam block handed in already laid
// out for group 1011 is filled in as it is (any element order); otherwise it is laid out.
// Times are seconds since 1970 UTC; positions are grid metres, the line runs north.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

class CDataBlock;

namespace kvs {

inline constexpr unsigned int kSonarGoodBit = 0x01;
inline constexpr unsigned int kSimulatedOutlierBit = 0x80;
inline constexpr unsigned short kSimulatedOutlierFlag = 0x0200;

struct SurveyLineOptions
{
    enum class Kind { Multibeam, SingleBeam };
    Kind kind = Kind::Multibeam;
    int beams = 400;            // beams per ping (multibeam), 1 to 4000
    int pings = 200;            // pings or soundings
    double pingRate = 10.0;     // pings per second
    double depth = 30.0;        // metres at the start of the line, nadir
    double acrossSlope = 2.0;   // degrees, seabed rising to starboard
    double alongSlope = 0.5;    // percent, seabed deepening along the line
    double rippleHeight = 0.3;  // metres, crest to trough
    double rippleLength = 15.0; // metres along track
    double noise = 0.05;        // metres, one sigma at nadir; grows towards the outer beams
    double spikeRate = 0.002;   // fraction of beams (or soundings) given a spike
    double spikeMin = 0.15;     // a spike's jump as a fraction of the depth: spikeMin to
    double spikeMax = 0.5;      // spikeMax, up or down at random
    double flyingRate = 0.05;   // fraction of pings with a flying object
    double bumpHeight = 0.0;    // metres: a mound rising this far above the seabed (0: none), centred
    double bumpRadius = 0.0;    // under the track halfway along the line; its foot's radius, metres
    double swath = 120.0;       // degrees, full opening angle
    double speed = 2.5;         // metres per second over ground
    double startTime = 1767225600.0; // 2026-01-01 00:00:00 UTC
    double startX = 500000.0;
    double startY = 5800000.0;
    uint64_t seed = 1;
};

// What the simulator did to a beam.
enum class BeamTruth : unsigned char { Clean, Spike, Flying };

class SurveySimulator
{
public:
    explicit SurveySimulator(const SurveyLineOptions& options);

    // The next block of the line; false after the last one or when the block cannot be
    // laid out (the group is missing from the data definition).
    bool Next(CDataBlock& block);

    // Counts of what was injected so far.
    int64_t InjectedSpikes() const { return m_spikes; }
    int64_t InjectedFlyingBeams() const { return m_flyingBeams; }
    int Produced() const { return m_index; }
    // Per beam of the last multibeam ping made; empty before the first.
    const std::vector<BeamTruth>& LastPingTruth() const { return m_truth; }

    // Seabed depth (metres, positive down) at across-track x and along-track distance: the
    // slopes and ripples, less the mound (a raised cosine, height * (1 + cos(pi r / radius)) / 2
    // within radius r of its centre).
    double SeabedDepth(double across, double along) const;

private:
    bool NextMultibeam(CDataBlock& block);
    bool NextSingleBeam(CDataBlock& block);

    SurveyLineOptions m_opt;
    std::mt19937_64 m_rng;
    int m_index = 0;
    int64_t m_spikes = 0;
    int64_t m_flyingBeams = 0;
    std::vector<BeamTruth> m_truth;
};

} // namespace kvs
