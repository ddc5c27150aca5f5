// KongsbergSwath: one swath of a Kongsberg multibeam ping as KongsbergAllReader and
// KongsbergKmallReader deliver it, in SI units, ready for KongsbergBlockMapper. A swath is
// what one transmission covers across track: the datagrams of its heads or receive fans
// are joined port first, and the two swaths of a dual-swath ping are two swaths here.
// Beam 0 is the outermost port beam. Besides the values, every beam keeps the sonar's own
// flag bytes unchanged and the file offset of the byte an edit writes, so that the
// filters' verdicts can go back into a copy of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvs {

struct KongsbergSwath
{
    // One datagram the swath came from (.all XYZ 88; .kmall #MRZ).
    struct Part
    {
        uint64_t index = 0;      // 0-based datagram index in the file
        uint64_t offset = 0;     // byte offset of the datagram
        uint64_t checksumAt = 0; // .all: byte offset of the 16-bit checksum (0 for .kmall)
        int firstBeam = 0;       // the part's beams start here in the swath
    };

    uint32_t seconds = 0;     // since 1970-01-01 UTC
    uint32_t nanoseconds = 0; // 0 .. 999 999 999
    uint16_t pingCounter = 0; // the sonar's own ping counter (wraps at 65535)
    uint16_t serial = 0;      // .all system serial of the first head; .kmall system id
    int swath = 0;            // along-track position of the swath in its ping, 0 = first/aft-most
    double frequency = 0.0;   // centre frequency of the ping, Hz; 0 when the file does not say
    double transducerDepth = 0.0; // metres below the water line at the ping

    // Position of the reference point that across and along are measured from.
    bool hasPosition = false;
    double latitude = 0.0, longitude = 0.0; // degrees, north and east positive

    int beamCount = 0;
    std::vector<float> depth;  // metres below the water line, positive down
    std::vector<float> across; // metres, starboard positive
    std::vector<float> along;  // metres, forward positive
    bool hasAngle = false;
    std::vector<float> angle;  // degrees from the receive array, port negative
    bool hasErrors = false;
    std::vector<float> verticalError, horizontalError; // metres
    std::vector<uint8_t> usable;    // 1 when the sonar accepted the beam
    std::vector<uint8_t> native8;   // .all detection information; .kmall type | method << 4
    std::vector<uint16_t> native16; // .all detection info | cleaning << 8; .kmall rejection 1 | 2 << 8
    std::vector<uint64_t> editAt;   // byte offset of the flag byte an edit writes
    std::vector<Part> parts;
    int extraDetections = 0;        // .kmall extra detections of the swath (not beams)

    double Time() const { return seconds + nanoseconds * 1e-9; }
    bool IsUsable(int beam) const { return usable[static_cast<std::size_t>(beam)] != 0; }

    void Clear()
    {
        *this = KongsbergSwath();
    }
    void Resize(int n)
    {
        const std::size_t s = static_cast<std::size_t>(n);
        beamCount = n;
        depth.resize(s), across.resize(s), along.resize(s), angle.resize(s);
        verticalError.resize(s), horizontalError.resize(s);
        usable.resize(s), native8.resize(s), native16.resize(s), editAt.resize(s);
    }
    // Appends the beams of another part of the same swath (the starboard head or fan).
    void Append(const KongsbergSwath& other);
};

inline void KongsbergSwath::Append(const KongsbergSwath& o)
{
    auto add = [](auto& to, const auto& from) { to.insert(to.end(), from.begin(), from.end()); };
    const int first = beamCount;
    if (hasAngle != o.hasAngle) hasAngle = false;
    if (hasErrors != o.hasErrors) hasErrors = false;
    add(depth, o.depth), add(across, o.across), add(along, o.along), add(angle, o.angle);
    add(verticalError, o.verticalError), add(horizontalError, o.horizontalError);
    add(usable, o.usable), add(native8, o.native8), add(native16, o.native16), add(editAt, o.editAt);
    for (Part p : o.parts) {
        p.firstBeam += first;
        parts.push_back(p);
    }
    beamCount += o.beamCount;
    extraDetections += o.extraDetections;
}

} // namespace kvs
