#include <KvsDataBlocks/filters/pipedetect/PipedetectBeamFilter.h>

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/datablocks/CDataInfo.h>
#include <KvsDataBlocks/config/DataSearch.h>
#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/geometry/Line.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace {

// Element ids of the ping block (looked up by element id; 615 is a use-as code).
constexpr unsigned short kBeamCountId = 1;
constexpr unsigned short kBeamXId = 2;
constexpr unsigned short kBeamYId = 3;
constexpr unsigned short kBeamZId = 4;
constexpr unsigned short kValueId = 5;
constexpr unsigned short kFlagsId = 6;
constexpr unsigned short kSensorXId = 7;
constexpr unsigned short kSensorYId = 8;
constexpr unsigned short kSensorZId = 9;
constexpr unsigned short kPipeValueId = 11;
constexpr unsigned short kPipeValueAtMeanId = 12;
constexpr unsigned short kIntensityId = 13;
constexpr unsigned short kLookupUseAs = UseAs::kPipeBeamLookup;

constexpr unsigned int kQualityCandidate = 512; // flag words below this take quality/intensity
constexpr unsigned int kCandidate = 256;        // flag words below this take the other tests
constexpr int kGroupHistogramFirst = 1072;

// An array element's bytes as they lie in the block (unaligned in general): items are
// read and written through memcpy. count is 0 when the element is missing or of another
// type.
template <typename T>
struct ArrayRef
{
    unsigned char* data = nullptr;
    int count = 0;

    T Get(int i) const { return kvs::LoadLE<T>(data + static_cast<size_t>(i) * sizeof(T)); }
    void Set(int i, T v) const { kvs::StoreLE<T>(data + static_cast<size_t>(i) * sizeof(T), v); }
    void Or(int i, T bits) const { Set(i, Get(i) | bits); }
};

template <typename T>
ArrayRef<T> GetArray(CDataBlock& block, unsigned short key, unsigned short type)
{
    ArrayRef<T> ref;
    CKvsBytePtr* e = nullptr;
    if (!block.GetData(key, e, CDataBlock::kById) || !e || e->GetType() != type || !e->GetDataPtr()) return ref;
    ref.data = e->GetDataPtr();
    ref.count = static_cast<int>(e->GetLength() / sizeof(T));
    return ref;
}

ArrayRef<unsigned int> GetFlags(CDataBlock& block)
{
    return GetArray<unsigned int>(block, kFlagsId, ET_UINT_ARRAY);
}

ArrayRef<float> GetFloats(CDataBlock& block, unsigned short key)
{
    return GetArray<float>(block, key, ET_FLOAT_ARRAY);
}

double GetDouble(const CDataBlock& block, unsigned short key)
{
    double value = 0.0;
    unsigned short status = 0;
    if (!block.GetDataValue(key, value, status, CDataBlock::kById)) return 0.0;
    return value;
}

// Ascending by intensity; NaN intensities count as the weakest (and keep the order a
// strict weak one); equal intensities by beam index, so the lower beams are cut first.
template <typename T>
bool WeakerFirst(const std::pair<T, int>& a, const std::pair<T, int>& b)
{
    if constexpr (std::is_floating_point_v<T>) {
        const bool an = std::isnan(a.first), bn = std::isnan(b.first);
        if (an != bn) return an;
        if (an) return a.second < b.second;
    }
    if (a.first != b.first) return a.first < b.first;
    return a.second < b.second;
}

// Sorts the candidates and sets the intensity bit on all but the keep strongest.
template <typename T>
void CutWeakest(std::vector<std::pair<T, int>>& list, int keep, const ArrayRef<unsigned int>& flags)
{
    if (static_cast<int>(list.size()) <= keep) return;
    std::sort(list.begin(), list.end(), WeakerFirst<T>);
    const size_t cut = list.size() - static_cast<size_t>(keep);
    for (size_t i = 0; i < cut; ++i)
        flags.Or(list[i].second, PipedetectBeamFilter::kIntensityBit);
}

} // namespace

PipedetectBeamFilter::PipedetectBeamFilter(CAttributeMap* attributes)
{
    SetAttributes(attributes);
    m_ring.allocated = false;
    m_ringSize = kRingSize;
}

bool PipedetectBeamFilter::SetAttributes(CAttributeMap* attributes)
{
    unsigned int status = 0;
    CString maskName;
    if (attributes) {
        attributes->GetAttribValue(ATTR_MASKSHAPE, maskName, status);
        attributes->GetAttribValue(ATTR_SHAPEVIEWSIDE, m_viewSide, status);
    }
    // The contour is reloaded every time; without a mask name there is none (mask off).
    m_contourError = CString();
    if (maskName.IsEmpty()) {
        m_contour.Clear();
    } else {
        const DataSearch& search = DataSearch::GetDataSearch();
        CString path, extension;
        search.GetFilePath(DataSearch::kVesselContour, path);
        search.GetFileExtension(DataSearch::kVesselContour, extension);
        if (!m_contour.Create(path + (maskName + extension), m_viewSide)) m_contourError = m_contour.GetLastError();
    }
    if (attributes) {
        attributes->GetAttribValue(ATTR_PREVPOSMARGIN, m_prevPosMargin, status);
        // A missing component id keeps the previous one, like every other setting.
        CDataInfo info(m_compDataId, 0);
        unsigned short elemId = 0;
        if (attributes->GetAttribValue(ATTR_PIPEDETECTCOMPID, info, status)) info.GetInfo(m_compDataId, elemId);
    }
    m_intensitiesKept = 5;
    if (attributes) attributes->GetAttribValue(ATTR_MAXINTENSITYCNT, m_intensitiesKept, status);
    m_attributes = attributes;
    return true;
}

bool PipedetectBeamFilter::Process(CDataBlock& block, COMPUPDATEMODE)
{
    if (m_attributes) {
        unsigned int status = 0;
        m_attributes->GetAttribValue(ATTR_PIPEDIAMETER, m_pipeDiameter, status);
    }
    // The flag words are edited in place in the block's buffer, which is what writing
    // the array back with its own status would store.
    MaskFilter(block);
    QualityFilter(block);
    IntensityFilter(block);
    if (m_compDataId.GetGroupId() == kGroupHistogramFirst) {
        HistogramFilter(block);
        PrevPosFilter(block);
    } else {
        PrevPosFilter(block);
        HistogramFilter(block);
    }
    return true;
}

void PipedetectBeamFilter::QualityFilter(CDataBlock& block) const
{
    const ArrayRef<unsigned int> flags = GetFlags(block);
    for (int b = 0; b < flags.count; ++b) {
        const unsigned int f = flags.Get(b);
        if (f < kQualityCandidate && (f & 1u) == 0) flags.Set(b, f | kQualityBit);
    }
}

void PipedetectBeamFilter::IntensityFilter(CDataBlock& block)
{
    const ArrayRef<unsigned int> flags = GetFlags(block);
    // A negative count keeps no beam, the same as 0.
    const int kept = std::max(m_intensitiesKept, 0);
    const ArrayRef<unsigned short> shorts = GetArray<unsigned short>(block, kIntensityId, ET_USHORT_ARRAY);
    if (shorts.data) {
        const int n = std::min(shorts.count, flags.count);
        m_intIntensities.clear();
        for (int b = 0; b < n; ++b)
            if (flags.Get(b) < kQualityCandidate) m_intIntensities.emplace_back(shorts.Get(b), b);
        CutWeakest(m_intIntensities, std::min(kept, shorts.count), flags);
        return;
    }
    const ArrayRef<float> floats = GetFloats(block, kIntensityId);
    if (!floats.data) return;
    const int n = std::min(floats.count, flags.count);
    m_floatIntensities.clear();
    for (int b = 0; b < n; ++b)
        if (flags.Get(b) < kQualityCandidate) m_floatIntensities.emplace_back(floats.Get(b), b);
    CutWeakest(m_floatIntensities, std::min(kept, floats.count), flags);
}

void PipedetectBeamFilter::MaskFilter(CDataBlock& block) const
{
    const int size = m_contour.GetSize();
    if (size < 2) return;
    const bool side = m_viewSide == VesselContour::kSideView;
    const ArrayRef<unsigned int> flags = GetFlags(block);
    const ArrayRef<float> bx = GetFloats(block, kBeamXId);
    const ArrayRef<float> by = GetFloats(block, side ? kBeamZId : kBeamYId);
    const int n = std::min({flags.count, bx.count, by.count});
    const Point sensor(GetDouble(block, kSensorXId), GetDouble(block, side ? kSensorZId : kSensorYId), 0.0);
    for (int b = 0; b < n; ++b) {
        if (flags.Get(b) >= kCandidate) continue;
        const Line beam(sensor, Point(bx.Get(b), by.Get(b), 0.0));
        VesselPoint from, to;
        m_contour.GetPoint(1, from);
        for (int i = 2; i <= size; ++i, from = to) {
            m_contour.GetPoint(i, to);
            Point where;
            long code = 0;
            if (Line::Intersect(beam, Line(from, to), where, code) && code == Line::kCross && !to.flag) {
                flags.Or(b, kMaskBit);
                break;
            }
        }
    }
}

void PipedetectBeamFilter::HistogramFilter(CDataBlock& block)
{
    int beamCount = 0;
    unsigned short status = 0;
    const ArrayRef<float> values = GetFloats(block, kValueId);
    const ArrayRef<unsigned int> flags = GetFlags(block);
    if (!block.GetDataValue(kBeamCountId, beamCount, status, CDataBlock::kById) || !values.data || !flags.data) return;
    // Never past the arrays, whatever element 1 says.
    beamCount = std::clamp(beamCount, 0, std::min(values.count, flags.count));
    const ArrayRef<float> lookup = GetFloats(block, kLookupUseAs);
    const double time = block.GetTime();

    if (!m_ring.allocated) {
        for (int s = 0; s < kRingSize; ++s) {
            m_ring.slots[s].values.assign(kMaxSlotBeams, 0.0f);
            m_ring.slots[s].flags.assign(kMaxSlotBeams, 0u);
            m_binIndex[s].reserve(kMaxSlotBeams);
        }
        m_ring.writeIndex = 0;
        m_ring.filled = 0;
        m_ring.allocated = true;
    }
    // Pings running against the direction of the last two stored ones start the ring anew.
    if (m_ring.filled > 1) {
        const Slot& last = m_ring.slots[BufIndex(m_ring.writeIndex - 1, m_ringSize)];
        const Slot& before = m_ring.slots[BufIndex(m_ring.writeIndex - 2, m_ringSize)];
        const bool ascending = before.time < last.time;
        if ((ascending && time < last.time) || (!ascending && time > last.time)) {
            m_ring.writeIndex = 0;
            m_ring.filled = 0;
        }
    }
    const int written = m_ring.writeIndex;
    Slot& slot = m_ring.slots[written];
    slot.beamCount = std::min(beamCount, kMaxSlotBeams);
    slot.time = time;
    for (int b = 0; b < slot.beamCount; ++b) {
        slot.values[b] = values.Get(b);
        slot.flags[b] = flags.Get(b);
    }
    m_ring.writeIndex = BufIndex(written + 1, m_ringSize);
    m_ring.filled = std::min(m_ring.filled + 1, m_ringSize);

    m_histogram.fill(0);
    for (int r = 0; r < m_ring.filled; ++r) {
        const Slot& s = m_ring.slots[BufIndex(written - r, m_ringSize)];
        std::vector<int>& bins = m_binIndex[r];
        bins.assign(static_cast<size_t>(s.beamCount), -1);
        for (int b = 0; b < s.beamCount; ++b) {
            const double v = s.values[b];
            if (s.flags[b] >= kCandidate || !(v < kUpperLimit)) continue;
            // Values far below 0 are kept out of int range: their bin never matches.
            const double bin = std::floor(v / kBinWidth + 0.5);
            if (bin < 0.0) continue;
            bins[b] = static_cast<int>(bin);
            if (bins[b] > 0 && bins[b] < kBinCount) ++m_histogram[bins[b]];
        }
    }
    // The peak is the pair of neighbouring bins with the most values; later pairs win ties.
    int best = 0, peakBin = -1;
    float peak = 0.0f;
    for (int i = 0; i < kBinCount - 1; ++i) {
        if (m_histogram[i] + m_histogram[i + 1] >= best) {
            best = m_histogram[i] + m_histogram[i + 1];
            peakBin = i;
            peak = static_cast<float>(i * kBinWidth + kBinWidth / 2.0);
        }
    }
    double sum = 0.0;
    long long indexSum = 0, count = 0;
    for (int r = 0; r < m_ring.filled; ++r) {
        const Slot& s = m_ring.slots[BufIndex(written - r, m_ringSize)];
        const std::vector<int>& bins = m_binIndex[r];
        for (int b = 0; b < s.beamCount; ++b) {
            if (bins[b] == peakBin || bins[b] == peakBin + 1) {
                sum += s.values[b];
                indexSum += b;
                ++count;
            }
        }
    }
    if (count != 0) {
        block.SetDataValue(kPipeValueId, sum / static_cast<double>(count), kvs::kStatusValid, CDataBlock::kById);
        const long long m = indexSum / count;
        if (m >= 0 && m < lookup.count)
            block.SetDataValue(kPipeValueAtMeanId, static_cast<double>(lookup.Get(static_cast<int>(m))),
                               kvs::kStatusValid, CDataBlock::kById);
        else
            block.SetDataValue(kPipeValueAtMeanId, static_cast<double>(m), kvs::kStatusInvalid, CDataBlock::kById);
    }
    // SetDataValue of a scalar does not move the arrays, but read them afresh all the same.
    const ArrayRef<float> v2 = GetFloats(block, kValueId);
    const ArrayRef<unsigned int> f2 = GetFlags(block);
    const int n = std::min({beamCount, v2.count, f2.count});
    for (int b = 0; b < n; ++b) {
        if (f2.Get(b) >= kCandidate) continue;
        const double v = v2.Get(b);
        if (v > peak + m_pipeDiameter || v < peak - m_pipeDiameter) f2.Or(b, kHistogramBit);
    }
}

void PipedetectBeamFilter::PrevPosFilter(CDataBlock& block) const
{
    if (!m_attributes) return;
    double x = 0.0, y = 0.0, z = 0.0;
    unsigned int status = 0;
    m_attributes->GetAttribValue(ATTR_POSITION, x, y, z, status);
    if (x == 0.0 && y == 0.0 && z == 0.0) return;
    const bool side = m_viewSide == VesselContour::kSideView;
    const double r = m_pipeDiameter / 2.0 + m_prevPosMargin;
    const double r2 = r * r;
    const double other = side ? z : y;
    const ArrayRef<unsigned int> flags = GetFlags(block);
    const ArrayRef<float> bx = GetFloats(block, kBeamXId);
    const ArrayRef<float> by = GetFloats(block, side ? kBeamZId : kBeamYId);
    const int n = std::min({flags.count, bx.count, by.count});
    for (int b = 0; b < n; ++b) {
        if (flags.Get(b) >= kCandidate) continue;
        const double dx = bx.Get(b) - x, dy = by.Get(b) - other;
        if (r2 < dx * dx + dy * dy) flags.Or(b, kPrevPosBit);
    }
}
