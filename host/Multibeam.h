// Multibeam: the base library's judgement of a multibeam beam's 32-bit flag word, which
// the multibeam filters consult before testing a beam and when counting rejected beams.
#pragma once

namespace Multibeam {

// A beam is rejected when any filter reject bit is set in its flag word:
//   0x100 reject list, 0x200 quality, 0x400 slant range, 0x800 depth window,
//   0x1000 swath limits, 0x2000 slope, 0x4000 angle, 0x8000 statistics,
//   0x100000 flying objects, 0x400000 custom error limit, 0x800000 IHO error limits,
//   0x1000000 smart filter.
// The sonar's own bits 0-7 and the ping-word-only bits 0x10000 and 0x20000 do not reject.
inline constexpr unsigned int kBeamRejectMask = 0x0000FF00u | 0x00100000u | 0x00400000u | 0x00800000u | 0x01000000u;

constexpr bool IsBeamRejected(unsigned int flags)
{
    return (flags & kBeamRejectMask) != 0;
}

} // namespace Multibeam
