#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/geometry/KvsMath.h>
#include <KvsDataBlocks/platform/CKvsString.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {


// IHO S-44 (4th edition) orders 0 (special) to 3, and the additional order 4: the
// constants a, b of the allowed vertical error sqrt(a^2 + (b d)^2) and the fixed part
// and depth factor of the allowed horizontal error (fixed + factor * |d|).
struct IhoOrder
{
    float a;
    float b;
    float horFixed;
    float horPer100m; // added per 100 m of depth
};
constexpr IhoOrder kIhoOrders[] = {
    {0.25f, 0.0075f, 2.0f, 0.0f},
    {0.5f, 0.013f, 5.0f, 5.0f},
    {1.0f, 0.023f, 20.0f, 5.0f},
    {1.0f, 0.023f, 150.0f, 5.0f},
    {0.1f, 0.0075f, 0.4f, 0.0f},
};

const IhoOrder* FindIhoOrder(int order)
{
    return order >= 0 && order < static_cast<int>(std::size(kIhoOrders)) ? &kIhoOrders[order] : nullptr;
}

// Single precision throughout, as the limits are defined.
float IhoVertError(const IhoOrder& o, float d)
{
    const float bd = o.b * d;
    return std::sqrt(o.a * o.a + bd * bd);
}

float IhoHorError(const IhoOrder& o, float d)
{
    if (o.horPer100m == 0.0f) return o.horFixed;
    return o.horFixed + o.horPer100m * std::fabs(d) / 100.0f;
}

// Quantile-scale attribute values 6 to 9; 1 .. 5 (and below) give 7 - n, above 9 give 1.
constexpr double kQuantScales[] = {1.0, 0.5, 0.2, 0.1};

template <typename T>
void ReadScalar(const CDataBlock& block, unsigned short useAs, T& member)
{
    T value{};
    unsigned short status = 0;
    if (block.GetDataValue(useAs, value, status, CDataBlock::kByUseAs)) member = value;
}

template <typename T>
void WriteScalar(CDataBlock& block, unsigned short useAs, T value, unsigned short status = 0)
{
    block.SetDataValue(useAs, value, status, CDataBlock::kByUseAs);
}

// The element of use-as code useAs when it is an array of type code type (or alt) with
// exactly count items of itemSize bytes; null otherwise.
const CKvsBytePtr* FindArray(const CDataBlock& block, unsigned short useAs, unsigned short type, unsigned short alt,
                             unsigned int itemSize, int count)
{
    CKvsBytePtr* e = nullptr;
    if (!block.GetData(useAs, e, CDataBlock::kByUseAs) || !e) return nullptr;
    if (e->GetType() != type && e->GetType() != alt) return nullptr;
    if (count < 0 || e->GetLength() / itemSize != static_cast<unsigned int>(count)) return nullptr;
    if (count > 0 && !e->GetDataPtr()) return nullptr;
    return e;
}

// Copies count items of the element's bytes into own (no alignment needed); own on
// success, null when the element is absent.
template <typename T>
T* CopyArrayIn(const CKvsBytePtr* e, T* own, int count)
{
    if (!e || !own) return nullptr;
    if (count > 0) std::memcpy(own, e->GetDataPtr(), static_cast<size_t>(count) * sizeof(T));
    return own;
}

// Writes count items into the element of use-as code useAs (when the block has one of
// type code type), resizing it when its length differs; status 0.
template <typename T>
void WriteArray(CDataBlock& block, unsigned short useAs, unsigned short type, const T* items, int count)
{
    if (!items) return;
    CKvsBytePtr* e = nullptr;
    if (!block.GetData(useAs, e, CDataBlock::kByUseAs) || !e || e->GetType() != type) return;
    const size_t bytes = static_cast<size_t>(count) * sizeof(T);
    if (e->GetLength() == bytes) {
        if (bytes) std::memcpy(e->GetDataPtr(), items, bytes);
        e->SetStatus(0);
        return;
    }
    block.SetDataValue(useAs, items, count, 0, CDataBlock::kByUseAs);
}

// The beam flag array may be stored as ET_UINT_ARRAY or as ET_ULONG_ARRAY (32-bit too).
void WriteFlags(CDataBlock& block, const unsigned int* flags, int count)
{
    if (!flags) return;
    CKvsBytePtr* e = nullptr;
    if (!block.GetData(UseAs::kBeamFlags, e, CDataBlock::kByUseAs) || !e) return;
    if (e->GetType() == ET_UINT_ARRAY) {
        WriteArray(block, UseAs::kBeamFlags, ET_UINT_ARRAY, flags, count);
    } else if (e->GetType() == ET_ULONG_ARRAY) {
        const size_t bytes = static_cast<size_t>(count) * 4;
        if (e->GetLength() == bytes) {
            if (bytes) std::memcpy(e->GetDataPtr(), flags, bytes);
            e->SetStatus(0);
        } else {
            std::vector<unsigned long> wide(flags, flags + count);
            block.SetDataValue(UseAs::kBeamFlags, wide.data(), count, 0, CDataBlock::kByUseAs);
        }
    }
}

bool Rejected(const PingStruct& ping, int i)
{
    return Multibeam::IsBeamRejected(ping.flags[i]);
}

// The shape of most per-beam tests: ORs bit into every beam for which fails(i) holds,
// skipping beams already rejected when skipRejected. True when any beam was flagged.
// (A template, so each test is compiled into its own loop.)
template <bool skipRejected, typename Fails>
bool FlagBeams(PingStruct& ping, unsigned int bit, Fails fails)
{
    bool any = false;
    for (int i = 0; i < ping.beamCount; ++i) {
        if (skipRejected && Rejected(ping, i)) continue;
        if (fails(i)) {
            ping.flags[i] |= bit;
            any = true;
        }
    }
    return any;
}

// Depths as 32-bit keys that sort like the floats (for numbers; -0 sorts before +0, which
// changes no quantile). The largest key is a NaN pattern that no depth sample takes.
constexpr int32_t kNoKey = INT32_MAX;

int32_t DepthKey(float f)
{
    int32_t i = kvs::LoadLE<int32_t>(reinterpret_cast<const unsigned char*>(&f));
    return i ^ ((i >> 31) & 0x7FFFFFFF);
}

double KeyDepth(int32_t k)
{
    const int32_t i = k ^ ((k >> 31) & 0x7FFFFFFF);
    float f;
    std::memcpy(&f, &i, sizeof f);
    return f;
}

} // namespace

MultibeamFilter::MultibeamFilter(CAttributeMap* attributes)
{
    for (PingStruct& slot : m_window) slot.Init();
    SetAttributes(attributes);
}

MultibeamFilter::MultibeamFilter(const MultibeamFilter& other) = default;
MultibeamFilter& MultibeamFilter::operator=(const MultibeamFilter& other) = default;

MultibeamFilter::~MultibeamFilter()
{
    ReleaseWindow();
}

bool MultibeamFilter::SetAttributes(CAttributeMap* attributes)
{
    m_beamReject = m_quality = m_range = m_depth = m_nadir = m_nadirDistance = false;
    m_slope = m_angle = m_statistics = m_flyingObjects = m_smart = false;
    m_nadirAngleMode = 1;
    if (attributes) {
        const CAttributeMap& a = *attributes;
        unsigned int st = 0;
        a.GetAttribValue(ATTR_BEAMREJECTFILTER, m_beamReject, st);
        CString list;
        if (a.GetAttribValue(ATTR_FILTERREJECTBEAMS, list, st)) ParseRejectList(list);
        a.GetAttribValue(ATTR_QUALITYFILTER, m_quality, st);
        a.GetAttribValue(ATTR_FILTERQUALITY, m_qualityMode, st);
        a.GetAttribValue(ATTR_RANGEFILTER, m_range, st);
        a.GetAttribValue(ATTR_FILTERMINRANGE, m_minRange, st);
        a.GetAttribValue(ATTR_FILTERMAXRANGE, m_maxRange, st);
        a.GetAttribValue(ATTR_DEPTHFILTER, m_depth, st);
        a.GetAttribValue(ATTR_FILTERMINDEPTH, m_minDepth, st);
        a.GetAttribValue(ATTR_FILTERMAXDEPTH, m_maxDepth, st);
        a.GetAttribValue(ATTR_NADIRFILTER, m_nadir, st);
        a.GetAttribValue("NadirAngleFilter", m_nadirAngleMode, st);
        double total = 0.0;
        if (a.GetAttribValue(ATTR_FILTERNADIRANGLE, total, st)) m_portAngle = m_starboardAngle = total / 2.0;
        // The explicit per-side angles are read after the total and win over it.
        a.GetAttribValue(ATTR_FILTERPORTNADIRANGLE, m_portAngle, st);
        a.GetAttribValue(ATTR_FILTERSTARBOARDNADIRANGLE, m_starboardAngle, st);
        a.GetAttribValue("NadirDistanceFilter", m_nadirDistance, st);
        a.GetAttribValue("FilterPortNadirDistance", m_portDistance, st);
        m_portDistance = std::fabs(m_portDistance);
        a.GetAttribValue("FilterStarboardNadirDistance", m_starboardDistance, st);
        m_starboardDistance = std::fabs(m_starboardDistance);
        a.GetAttribValue("FlyingObjectsFilter", m_flyingObjects, st);
        a.GetAttribValue("FlyingObjectSize", m_flyingSize, st);
        a.GetAttribValue("FlyingObjectBorder", m_flyingBorder, st);
        a.GetAttribValue("SmartFilter", m_smart, st);
        a.GetAttribValue("ReliableAngleSector", m_reliableAngle, st);
        a.GetAttribValue("DepthWidthRatio", m_depthWidthRatio, st);
        a.GetAttribValue("NumberAveragingClips", m_averagingClips, st);
        a.GetAttribValue("NadirAreaPercentage", m_nadirAreaPercent, st);
        a.GetAttribValue("VertTolRelData", m_vertTolReliable, st);
        a.GetAttribValue("VertTolUnrelData", m_vertTolUnreliable, st);
        a.GetAttribValue(ATTR_SMARTSLOPEDNADIR, m_smartSlopedNadir, st);
        a.GetAttribValue(ATTR_SMARTSKIPEMPTYBINS, m_smartSkipEmptyBins, st);
        a.GetAttribValue(ATTR_SMARTTOLERANCEUNIT, m_smartToleranceUnit, st);
        a.GetAttribValue(ATTR_SLOPEBASERATIO, m_slopeBaseRatio, st);
        a.GetAttribValue(ATTR_SLOPEFILTER, m_slope, st);
        a.GetAttribValue(ATTR_FILTERSLOPEANGLE, m_slopeLimit, st);
        a.GetAttribValue(ATTR_ANGLEFILTER, m_angle, st);
        a.GetAttribValue(ATTR_FILTERMINANGLE, m_minAngle, st);
        a.GetAttribValue(ATTR_IHOERRORCHECK, m_ihoError, st);
        a.GetAttribValue(ATTR_IHOORDER, m_ihoOrder, st);
        a.GetAttribValue(ATTR_CUSTOMERROR, m_customError, st);
        a.GetAttribValue(ATTR_CUSTOMERRORVALUE, m_customLimit, st);
        a.GetAttribValue(ATTR_STATISTICFILTER, m_statistics, st);
        int window = -1;
        a.GetAttribValue(ATTR_FILTERWINDOWSIZE, window, st);
        int scale = 0;
        a.GetAttribValue(ATTR_FILTERQUANTSCALE, scale, st);
        a.GetAttribValue(ATTR_MAXBEAMREJECT, m_maxRejectPercent, st);

        // Window attribute n: 2n + 3 pings, at most 7.
        if (window > -1) {
            const int w = window >= 2 ? 7 : 2 * window + 3;
            if (w != m_windowSize) {
                ReleaseWindow();
                m_windowSize = w;
                m_slotCount = w;
            }
        }
        if (scale != 0) {
            if (scale <= 5)
                m_quantScale = 7.0 - scale;
            else if (scale <= 9)
                m_quantScale = kQuantScales[scale - 6];
            else
                m_quantScale = 1.0;
        }
    }
    // Room for the smart filter's bins across twice the analysed half-width.
    m_bins.reserve(static_cast<size_t>(std::clamp(m_averagingClips, 0, kMaxAveragingClips)) * 2 + 8);
    DeriveLimits();
    m_pending = 0;
    return true;
}

// The angle atan2(rho, d) from the vertical against a limit L in degrees: for d > 0 it
// exceeds L exactly when rho > d tan L. With a relative margin of 1e-9, far above the
// rounding of the arctangent and of tan L, a beam clear of the margin is settled by one
// multiplication; beams within it, and every case outside 0 < L < 89 degrees or with d
// not a positive finite number, take the exact arctangent, so results never change.
MultibeamFilter::TanBound MultibeamFilter::TanBound::For(double degrees)
{
    TanBound b;
    if (!(degrees > 0.0 && degrees < 89.0)) return b;
    const double t = std::tan(degrees / R_TO_D);
    b.lo = t * (1.0 - 1e-9);
    b.hi = t * (1.0 + 1e-9);
    b.usable = true;
    return b;
}


void MultibeamFilter::DeriveLimits()
{
    m_portBound = TanBound::For(m_portAngle);
    m_starboardBound = TanBound::For(m_starboardAngle);
    m_reliableBound = TanBound::For(m_reliableAngle);
    m_slopeBound = TanBound::For(m_slopeLimit);
    // The interior angle acos(c) is at least L exactly when c <= cos L; acos falls at
    // least as fast as c rises, so a margin of 1e-9 in c settles the clear cases.
    m_minAngleBound = m_minAngle > 0.0 && m_minAngle < 180.0;
    const double c = std::cos(m_minAngle / R_TO_D);
    m_minAngleCosLo = c - 1e-9;
    m_minAngleCosHi = c + 1e-9;
}

// Items at ',' ; "a-b" lists beams a to b (both at least 1, a <= b), any other item one
// beam number. Beam numbers start at 1; those from 4000 up are ignored, as are items
// that are not integers and ranges of other than two parts.
void MultibeamFilter::ParseRejectList(const CString& list)
{
    m_rejectList.fill(false);
    const CKvsString items(list, ',', true);
    for (int i = 0; i < items.Size(); ++i) {
        const CString item = items[i];
        if (item.Find('-') >= 0) {
            const CKvsString ends(item, '-', true);
            if (ends.Size() != 2) continue;
            int a = -1;
            int b = -1;
            ends.GetItem(0, a);
            ends.GetItem(1, b);
            if (a < 1 || b < 1 || a > b) continue;
            for (int k = a; k <= b && k < kMaxBeams; ++k) m_rejectList[k - 1] = true;
        } else {
            int k = 0;
            if (items.GetItem(i, k) && k >= 1 && k < kMaxBeams) m_rejectList[k - 1] = true;
        }
    }
}

void MultibeamFilter::ReleaseWindow()
{
    // The working ping may refer to a slot's arrays: it must not keep pointing there.
    m_work.Init();
    if (m_windowAllocated)
        for (PingStruct& slot : m_window) slot.Delete();
    for (CDataBlock& held : m_slotBlocks) held.Allocate(0);
    m_windowAllocated = false;
}

bool MultibeamFilter::AllocateWindow()
{
    if (m_windowAllocated) return true;
    for (int i = 0; i < m_slotCount; ++i)
        if (!m_window[i].Allocate()) return false;
    try {
        m_keyRows.assign(static_cast<size_t>(m_slotCount) * kMaxBeams, kNoKey);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_keyExtent.fill(0);
    m_keyStale.fill(true);
    m_spread = 4.0;
    m_writePos = 0;
    m_fill = 0;
    m_windowAllocated = true;
    return true;
}

bool MultibeamFilter::IsReadable(const CDataBlock& block)
{
    int count = 0;
    ReadScalar(block, UseAs::kBeamCount, count);
    if (count < 0 || count > kMaxBeams) return false;
    return FindArray(block, UseAs::kAcrossTrack, ET_FLOAT_ARRAY, ET_FLOAT_ARRAY, 4, count) &&
           FindArray(block, UseAs::kAlongTrack, ET_FLOAT_ARRAY, ET_FLOAT_ARRAY, 4, count) &&
           FindArray(block, UseAs::kBeamZ, ET_FLOAT_ARRAY, ET_FLOAT_ARRAY, 4, count) &&
           FindArray(block, UseAs::kBeamFlags, ET_UINT_ARRAY, ET_ULONG_ARRAY, 4, count);
}

bool MultibeamFilter::Process(CDataBlock& block, COMPUPDATEMODE mode)
{
    // An unreadable block is refused before it is recorded: were it kept as the last
    // input, draining would feed it again and lose the pings still held.
    if (!IsReadable(block)) return false;
    // The last input serves only the draining of held pings, and pings are held only
    // while statistics are on (switching them on zeroes the pending count).
    if (m_statistics) m_lastInput = block;
    m_lastMode = mode;
    // Only a full pass puts the ping into the window; in mode 3 nothing is held.
    if (m_statistics && mode != kErrorLimitsOnly) m_pending = std::min(m_pending + 1, m_windowSize / 2);
    return ProcessInternal(block, mode);
}

bool MultibeamFilter::ProcessInternal(CDataBlock& block, COMPUPDATEMODE mode)
{
    PingStruct& ping = m_work;
    const bool errorOnly = mode == kErrorLimitsOnly;
    // With statistics on, the ping is read straight into the window slot it is to take
    // (the oldest one, whose ping has served), so that its arrays are copied only once.
    m_readSlot = m_statistics && !errorOnly && AllocateWindow() ? m_writePos : -1;
    if (m_readSlot >= 0) {
        if (!ReadDatablock(block, m_window[m_readSlot])) return false;
        m_keyStale[m_readSlot] = true;
        ping.ShalowCopy(m_window[m_readSlot]);
    } else if (!ReadDatablock(block, ping)) {
        return false;
    }
    const unsigned int keep = errorOnly ? kKeepInErrorMode : kKeepInFullMode;
    for (int i = 0; i < ping.beamCount; ++i) ping.flags[i] &= keep;
    // Mode 3 keeps every flag of the earlier pass, in the ping word too, but the
    // validation bit is judged again.
    ping.pingFlags &= errorOnly ? ~kFlagPingInvalid : 0xFFu;
    ping.nadirBeam = -1;

    if (!errorOnly) {
        if (m_beamReject) FilterBeam(ping);
        if (m_quality) FilterQuality(ping);
        if (m_range) FilterRange(ping);
        if (m_depth) FilterDepth(ping);
        if (m_nadir) FilterNadir(ping);
        if (m_slope) FilterSlope(ping);
        if (m_angle) FilterAngle(ping);
        if (m_statistics) {
            const bool out = FilterStats(ping);
            if (m_storedSlot >= 0) m_slotBlocks[m_storedSlot] = block;
            if (!out) {
                // The ping stays in the window; the block keeps its flags as filtered so far.
                WriteFlags(block, ping.flags, ping.beamCount);
                return false;
            }
            // The ping given out is written into the block it came in.
            if (m_middleSlot >= 0) block = m_slotBlocks[m_middleSlot];
        }
        if (m_flyingObjects) FilterbFlyingObjects(ping);
        if (m_smart) SmartFilter(ping);
    }
    if (m_ihoError) FilterIHO(ping);
    if (m_customError) FilterCustom(ping);

    int rejected = 0;
    for (int i = 0; i < ping.beamCount; ++i)
        if (Rejected(ping, i)) ++rejected;
    ping.rejectedCount = rejected;
    ComputeNadirDepth(ping);
    ValidatePing(ping);
    WriteDatablock(block, ping);
    return true;
}

bool MultibeamFilter::ReadDatablock(CDataBlock& block, PingStruct& ping)
{
    ping.Init();
    ping.time = block.GetTime();
    ReadScalar(block, UseAs::kPingNumber, ping.pingNumber);
    ReadScalar(block, UseAs::kBeamCount, ping.beamCount);
    ReadScalar(block, UseAs::kVerticalOffset, ping.verticalOffset);
    ReadScalar(block, UseAs::kValue104, ping.value104);
    ReadScalar(block, UseAs::kValue102, ping.value102);
    ReadScalar(block, UseAs::kValue103, ping.value103);
    ReadScalar(block, UseAs::kValue401, ping.value401);

    // More beams than the arrays hold are refused, never read past them.
    const int n = ping.beamCount;
    if (n < 0 || n > kMaxBeams) return false;
    const CKvsBytePtr* ex = FindArray(block, UseAs::kAcrossTrack, ET_FLOAT_ARRAY, ET_FLOAT_ARRAY, 4, n);
    const CKvsBytePtr* ey = FindArray(block, UseAs::kAlongTrack, ET_FLOAT_ARRAY, ET_FLOAT_ARRAY, 4, n);
    const CKvsBytePtr* ez = FindArray(block, UseAs::kBeamZ, ET_FLOAT_ARRAY, ET_FLOAT_ARRAY, 4, n);
    const CKvsBytePtr* ef = FindArray(block, UseAs::kBeamFlags, ET_UINT_ARRAY, ET_ULONG_ARRAY, 4, n);
    if (!ex || !ey || !ez || !ef) return false;
    if (!ping.Allocate()) return false;
    // Block arrays lie unaligned in the block's buffer: the ping works on copies.
    ping.x = CopyArrayIn(ex, ping.OwnFloats(PingStruct::kArrX), n);
    ping.y = CopyArrayIn(ey, ping.OwnFloats(PingStruct::kArrY), n);
    ping.z = CopyArrayIn(ez, ping.OwnFloats(PingStruct::kArrZ), n);
    ping.flags = CopyArrayIn(ef, ping.OwnFlags(), n);

    ReadScalar(block, UseAs::kPingFlags, ping.pingFlags);
    ReadScalar(block, UseAs::kValue609, ping.value609);
    ReadScalar(block, UseAs::kValue610, ping.value610);
    ReadScalar(block, UseAs::kValue611, ping.value611);
    ReadScalar(block, UseAs::kRejectedBeams, ping.rejectedCount);
    ReadScalar(block, UseAs::kNadirDepth, ping.nadirDepth);
    ReadScalar(block, UseAs::kValue617, ping.value617);

    auto optionalFloats = [&](unsigned short useAs, PingStruct::FloatArray store) {
        return CopyArrayIn(FindArray(block, useAs, ET_FLOAT_ARRAY, ET_FLOAT_ARRAY, 4, n), ping.OwnFloats(store), n);
    };
    ping.values621 = optionalFloats(UseAs::kBeamValues621, PingStruct::kArr621);
    ping.beamAngle = optionalFloats(UseAs::kBeamAngle, PingStruct::kArrBeamAngle);
    ping.values623 = optionalFloats(UseAs::kBeamValues623, PingStruct::kArr623);

    ping.beamValuesKind = BeamValuesKind::None;
    const CKvsBytePtr* e608 = FindArray(block, UseAs::kBeamValues16, ET_USHORT_ARRAY, ET_USHORT_ARRAY, 2, n);
    const CKvsBytePtr* e618 = FindArray(block, UseAs::kBeamValuesFloat, ET_FLOAT_ARRAY, ET_FLOAT_ARRAY, 4, n);
    if (e608 && e608->GetStatus() == 0) {
        ping.beamValues16 = CopyArrayIn(e608, ping.OwnBeamValues16(), n);
        ping.beamValuesKind = BeamValuesKind::Bits16;
    } else if (e618 && e618->GetStatus() == 0) {
        ping.beamValuesFloat = CopyArrayIn(e618, ping.OwnFloats(PingStruct::kArrBeamValuesFloat), n);
        ping.beamValuesKind = BeamValuesKind::Float;
    }

    ping.value619Kind = Value619Kind::None;
    unsigned short st = 0;
    if (block.GetDataValue(UseAs::kValue619, ping.value619, st, CDataBlock::kByUseAs))
        ping.value619Kind = Value619Kind::Int;
    else if (block.GetDataValue(UseAs::kValue672, ping.value672, st, CDataBlock::kByUseAs))
        ping.value619Kind = Value619Kind::Float;

    ReadScalar(block, UseAs::kValue620, ping.value620);
    ReadScalar(block, UseAs::kValue624, ping.value624);
    ReadScalar(block, UseAs::kValue101, ping.value101);
    ReadScalar(block, UseAs::kPositionX, ping.positionX);
    ReadScalar(block, UseAs::kPositionY, ping.positionY);
    ReadScalar(block, UseAs::kVerticalReference, ping.verticalReference);
    ReadScalar(block, UseAs::kValue522, ping.value522);
    ReadScalar(block, UseAs::kValue684, ping.value684);
    ReadScalar(block, UseAs::kValue685, ping.value685);

    ping.estVertError = optionalFloats(UseAs::kEstimatedVertError, PingStruct::kArrEstVertError);
    ping.estHorError = optionalFloats(UseAs::kEstimatedHorError, PingStruct::kArrEstHorError);
    ping.allowedVertError = optionalFloats(UseAs::kAllowedVertError, PingStruct::kArrAllowedVertError);
    ping.allowedHorError = optionalFloats(UseAs::kAllowedHorError, PingStruct::kArrAllowedHorError);

    ReadScalar(block, UseAs::kValue649, ping.value649);
    ReadScalar(block, UseAs::kValue616, ping.value616);
    ReadScalar(block, UseAs::kValue626, ping.value626);
    ReadScalar(block, UseAs::kValue627, ping.value627);
    ReadScalar(block, UseAs::kValue401, ping.value401);
    ReadScalar(block, UseAs::kValue625, ping.value625);

    if (ping.allowedVertError && ping.allowedHorError) {
        const float reference = static_cast<float>(ping.verticalReference);
        const IhoOrder* o = FindIhoOrder(m_ihoOrder);
        if (!o) {
            std::fill(ping.allowedVertError, ping.allowedVertError + n, 0.0f);
            std::fill(ping.allowedHorError, ping.allowedHorError + n, 0.0f);
        } else {
            for (int i = 0; i < n; ++i) {
                const float d = -(reference + ping.z[i]);
                ping.allowedVertError[i] = IhoVertError(*o, d);
                ping.allowedHorError[i] = IhoHorError(*o, d);
            }
        }
    }
    return true;
}

bool MultibeamFilter::WriteDatablock(CDataBlock& block, PingStruct& ping)
{
    const int n = ping.beamCount;
    block.SetTime(ping.time);
    block.SetStatus(0);
    WriteScalar(block, UseAs::kPingNumber, ping.pingNumber);
    WriteScalar(block, UseAs::kBeamCount, ping.beamCount);
    WriteScalar(block, UseAs::kVerticalOffset, ping.verticalOffset);
    WriteScalar(block, UseAs::kValue104, ping.value104);
    WriteScalar(block, UseAs::kValue102, ping.value102);
    WriteScalar(block, UseAs::kValue103, ping.value103);
    WriteScalar(block, UseAs::kValue401, ping.value401);
    WriteArray(block, UseAs::kAcrossTrack, ET_FLOAT_ARRAY, ping.x, n);
    WriteArray(block, UseAs::kAlongTrack, ET_FLOAT_ARRAY, ping.y, n);
    WriteArray(block, UseAs::kBeamZ, ET_FLOAT_ARRAY, ping.z, n);
    WriteFlags(block, ping.flags, n);
    WriteScalar(block, UseAs::kPingFlags, ping.pingFlags);
    WriteScalar(block, UseAs::kValue609, ping.value609);
    WriteScalar(block, UseAs::kValue610, ping.value610);
    WriteScalar(block, UseAs::kValue611, ping.value611);
    WriteScalar(block, UseAs::kRejectedBeams, ping.rejectedCount);
    WriteScalar(block, UseAs::kNadirDepth, ping.nadirDepth, m_nadirDepthStatus);
    WriteScalar(block, UseAs::kNadirDepthBelowOffset, ping.nadirDepth - ping.verticalOffset, m_nadirDepthStatus);
    WriteScalar(block, UseAs::kValue617, ping.value617);
    WriteArray(block, UseAs::kBeamValues621, ET_FLOAT_ARRAY, ping.values621, n);
    WriteArray(block, UseAs::kBeamAngle, ET_FLOAT_ARRAY, ping.beamAngle, n);
    WriteArray(block, UseAs::kBeamValues623, ET_FLOAT_ARRAY, ping.values623, n);
    if (ping.beamValuesKind == BeamValuesKind::Bits16)
        WriteArray(block, UseAs::kBeamValues16, ET_USHORT_ARRAY, ping.beamValues16, n);
    else if (ping.beamValuesKind == BeamValuesKind::Float)
        WriteArray(block, UseAs::kBeamValuesFloat, ET_FLOAT_ARRAY, ping.beamValuesFloat, n);
    if (ping.value619Kind == Value619Kind::Int)
        WriteScalar(block, UseAs::kValue619, ping.value619);
    else if (ping.value619Kind == Value619Kind::Float)
        WriteScalar(block, UseAs::kValue672, ping.value672);
    WriteScalar(block, UseAs::kValue620, ping.value620);
    WriteScalar(block, UseAs::kValue624, ping.value624);
    WriteScalar(block, UseAs::kValue101, ping.value101);
    WriteScalar(block, UseAs::kPositionX, ping.positionX);
    WriteScalar(block, UseAs::kPositionY, ping.positionY);
    WriteScalar(block, UseAs::kVerticalReference, ping.verticalReference);
    WriteScalar(block, UseAs::kValue522, ping.value522);
    WriteScalar(block, UseAs::kValue684, ping.value684);
    WriteScalar(block, UseAs::kValue685, ping.value685);
    WriteArray(block, UseAs::kEstimatedVertError, ET_FLOAT_ARRAY, ping.estVertError, n);
    WriteArray(block, UseAs::kEstimatedHorError, ET_FLOAT_ARRAY, ping.estHorError, n);
    WriteArray(block, UseAs::kAllowedVertError, ET_FLOAT_ARRAY, ping.allowedVertError, n);
    WriteArray(block, UseAs::kAllowedHorError, ET_FLOAT_ARRAY, ping.allowedHorError, n);
    WriteScalar(block, UseAs::kValue649, ping.value649);
    WriteScalar(block, UseAs::kValue616, ping.value616);
    WriteScalar(block, UseAs::kValue626, ping.value626);
    WriteScalar(block, UseAs::kValue627, ping.value627);
    WriteScalar(block, UseAs::kValue401, ping.value401);
    WriteScalar(block, UseAs::kValue625, ping.value625);
    return true;
}

bool MultibeamFilter::ComputeNadirDepth(PingStruct& ping)
{
    ping.CompNadirDepth();
    m_nadirDepthStatus = ping.nadirBeam >= 0 ? kvs::kStatusValid : kvs::kStatusInvalid;
    return ping.nadirBeam >= 0;
}

bool MultibeamFilter::ValidatePing(PingStruct& ping)
{
    const int n = ping.beamCount;
    const bool invalid =
        n <= 0 || ping.rejectedCount * 100 / n > m_maxRejectPercent || ping.rejectedCount >= n;
    if (invalid) ping.pingFlags |= kFlagPingInvalid;
    return !invalid;
}

bool MultibeamFilter::GetRemainder(CDataBlock& block)
{
    if (m_pending <= 0) {
        ReleaseWindow();
        m_pending = 0;
        return false;
    }
    // Feeding the last input again brings out the next held ping. A stream shorter than
    // half the window takes more than one feed before the window gives anything out.
    for (int feed = 0; feed <= m_windowSize; ++feed) {
        m_drain = m_lastInput;
        if (ProcessInternal(m_drain, m_lastMode)) {
            block = m_drain;
            --m_pending;
            return true;
        }
    }
    m_pending = 0;
    ReleaseWindow();
    return false;
}

// ---- per-beam filters -------------------------------------------------------------

// Within one pass flags only gain bits, so the unrejected beams only become fewer: the
// beam nearest nadir found earlier stays the nearest while it is not rejected itself.
int MultibeamFilter::NadirBeam(PingStruct& ping)
{
    const int k = ping.nadirBeam;
    if (k >= 0 && k < ping.beamCount && ping.x && ping.flags && !Rejected(ping, k)) return k;
    return ping.CompNadirBeam();
}

bool MultibeamFilter::FilterBeam(PingStruct& ping)
{
    FlagBeams<false>(ping, kFlagRejectList, [&](int i) { return m_rejectList[i]; });
    ping.pingFlags |= kFlagRejectList;
    return true;
}

bool MultibeamFilter::FilterQuality(PingStruct& ping)
{
    // The sonar's quality bits that must all be set, by quality mode 1, 2, 3.
    constexpr unsigned int kRequired[] = {0x1, 0x2, 0x3};
    if (m_qualityMode >= 1 && m_qualityMode <= 3) {
        const unsigned int need = kRequired[m_qualityMode - 1];
        FlagBeams<false>(ping, kFlagQuality, [&](int i) { return (ping.flags[i] & need) != need; });
    }
    ping.pingFlags |= kFlagQuality;
    return true;
}

bool MultibeamFilter::FilterRange(PingStruct& ping)
{
    const double off = ping.verticalOffset;
    FlagBeams<true>(ping, kFlagRange, [&](int i) {
        const double x = ping.x[i], y = ping.y[i], z = ping.z[i] + off;
        const double r = std::sqrt(x * x + y * y + z * z);
        return !(m_minRange <= r && r <= m_maxRange);
    });
    ping.pingFlags |= kFlagRange;
    return true;
}

bool MultibeamFilter::FilterDepth(PingStruct& ping)
{
    FlagBeams<true>(ping, kFlagDepth, [&](int i) {
        const double d = -static_cast<double>(ping.z[i]);
        return !(m_minDepth <= d && d <= m_maxDepth);
    });
    ping.pingFlags |= kFlagDepth;
    return true;
}

bool MultibeamFilter::FilterNadir(PingStruct& ping)
{
    const double off = ping.verticalOffset;
    // A beam at x = 0 counts as port.
    auto limit = [&](int i) { return ping.x[i] <= 0.0f ? m_portAngle : m_starboardAngle; };
    if (m_nadirAngleMode == 1) {
        FlagBeams<true>(ping, kFlagSwath, [&](int i) {
            const double x = ping.x[i], y = ping.y[i];
            const double rho = std::sqrt(x * x + y * y), d = -(ping.z[i] + off);
            const int side = (ping.x[i] <= 0.0f ? m_portBound : m_starboardBound).Side(rho, d);
            return side != 0 ? side > 0 : std::atan2(rho, d) * R_TO_D > limit(i);
        });
    } else if (m_nadirAngleMode == 3 && ping.beamAngle) {
        FlagBeams<true>(ping, kFlagSwath, [&](int i) { return static_cast<double>(ping.beamAngle[i]) > limit(i); });
    }
    if (m_nadirDistance) {
        FlagBeams<true>(ping, kFlagSwath, [&](int i) {
            const double x = ping.x[i];
            return (x <= 0.0 && x < -m_portDistance) || (x > 0.0 && x > m_starboardDistance);
        });
    }
    ping.pingFlags |= kFlagSwath;
    return true;
}

bool MultibeamFilter::FilterSlope(PingStruct& ping)
{
    const int nadir = NadirBeam(ping);
    if (nadir < 0) return true;
    if (m_slopeBaseRatio > 0.0) {
        m_spacedSlope.Run(ping, nadir, m_slopeLimit, m_slopeBaseRatio, kFlagSlope);
        ping.pingFlags |= kFlagSlope;
        return true;
    }
    const int n = ping.beamCount;
    for (int s : {-1, 1}) {
        int r = nadir;
        for (int j = nadir + s; j >= 0 && j < n; j += s) {
            if (Rejected(ping, r)) continue;
            const double dz = std::fabs(static_cast<double>(ping.z[j]) - ping.z[r]);
            const double dx = s > 0 ? static_cast<double>(ping.x[j]) - ping.x[r]
                                    : static_cast<double>(ping.x[r]) - ping.x[j];
            int side = m_slopeBound.Side(dz, dx);
            if (side == 0) side = std::atan2(dz, dx) * R_TO_D > m_slopeLimit ? 1 : -1;
            if (side > 0)
                ping.flags[j] |= kFlagSlope;
            else
                r = j;
        }
    }
    ping.pingFlags |= kFlagSlope;
    return true;
}

bool MultibeamFilter::FilterAngle(PingStruct& ping)
{
    const int nadir = NadirBeam(ping);
    if (nadir < 0) return true;
    const int n = ping.beamCount;
    auto dist2 = [&](int p, int q) {
        const double dx = static_cast<double>(ping.x[p]) - ping.x[q];
        const double dz = static_cast<double>(ping.z[p]) - ping.z[q];
        return dx * dx + dz * dz;
    };
    for (int s : {-1, 1}) {
        int a = nadir;
        int m = nadir + s;
        while (m >= 0 && m < n && Rejected(ping, m)) m += s;
        if (m <= 0 || m >= n - 1) continue;
        for (int j = m + s; j >= 0 && j < n; j += s) {
            if (Rejected(ping, j)) continue;
            const double am2 = dist2(a, m), mj2 = dist2(m, j), aj2 = dist2(a, j);
            const double am = std::sqrt(am2), mj = std::sqrt(mj2);
            // Coincident beams make no bend (180 degrees); rounding must not push the
            // cosine outside -1 .. 1.
            bool passes = true;
            if (am > 0.0 && mj > 0.0) {
                const double c = (am2 + mj2 - aj2) / (2.0 * am * mj);
                if (m_minAngleBound && c <= m_minAngleCosLo)
                    passes = true;
                else if (m_minAngleBound && c >= m_minAngleCosHi)
                    passes = false;
                else
                    passes = std::acos(std::clamp(c, -1.0, 1.0)) * R_TO_D >= m_minAngle;
            } else {
                passes = 180.0 >= m_minAngle;
            }
            if (passes) {
                a = m;
                m = j;
            } else {
                ping.flags[m] |= kFlagAngle;
                m = j;
            }
        }
    }
    ping.pingFlags |= kFlagAngle;
    return true;
}

bool MultibeamFilter::FilterbFlyingObjects(PingStruct& ping)
{
    const int nadir = NadirBeam(ping);
    if (nadir < 0) return true;
    const int n = ping.beamCount;
    const int k = std::max(m_flyingSize, 1);
    const int b = std::clamp(m_flyingBorder, 0, k - 1);
    for (int s : {-1, 1}) {
        for (int i = nadir; i >= 0 && i < n; i += s) {
            if (Rejected(ping, i)) continue;
            // A beam about k places nearer nadir that lies further out than beam i. Every
            // comparison beam is looked at (no early end), which keeps the branches few.
            const float xi = ping.x[i];
            int hit = 0;
            for (int t = -b; t <= b; ++t) {
                const int c = s < 0 ? i + k - t : i - k + t;
                const int inside = static_cast<int>(static_cast<unsigned>(c) < static_cast<unsigned>(n));
                const int cc = inside ? c : i; // beam i itself never lies further out
                const int further = static_cast<int>(s < 0 ? ping.x[cc] < xi : ping.x[cc] > xi);
                hit |= inside & static_cast<int>(!Rejected(ping, cc)) & further;
            }
            if (hit) ping.flags[i] |= kFlagFlyingObject;
        }
    }
    ping.pingFlags |= kFlagFlyingRan;
    return true;
}

bool MultibeamFilter::FilterIHO(PingStruct& ping)
{
    if (!ping.estVertError || !ping.estHorError || !ping.allowedVertError || !ping.allowedHorError) return false;
    return FlagBeams<false>(ping, kFlagIhoError, [&](int i) {
        return ping.allowedVertError[i] < ping.estVertError[i] || ping.allowedHorError[i] < ping.estHorError[i];
    });
}

bool MultibeamFilter::FilterCustom(PingStruct& ping)
{
    if (!ping.estVertError || !(m_customLimit > 0.0)) return false;
    return FlagBeams<false>(ping, kFlagCustomError, [&](int i) { return ping.estVertError[i] > m_customLimit; });
}

float MultibeamFilter::Compute_IHO_VERT_Error(float d) const
{
    const IhoOrder* o = FindIhoOrder(m_ihoOrder);
    return o ? IhoVertError(*o, d) : 0.0f;
}

float MultibeamFilter::Compute_IHO_HOR_Error(float d) const
{
    const IhoOrder* o = FindIhoOrder(m_ihoOrder);
    return o ? IhoHorError(*o, d) : 0.0f;
}

// ---- statistical filter -----------------------------------------------------------

bool MultibeamFilter::FilterStats(PingStruct& ping)
{
    const int w = m_windowSize;
    const int h = w / 2;
    const int slots = m_slotCount;
    m_storedSlot = m_middleSlot = -1;
    if (!AllocateWindow()) return true; // out of memory: the ping passes unjudged
    // Times must keep running the way the last two stored pings ran; equal times do not
    // break the run. A reversal starts the window afresh, dropping the pings it held.
    if (m_fill > 1) {
        const double t1 = m_window[BufIndex(m_writePos - 1, slots)].time;
        const double t2 = m_window[BufIndex(m_writePos - 2, slots)].time;
        const bool upwards = t2 < t1;
        if ((upwards && ping.time < t1) || (!upwards && ping.time > t1)) {
            // The ping read into the slot at the write position moves to the first slot.
            if (m_readSlot == m_writePos && m_writePos != 0) {
                m_window[0].Swap(m_window[m_writePos]);
                m_keyStale[0] = m_keyStale[m_writePos] = true;
                m_readSlot = 0;
            }
            m_spread = 4.0;
            m_writePos = 0;
            m_fill = 0;
        }
    }
    if (m_readSlot == m_writePos)
        static_cast<PingValues&>(m_window[m_writePos]) = ping; // the arrays are there already
    else
        m_window[m_writePos] = ping;
    m_keyStale[m_writePos] = true;
    m_storedSlot = m_writePos;
    m_writePos = (m_writePos + 1) % slots;
    ++m_fill;
    if (m_fill < h + 1) return false;

    const int middle = BufIndex(m_writePos - h - 1, slots);
    if (m_fill >= w + h) {
        StatsRunning(middle);
        m_window[middle].pingFlags |= kFlagStatistics;
    } else if (m_fill >= w) {
        StatsPass(middle, h, false);
        // While the window is young the spread pass looks at fewer later pings.
        const int lastOffset = m_fill > w ? m_fill - w : 0;
        StatsPass(middle, lastOffset, true);
        m_window[middle].pingFlags |= kFlagStatistics;
    }
    ping.ShalowCopy(m_window[middle]);
    m_middleSlot = middle;
    // The rest of the chain flags the middle ping further: its keys are to be renewed.
    m_keyStale[middle] = true;
    return true;
}

namespace {

// The quantile rule of MultibeamFilter::Quantile on n >= 1 sorted items read by at(i).
template <typename At>
double SortedQuantile(double p, int n, At at)
{
    const int m = n - 1;
    const double pos = m * p;
    const int k = static_cast<int>(pos);
    const double f = pos - k;
    if (k <= 0) return at(0);
    if (k >= m - 1) return at(m - 1);
    const double a = at(k);
    return a + (at(k + 1) - a) * f;
}

// The copies inside SortedSample move a few keys at a time: a library call each would
// cost more than the copy.
#if defined(__GNUC__) && !defined(__clang__)
#define KVS_SHORT_COPIES __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define KVS_SHORT_COPIES
#endif

// A sorted multiset of at most 49 keys in a fixed array of 64, the unused tail holding
// kNoKey, so that counting runs over a fixed length without branches.
class SortedSample
{
public:
    explicit SortedSample(int32_t* keys) : m_keys(keys) { std::fill(m_keys, m_keys + kSlots, kNoKey); }

    int Size() const { return m_size; }
    double Depth(int i) const { return KeyDepth(m_keys[i]); }

    void Build(const int32_t* keys, int n)
    {
        std::copy(keys, keys + n, m_keys);
        std::fill(m_keys + n, m_keys + kSlots, kNoKey);
        std::sort(m_keys, m_keys + n);
        m_size = n;
    }

    // Keys sorted, every one held (as often as it is listed).
    KVS_SHORT_COPIES void Remove(const int32_t* keys, int n)
    {
        if (n == 0) return;
        int at[8] = {};
        for (int r = 0; r < n; ++r) at[r] = (r > 0 && keys[r] == keys[r - 1]) ? at[r - 1] + 1 : Below(keys[r]);
        int write = at[0];
        for (int r = 0; r < n; ++r) {
            const int from = at[r] + 1;
            const int to = r + 1 < n ? at[r + 1] : m_size;
            for (int i = from; i < to; ++i) m_keys[write++] = m_keys[i];
        }
        std::fill(m_keys + write, m_keys + m_size, kNoKey);
        m_size = write;
    }

    // Keys sorted.
    KVS_SHORT_COPIES void Insert(const int32_t* keys, int n)
    {
        int at[8] = {};
        for (int a = 0; a < n; ++a) at[a] = Below(keys[a]);
        int end = m_size;
        for (int a = n - 1; a >= 0; --a) {
            for (int i = end - 1; i >= at[a]; --i) m_keys[i + a + 1] = m_keys[i];
            m_keys[at[a] + a] = keys[a];
            end = at[a];
        }
        m_size += n;
    }

    // Removes one key if held.
    void RemoveOne(int32_t key)
    {
        const int at = Below(key);
        if (at < m_size && m_keys[at] == key) Remove(&key, 1);
    }

private:
    static constexpr int kSlots = 64;

    // The number of keys below key: a binary search without branches over the padded
    // array (the padding is above every key).
    int Below(int32_t key) const
    {
        int pos = 0;
            for (int step = kSlots / 2; step > 0; step /= 2) pos += step & -static_cast<int>(m_keys[pos + step - 1] < key);
        return pos;
    }

    int32_t* m_keys;
    int m_size = 0;
};

// Orders a and b; written so that the compiler emits conditional moves.
template <typename T>
inline void CompareSwap(T& a, T& b)
{
    const bool less = a < b;
    const T lo = less ? a : b;
    const T hi = less ? b : a;
    a = lo;
    b = hi;
}

// Sorts 8 keys without data-dependent branches: Batcher's odd-even merge sort network
// (19 comparators) on values held in registers.
template <typename T>
void SortEight(T* w)
{
    T v0 = w[0], v1 = w[1], v2 = w[2], v3 = w[3], v4 = w[4], v5 = w[5], v6 = w[6], v7 = w[7];
    CompareSwap(v0, v1); CompareSwap(v2, v3); CompareSwap(v4, v5); CompareSwap(v6, v7);
    CompareSwap(v0, v2); CompareSwap(v1, v3); CompareSwap(v4, v6); CompareSwap(v5, v7);
    CompareSwap(v1, v2); CompareSwap(v5, v6);
    CompareSwap(v0, v4); CompareSwap(v1, v5); CompareSwap(v2, v6); CompareSwap(v3, v7);
    CompareSwap(v2, v4); CompareSwap(v3, v5);
    CompareSwap(v1, v2); CompareSwap(v3, v4); CompareSwap(v5, v6);
    w[0] = v0; w[1] = v1; w[2] = v2; w[3] = v3; w[4] = v4; w[5] = v5; w[6] = v6; w[7] = v7;
}

// Sorts 6 keys without data-dependent branches (12 comparators).
void SortSix(int32_t* w)
{
    int32_t v0 = w[0], v1 = w[1], v2 = w[2], v3 = w[3], v4 = w[4], v5 = w[5];
    CompareSwap(v0, v5); CompareSwap(v1, v3); CompareSwap(v2, v4);
    CompareSwap(v1, v2); CompareSwap(v3, v4);
    CompareSwap(v0, v3); CompareSwap(v2, v5);
    CompareSwap(v0, v1); CompareSwap(v2, v3); CompareSwap(v4, v5);
    CompareSwap(v1, v2); CompareSwap(v3, v4);
    w[0] = v0; w[1] = v1; w[2] = v2; w[3] = v3; w[4] = v4; w[5] = v5;
}

// Sorts up to 7 keys.
void SortSmall(int32_t* v, int n)
{
    int32_t w[8];
    for (int i = 0; i < 8; ++i) w[i] = i < n ? v[i] : kNoKey;
    SortEight(w);
    for (int i = 0; i < n; ++i) v[i] = w[i];
}

// Sample entries of the running passes: a depth key shifted left by 3 bits over a tag
// of 0 .. 7 (the ring place of the beam's column), so that entries sort as their keys
// and a column can be taken out by its tag.
// Made from kNoKey, an entry lies above every entry of a depth, whatever its tag.
using Entry = int64_t;
constexpr Entry kNoEntry = (static_cast<Entry>(kNoKey) << 3) | 7;

Entry MakeEntry(int32_t key, int tag)
{
    return (static_cast<Entry>(key) << 3) | tag;
}

double EntryDepth(Entry e)
{
    return KeyDepth(static_cast<int32_t>(e >> 3));
}

// The number of entries below e in 64 sorted entries padded with kNoEntry.
int EntriesBelow(const Entry* v, Entry e)
{
    int pos = 0;
    for (int step = 32; step > 0; step /= 2) pos += step & -static_cast<int>(v[pos + step - 1] < e);
    return pos;
}

// The most entries of the pings around the middle one: 6 pings by 7 beams.
constexpr int kMaxAround = 2 * 3 * (2 * 3 + 1);
static_assert(kMaxAround + 8 <= 64);

// Builds in dst (64 entries, kNoEntry from dstSize on) the sorted prev[0..size) without
// the entries of tag outTag and with the sorted in[0..nIn), padded with kNoEntry; returns
// the new size. prev holds at most kMaxAround entries, in at most 8. Each kept entry goes
// straight to its place, counting the new entries below it; a dropped entry is written
// too, to the place that the next kept or new entry then takes.
int SlideEntries(const Entry* prev, int size, int outTag, const Entry* in, int nIn, Entry* dst, int dstSize)
{
    int inAt[8] = {};
    unsigned char newBelow[kMaxAround + 8] = {};
    for (int r = 0; r < nIn; ++r) {
        inAt[r] = EntriesBelow(prev, in[r]);
        ++newBelow[inAt[r]];
    }
    int keptBelow[kMaxAround + 8];
    int kept = 0;
    int added = 0;
#pragma GCC unroll 4
    for (int i = 0; i < size; ++i) {
        added += newBelow[i];
        keptBelow[i] = kept;
        const Entry e = prev[i];
        dst[kept + added] = e;
        kept += static_cast<int>((e & 7) != outTag);
    }
    keptBelow[size] = kept;
    for (int r = 0; r < nIn; ++r) dst[keptBelow[inAt[r]] + r] = in[r];
    const int newSize = kept + nIn;
    // Beyond the new size: kNoEntry up to where dst held entries before, and where a
    // dropped last entry may have been written.
    for (int i = newSize; i < std::max(dstSize, newSize + 1); ++i) dst[i] = kNoEntry;
    return newSize;
}

// The entries at sorted positions r - 1 and r (the latter kNoEntry when there is none) of
// the union of the sorted a[0..na) and b[0..nb) (na < 64, nb <= 7, padded with kNoEntry to
// 64 and 8 entries), 1 <= r <= na + nb: how many of the r smallest come from b, found by
// a binary search of three fixed steps.
[[gnu::always_inline]] inline void UnionPair(const Entry* a, int na, const Entry* b, int nb, int r, Entry& at,
                                             Entry& next)
{
    const int lo = std::max(0, r - na);
    const int hi = std::min(nb, r);
    // 1 for t in lo .. i-1, 0 from i on, where i is the count from b; the loads stay
    // within both arrays whatever t is.
    auto more = [&](int t) {
        const Entry bt = b[std::min(t, 7)];
        const Entry ar = a[std::max(r - t - 1, 0)];
        return static_cast<int>(t < hi) & static_cast<int>(bt < ar);
    };
    int pos = lo;
    pos += more(pos + 3) << 2;
    pos += more(pos + 1) << 1;
    pos += more(pos);
    const int fromA = r - pos;
    const Entry fromB = b[std::max(pos - 1, 0)];
    const Entry lastA = a[std::max(fromA - 1, 0)];
    at = std::max(pos > 0 ? fromB : INT64_MIN, fromA > 0 ? lastA : INT64_MIN);
    // Both arrays are padded with kNoEntry beyond their sizes.
    next = std::min(b[pos], a[fromA]);
}

// Where the quantile rule of MultibeamFilter::Quantile reads a sorted sample of a given
// size: the 1-based position r of the item taken, and whether it interpolates towards the
// next one with fraction f. Computed by the rule itself, so the values are the same.
struct QuantilePos
{
    int r = 1;
    bool interpolate = false;
    double f = 0.0;
};

constexpr QuantilePos PositionOf(double p, int size)
{
    const int m = size - 1;
    const double pos = m * p;
    const int k = static_cast<int>(pos);
    const double f = pos - k;
    if (k <= 0) return {1, false, 0.0};
    if (k >= m - 1) return {m, false, 0.0};
    return {k + 1, true, f};
}

constexpr std::array<QuantilePos, 64> QuantilePositions(double p)
{
    std::array<QuantilePos, 64> t{};
    for (int size = 2; size < 64; ++size) t[size] = PositionOf(p, size);
    return t;
}

constexpr std::array<QuantilePos, 64> kMedianPos = QuantilePositions(0.5);
constexpr std::array<QuantilePos, 64> kLowerPos = QuantilePositions(0.25);
constexpr std::array<QuantilePos, 64> kUpperPos = QuantilePositions(0.75);

// The quantile at q of the union of two sorted entry arrays (at least 2 entries, fewer
// than 64).
[[gnu::always_inline]] inline double UnionQuantile(const QuantilePos& q, const Entry* a, int na, const Entry* b,
                                                   int nb)
{
    Entry at = 0;
    Entry next = 0;
    UnionPair(a, na, b, nb, q.r, at, next);
    const double v = EntryDepth(at);
    return q.interpolate ? v + (EntryDepth(next) - v) * q.f : v;
}

} // namespace

// One pass over the beams h .. N-h-1 of the middle slot. The sample of beam j is every
// z[b] of the slots at ping offsets -h .. lastOffset for b = j-h .. j+h, where b lies
// within that slot's beams, its flag word is below 0x8000 and z is a number. Instead of
// gathering and sorting each sample anew, the sorted sample slides along the beams: a
// step takes out the column of beam j-h-1 and puts in that of beam j+h, and a beam
// flagged here is taken out at once, so that every test sees exactly the sample the
// flags of that moment give. The quantiles depend only on the values, not on how they
// were sorted.
void MultibeamFilter::StatsPass(int middle, int lastOffset, bool spreadPass)
{
    const int h = m_windowSize / 2;
    const int slots = m_slotCount;
    PingStruct& mid = m_window[middle];
    const int n = mid.beamCount;
    if (n < 2 * h + 1) return;

    const PingStruct* pings[7];
    int pingCount = 0;
    for (int p = -h; p <= lastOffset; ++p) pings[pingCount++] = &m_window[BufIndex(middle + p, slots)];

    auto isSample = [](const PingStruct& q, int b) {
        return b < q.beamCount && q.flags[b] < kFlagStatistics && std::isfinite(q.z[b]);
    };
    auto column = [&](int b, int32_t* out) {
        int c = 0;
        for (int k = 0; k < pingCount; ++k)
            if (isSample(*pings[k], b)) out[c++] = DepthKey(pings[k]->z[b]);
        SortSmall(out, c);
        return c;
    };

    SortedSample sample(m_sampleKeys.data());
    {
        int32_t first[7 * 7];
        int count = 0;
        for (int b = 0; b <= 2 * h; ++b) count += column(b, first + count);
        sample.Build(first, count);
    }

    int lo = 0; // first column of the current sample
    auto flag = [&](int t) {
        const bool wasSample = isSample(mid, t);
        mid.flags[t] |= kFlagStatistics;
        if (wasSample && t >= lo && t <= lo + 2 * h) sample.RemoveOne(DepthKey(mid.z[t]));
    };
    auto at = [&](int i) { return sample.Depth(i); };

    for (int j = h; j < n - h; ++j) {
        if (j > h) {
            int32_t out[8];
            int32_t in[8];
            const int nOut = column(j - h - 1, out);
            const int nIn = column(j + h, in);
            sample.Remove(out, nOut);
            sample.Insert(in, nIn);
            lo = j - h;
        }
        const int size = sample.Size();
        if (size < 4) continue;

        const double med = SortedQuantile(0.5, size, at);
        double limit;
        if (spreadPass) {
            const double q1 = SortedQuantile(kLowerQuantile, size, at);
            const double q3 = SortedQuantile(kUpperQuantile, size, at);
            m_spread = 0.9 * m_spread + 0.1 * std::fabs(q3 - q1);
            limit = m_quantScale * std::max(m_spread, kMinSpread);
        } else {
            limit = std::fabs(kFixedRatio * med);
        }
        auto judge = [&](int t) {
            if (std::fabs(mid.z[t] - med) > limit) flag(t);
        };
        judge(j);
        // The beams beyond the first and the last judged one share their sample.
        if (j == h)
            for (int t = h - 1; t >= 0; --t) judge(t);
        if (j == n - 1 - h)
            for (int t = j + 1; t < n; ++t) judge(t);
    }
}

const int32_t* MultibeamFilter::KeyRow(int slot)
{
    int32_t* row = m_keyRows.data() + static_cast<size_t>(slot) * kMaxBeams;
    if (!m_keyStale[slot]) return row;
    const PingStruct& q = m_window[slot];
    const int n = q.z && q.flags ? std::clamp(q.beamCount, 0, kMaxBeams) : 0;
    for (int b = 0; b < n; ++b)
        row[b] = q.flags[b] < kFlagStatistics && std::isfinite(q.z[b]) ? DepthKey(q.z[b]) : kNoKey;
    if (m_keyExtent[slot] > n) std::fill(row + n, row + m_keyExtent[slot], kNoKey);
    m_keyExtent[slot] = n;
    m_keyStale[slot] = false;
    return row;
}

// Both passes over a full window (the spread pass sees every ping of it), giving exactly
// what StatsPass gives for the fixed-ratio pass followed by the spread pass. A sample is
// the union of two sorted parts: the depths of the pings around the middle one, which no
// pass changes, and the few depths of the middle ping itself, which each pass flags its
// own way. The first part slides along the beams once for both passes: a step takes out
// the sorted column of beam j-h-1 and puts in that of beam j+h, and the sample of each
// beam is kept for the spread pass, which trails h beams behind. So it sees every flag
// the fixed-ratio pass sets on its beams, while the fixed-ratio pass, ahead of it, never
// meets a beam the spread pass has flagged. Quantiles of the union come from a binary
// search over the middle part.
void MultibeamFilter::StatsRunning(int middle)
{
    static_assert(kLowerQuantile == 0.25 && kUpperQuantile == 0.75, "the quantile positions are tabled for these");
    const int h = m_windowSize / 2;
    const int slots = m_slotCount;
    PingStruct& mid = m_window[middle];
    const int n = mid.beamCount;
    if (n < 2 * h + 1) return;
    const int width = 2 * h + 1;
    const int kept = h + 1; // samples kept for the trailing pass

    // A buffer of kept samples holds kNoEntry only from its size on once it was built in
    // this call: until then the whole of it counts as held.
    m_aroundSize.fill(kSampleSlots);
    const int32_t* around[8] = {};
    int aroundCount = 0;
    for (int p = -h; p <= h; ++p)
        if (p != 0) around[aroundCount++] = KeyRow(BufIndex(middle + p, slots));
    // The middle ping's keys, set to kNoKey as its beams are flagged.
    int32_t* midKeys = m_keyRows.data() + static_cast<size_t>(middle) * kMaxBeams;
    KeyRow(middle);

    // The sorted column of beam b of the pings around the middle into its ring place.
    auto column = [&](int b) {
        const int tag = b % width;
        int32_t c[6];
        for (int k = 0; k < 6; ++k) c[k] = k < aroundCount ? around[k][b] : kNoKey;
        SortSix(c);
        int size = 0;
        for (int k = 0; k < 6; ++k) {
            m_columns[tag][k] = MakeEntry(c[k], tag);
            size += c[k] != kNoKey;
        }
        m_columns[tag][6] = m_columns[tag][7] = kNoEntry;
        m_columnSize[tag] = size;
    };
    // Each pass keeps the middle ping's keys of the beam window by ring place (kNoKey
    // where there is no sample) and sorts them afresh for each beam: a sort of 8 without
    // branches costs less than keeping them sorted.
    struct Own
    {
        int32_t* ring;
        Entry run[8];
        int size;
    };
    Own ownA{m_middleKeys[0].data(), {}, 0};
    Own ownB{m_middleKeys[1].data(), {}, 0};
    auto sortOwn = [&](Own& own) {
        int32_t c[8];
        for (int k = 0; k < 8; ++k) c[k] = k < width ? own.ring[k] : kNoKey;
        SortEight(c);
        own.size = 0;
        for (int k = 0; k < 8; ++k) {
            own.run[k] = MakeEntry(c[k], 0);
            own.size += c[k] != kNoKey;
        }
    };
    auto start = [&](Own& own) {
        for (int b = 0; b < width; ++b) own.ring[b] = midKeys[b];
        sortOwn(own);
    };
    auto slide = [&](Own& own, int b) { // beam b takes the ring place of beam b - width
        own.ring[b % width] = midKeys[b];
        sortOwn(own);
    };
    // The flagged beam leaves the middle ping's samples from the next beam on.
    auto flag = [&](int t, Own& own) {
        mid.flags[t] |= kFlagStatistics;
        midKeys[t] = kNoKey;
        own.ring[t % width] = kNoKey;
    };

    auto stepA = [&](int j) {
        Entry* keys = m_aroundKeys[j % kept].data();
        if (j == h) {
            int count = 0;
            for (int b = 0; b < width; ++b) {
                column(b);
                for (int k = 0; k < m_columnSize[b]; ++k) keys[count++] = m_columns[b][k];
            }
            std::sort(keys, keys + count);
            std::fill(keys + count, keys + kSampleSlots, kNoEntry);
            m_aroundSize[j % kept] = count;
            start(ownA);
        } else {
            const int tag = (j + h) % width; // the ring place of beam j-h-1, then of j+h
            column(j + h);
            m_aroundSize[j % kept] = SlideEntries(m_aroundKeys[(j - 1) % kept].data(), m_aroundSize[(j - 1) % kept],
                                                  tag, m_columns[tag].data(), m_columnSize[tag], keys,
                                                  m_aroundSize[j % kept]);
            slide(ownA, j + h);
        }
        const int na = m_aroundSize[j % kept];
        if (na + ownA.size < 4) return;
        const double med = UnionQuantile(kMedianPos[na + ownA.size], keys, na, ownA.run, ownA.size);
        const double limit = std::fabs(kFixedRatio * med);
        auto judge = [&](int t) {
            if (std::fabs(mid.z[t] - med) > limit) flag(t, ownA);
        };
        judge(j);
        if (j == h)
            for (int t = h - 1; t >= 0; --t) judge(t);
        if (j == n - 1 - h)
            for (int t = j + 1; t < n; ++t) judge(t);
    };

    auto stepB = [&](int j) {
        if (j == h)
            start(ownB);
        else
            slide(ownB, j + h);
        const Entry* keys = m_aroundKeys[j % kept].data();
        const int na = m_aroundSize[j % kept];
        if (na + ownB.size < 4) return;
        const int size = na + ownB.size;
        const double med = UnionQuantile(kMedianPos[size], keys, na, ownB.run, ownB.size);
        const double q1 = UnionQuantile(kLowerPos[size], keys, na, ownB.run, ownB.size);
        const double q3 = UnionQuantile(kUpperPos[size], keys, na, ownB.run, ownB.size);
        m_spread = 0.9 * m_spread + 0.1 * std::fabs(q3 - q1);
        const double limit = m_quantScale * std::max(m_spread, kMinSpread);
        auto judge = [&](int t) {
            if (std::fabs(mid.z[t] - med) > limit) flag(t, ownB);
        };
        judge(j);
        if (j == h)
            for (int t = h - 1; t >= 0; --t) judge(t);
        if (j == n - 1 - h)
            for (int t = j + 1; t < n; ++t) judge(t);
    };

    for (int j = h; j < n; ++j) {
        if (j < n - h) stepA(j);
        if (j - h >= h) stepB(j - h);
    }
}

double MultibeamFilter::Quantile(double p, std::vector<double>& v)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return SortedQuantile(p, static_cast<int>(v.size()), [&](int i) { return v[i]; });
}

// ---- smart filter -----------------------------------------------------------------

bool MultibeamFilter::SmartFilter(PingStruct& ping)
{
    if (NadirBeam(ping) < 0) return false;
    const int n = ping.beamCount;
    const double off = ping.verticalOffset;

    // Mean depth (-z, without the offset) of the beams seen within the reliable sector.
    double sum = 0.0;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (Rejected(ping, i)) continue;
        const double x = ping.x[i], y = ping.y[i];
        const double rho = std::sqrt(x * x + y * y), d = -(ping.z[i] + off);
        int side = m_reliableBound.Side(rho, d);
        if (side == 0) side = std::atan2(rho, d) * R_TO_D < m_reliableAngle ? -1 : 1;
        if (side < 0) {
            sum += -static_cast<double>(ping.z[i]);
            ++count;
        }
    }
    if (count == 0) return false;
    const double depth = sum / count;
    const double halfWidth = depth * m_depthWidthRatio;

    double smallest = 0.0, largest = 0.0;
    for (int i = 0; i < n; ++i) {
        if (Rejected(ping, i)) continue;
        const double x = ping.x[i];
        if (std::fabs(x) > halfWidth) {
            ping.flags[i] |= kFlagSmart;
        } else {
            if (x < smallest) smallest = x;
            if (x > largest) largest = x;
        }
    }
    // Without a positive, finite bin width there is no profile to test against; more
    // bins than the reserved room (two per clip) would need memory beyond all reason.
    if (m_averagingClips < 1 || m_averagingClips > kMaxAveragingClips) return false;
    const double bw = halfWidth / m_averagingClips;
    if (!(bw > 0.0) || !std::isfinite(bw)) return false;
    if (m_smartSlopedNadir || m_smartSkipEmptyBins || m_smartToleranceUnit != 0) {
        SmartProfile::Settings s;
        s.reliableAngle = m_reliableAngle;
        s.nadirAreaPercent = m_nadirAreaPercent;
        s.tolReliable = m_vertTolReliable;
        s.tolUnreliable = m_vertTolUnreliable;
        s.slopedNadir = m_smartSlopedNadir;
        s.skipEmptyBins = m_smartSkipEmptyBins;
        s.unit = m_smartToleranceUnit == 1   ? SmartProfile::ToleranceUnit::DepthFraction
                 : m_smartToleranceUnit == 2 ? SmartProfile::ToleranceUnit::EstimatedError
                                             : SmartProfile::ToleranceUnit::Metres;
        m_smartProfile.Run(ping, s, smallest, largest, bw, halfWidth, kFlagSmart);
        return false;
    }

    const int lo = static_cast<int>(std::floor((smallest - bw / 2) / bw));
    const int hi = static_cast<int>(std::ceil((largest + bw / 2) / bw));
    const int bins = hi - lo;
    const double x0 = lo * bw;
    m_bins.assign(static_cast<size_t>(bins), Bin());

    for (int i = 0; i < n; ++i) {
        if (Rejected(ping, i)) continue;
        const double k = std::trunc((ping.x[i] - x0) / bw);
        if (k >= 0.0 && k < bins) m_bins[static_cast<size_t>(k)].Add(ping.z[i]);
    }

    // The nadir zone: grid positions -m+1 .. m-1.
    const double zone = std::trunc((halfWidth * m_nadirAreaPercent / 100.0) / bw);
    const int m = static_cast<int>(std::clamp(zone, -1.0e6, 1.0e6)) + 1;
    double level = 0.0;
    const int port = -lo - m - 1; // bin at grid position -m-1
    const int starboard = m - lo; // bin at grid position m
    if (lo < -m && m < hi) {
        if (m_bins[port].count == 0 || m_bins[starboard].count == 0) return false;
        level = (m_bins[port].mean + m_bins[starboard].mean) / 2.0;
    } else if (lo < -m) {
        if (m_bins[port].count == 0) return false;
        level = m_bins[port].mean;
    } else if (m < hi) {
        if (m_bins[starboard].count == 0) return false;
        level = m_bins[starboard].mean;
    }
    for (int k = 0; k < bins; ++k) {
        if (std::abs(lo + k) < m) {
            m_bins[k].count = 0;
            m_bins[k].Add(level);
        }
    }
    for (int k = 0; k < bins; ++k) {
        Bin& bin = m_bins[k];
        if (bin.count == 0) continue;
        const double p = (lo + k) * bw;
        const double q = p >= 0.0 ? p - bw / 2 : p + bw / 2;
        const double phi = std::fabs(std::atan2(q, -(bin.mean + off)) * R_TO_D);
        bin.tolerance = phi < m_reliableAngle ? m_vertTolReliable : m_vertTolUnreliable;
    }

    // Each beam against the profile half a bin inwards of it.
    for (int i = 0; i < n; ++i) {
        if (Rejected(ping, i)) continue;
        const double u = (ping.x[i] - bw / 2) - x0;
        const double f1 = std::floor(u / bw);
        const double f2 = std::ceil(u / bw);
        if (!(f1 >= 0.0 && f2 <= bins - 1)) {
            ping.flags[i] |= kFlagSmart;
            continue;
        }
        const Bin& b1 = m_bins[static_cast<size_t>(f1)];
        const Bin& b2 = m_bins[static_cast<size_t>(f2)];
        const double t = (u - f1 * bw) / bw;
        const double reference = b1.mean + (b2.mean - b1.mean) * t;
        const double tolerance = b1.tolerance + (b2.tolerance - b1.tolerance) * t;
        if (std::fabs(ping.z[i] - reference) > tolerance) ping.flags[i] |= kFlagSmart;
    }
    return false;
}
