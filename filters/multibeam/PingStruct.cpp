#include <KvsDataBlocks/filters/multibeam/PingStruct.h>

#include <KvsDataBlocks/filters/multibeam/Multibeam.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

namespace {

// Each float view with the owned array that backs it.
struct FloatView
{
    float* PingArrays::*member;
    PingStruct::FloatArray store;
};

constexpr FloatView kFloatViews[] = {
    {&PingArrays::x, PingStruct::kArrX},
    {&PingArrays::y, PingStruct::kArrY},
    {&PingArrays::z, PingStruct::kArrZ},
    {&PingArrays::beamValuesFloat, PingStruct::kArrBeamValuesFloat},
    {&PingArrays::values621, PingStruct::kArr621},
    {&PingArrays::beamAngle, PingStruct::kArrBeamAngle},
    {&PingArrays::values623, PingStruct::kArr623},
    {&PingArrays::estVertError, PingStruct::kArrEstVertError},
    {&PingArrays::estHorError, PingStruct::kArrEstHorError},
    {&PingArrays::allowedVertError, PingStruct::kArrAllowedVertError},
    {&PingArrays::allowedHorError, PingStruct::kArrAllowedHorError},
};
static_assert(std::size(kFloatViews) == PingStruct::kFloatArrayCount);

template <typename T>
T* CopyInto(T* own, const T* source, int count)
{
    if (!source) return nullptr;
    if (count > 0) std::memcpy(own, source, static_cast<size_t>(count) * sizeof(T));
    return own;
}

} // namespace

PingStruct::PingStruct(const PingStruct& other) : PingValues(), PingArrays()
{
    if (other.IsAllocated()) Allocate();
    DeepCopy(other);
}

PingStruct& PingStruct::operator=(const PingStruct& other)
{
    if (this != &other) DeepCopy(other);
    return *this;
}

void PingStruct::Init()
{
    static_cast<PingValues&>(*this) = PingValues();
    static_cast<PingArrays&>(*this) = PingArrays();
}

void PingStruct::Delete()
{
    static_cast<PingArrays&>(*this) = PingArrays();
    m_floats.reset();
    m_flagStore.reset();
    m_beamValues16Store.reset();
}

bool PingStruct::Allocate()
{
    if (IsAllocated()) return true;
    try {
        auto floats = std::make_unique<float[]>(static_cast<size_t>(kFloatArrayCount) * kMaxBeams);
        auto flagStore = std::make_unique<unsigned int[]>(kMaxBeams);
        auto beamValues16Store = std::make_unique<unsigned short[]>(kMaxBeams);
        m_floats = std::move(floats);
        m_flagStore = std::move(flagStore);
        m_beamValues16Store = std::move(beamValues16Store);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

float* PingStruct::OwnFloats(FloatArray which) const
{
    if (!m_floats || which < 0 || which >= kFloatArrayCount) return nullptr;
    return m_floats.get() + static_cast<size_t>(which) * kMaxBeams;
}

void PingStruct::DeepCopy(const PingStruct& other)
{
    if (this == &other) return;
    static_cast<PingValues&>(*this) = other;
    static_cast<PingArrays&>(*this) = PingArrays();
    const bool anyArray = other.x || other.y || other.z || other.flags || other.beamValues16 || other.beamValuesFloat ||
                          other.values621 || other.beamAngle || other.values623 || other.estVertError ||
                          other.estHorError || other.allowedVertError || other.allowedHorError;
    if (!anyArray) return;
    if (!Allocate()) throw std::bad_alloc();
    // Views never cover more than the owned arrays hold.
    const int count = std::clamp(other.beamCount, 0, kMaxBeams);
    for (const FloatView& v : kFloatViews)
        this->*v.member = CopyInto(OwnFloats(v.store), other.*v.member, count);
    flags = CopyInto(m_flagStore.get(), other.flags, count);
    beamValues16 = CopyInto(m_beamValues16Store.get(), other.beamValues16, count);
}

void PingStruct::ShalowCopy(const PingStruct& other)
{
    if (this == &other) return;
    static_cast<PingValues&>(*this) = other;
    static_cast<PingArrays&>(*this) = other;
}

void PingStruct::Swap(PingStruct& other) noexcept
{
    std::swap(static_cast<PingValues&>(*this), static_cast<PingValues&>(other));
    std::swap(static_cast<PingArrays&>(*this), static_cast<PingArrays&>(other));
    m_floats.swap(other.m_floats);
    m_flagStore.swap(other.m_flagStore);
    m_beamValues16Store.swap(other.m_beamValues16Store);
}

int PingStruct::CompNadirBeam()
{
    nadirBeam = -1;
    if (!x || !flags) return -1;
    // Each beam's key is the bit pattern of |x|, which orders like the value for every
    // number up to infinity; NaN positions lie above infinity, and so do rejected beams,
    // whose key is all ones but the sign bit: neither is ever nadir. The least key first,
    // then its lowest index: two loops without a branch, the first one vectorised.
    constexpr std::int32_t kInfinity = 0x7F800000, kAbs = 0x7FFFFFFF;
    const float* const px = x;
    const unsigned int* const pf = flags;
    const int n = beamCount;
    auto key = [&](int i) {
        const std::int32_t rejected = -static_cast<std::int32_t>(Multibeam::IsBeamRejected(pf[i]));
        return (std::bit_cast<std::int32_t>(px[i]) | rejected) & kAbs;
    };
    std::int32_t best = kAbs;
    for (int i = 0; i < n; ++i) best = std::min(best, key(i));
    if (best > kInfinity) return -1;
    int i = 0;
    while (key(i) != best) ++i;
    nadirBeam = i;
    return i;
}

bool PingStruct::CompNadirDepth()
{
    CompNadirBeam();
    if (nadirBeam < 0 || !z) {
        nadirDepth = 0.0;
        return false;
    }
    nadirDepth = -static_cast<double>(z[nadirBeam]);
    return true;
}
