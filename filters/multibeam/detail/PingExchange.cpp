#include <KvsDataBlocks/filters/multibeam/detail/PingExchange.h>

#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/filters/multibeam/detail/IhoOrder.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <type_traits>
#include <variant>
#include <vector>

namespace kvs::multibeam::detail {

namespace {

// What an entry of the exchange table is.
enum class Role : unsigned char
{
    Value,           // a header value, read when the block has it
    Required,        // 603 to 606: the ping is refused without them
    Optional,        // a per-beam array, null when the block lacks it
    BeamValues16,    // 608: held when its status is 0 (kind Bits16)
    BeamValuesFloat, // 618: held in place of 608 when its status is 0 (kind Float)
    Value619,        // 619: kind Int when present
    Value672,        // 672: read when 619 is absent (kind Float)
    NadirDepth,      // 214: written with the nadir-depth status
    BelowOffset,     // 213: written only, the nadir depth less the vertical offset
};

using Member = std::variant<int PingValues::*, unsigned int PingValues::*, unsigned short PingValues::*,
                            short PingValues::*, float PingValues::*, double PingValues::*, float* PingArrays::*,
                            unsigned int* PingArrays::*, unsigned short* PingArrays::*>;

struct Field
{
    unsigned short useAs;
    Role role;
    Member member;
    PingStruct::FloatArray store = PingStruct::kFloatArrayCount; // the own storage of a float array
};

// The exchange in the order of reading and of writing. Header value 401 is read and
// written twice, as the block layout of old had it.
constexpr Field kFields[] = {
    {UseAs::kPingNumber, Role::Value, &PingValues::pingNumber},
    {UseAs::kBeamCount, Role::Value, &PingValues::beamCount},
    {UseAs::kVerticalOffset, Role::Value, &PingValues::verticalOffset},
    {UseAs::kValue104, Role::Value, &PingValues::value104},
    {UseAs::kValue102, Role::Value, &PingValues::value102},
    {UseAs::kValue103, Role::Value, &PingValues::value103},
    {UseAs::kValue401, Role::Value, &PingValues::value401},
    {UseAs::kAcrossTrack, Role::Required, &PingArrays::x, PingStruct::kArrX},
    {UseAs::kAlongTrack, Role::Required, &PingArrays::y, PingStruct::kArrY},
    {UseAs::kBeamZ, Role::Required, &PingArrays::z, PingStruct::kArrZ},
    {UseAs::kBeamFlags, Role::Required, &PingArrays::flags},
    {UseAs::kPingFlags, Role::Value, &PingValues::pingFlags},
    {UseAs::kValue609, Role::Value, &PingValues::value609},
    {UseAs::kValue610, Role::Value, &PingValues::value610},
    {UseAs::kValue611, Role::Value, &PingValues::value611},
    {UseAs::kRejectedBeams, Role::Value, &PingValues::rejectedCount},
    {UseAs::kNadirDepth, Role::NadirDepth, &PingValues::nadirDepth},
    {UseAs::kNadirDepthBelowOffset, Role::BelowOffset, &PingValues::nadirDepth},
    {UseAs::kValue617, Role::Value, &PingValues::value617},
    {UseAs::kBeamValues621, Role::Optional, &PingArrays::values621, PingStruct::kArr621},
    {UseAs::kBeamAngle, Role::Optional, &PingArrays::beamAngle, PingStruct::kArrBeamAngle},
    {UseAs::kBeamValues623, Role::Optional, &PingArrays::values623, PingStruct::kArr623},
    {UseAs::kBeamValues16, Role::BeamValues16, &PingArrays::beamValues16},
    {UseAs::kBeamValuesFloat, Role::BeamValuesFloat, &PingArrays::beamValuesFloat, PingStruct::kArrBeamValuesFloat},
    {UseAs::kValue619, Role::Value619, &PingValues::value619},
    {UseAs::kValue672, Role::Value672, &PingValues::value672},
    {UseAs::kValue620, Role::Value, &PingValues::value620},
    {UseAs::kValue624, Role::Value, &PingValues::value624},
    {UseAs::kValue101, Role::Value, &PingValues::value101},
    {UseAs::kPositionX, Role::Value, &PingValues::positionX},
    {UseAs::kPositionY, Role::Value, &PingValues::positionY},
    {UseAs::kVerticalReference, Role::Value, &PingValues::verticalReference},
    {UseAs::kValue522, Role::Value, &PingValues::value522},
    {UseAs::kValue684, Role::Value, &PingValues::value684},
    {UseAs::kValue685, Role::Value, &PingValues::value685},
    {UseAs::kEstimatedVertError, Role::Optional, &PingArrays::estVertError, PingStruct::kArrEstVertError},
    {UseAs::kEstimatedHorError, Role::Optional, &PingArrays::estHorError, PingStruct::kArrEstHorError},
    {UseAs::kAllowedVertError, Role::Optional, &PingArrays::allowedVertError, PingStruct::kArrAllowedVertError},
    {UseAs::kAllowedHorError, Role::Optional, &PingArrays::allowedHorError, PingStruct::kArrAllowedHorError},
    {UseAs::kValue649, Role::Value, &PingValues::value649},
    {UseAs::kValue616, Role::Value, &PingValues::value616},
    {UseAs::kValue626, Role::Value, &PingValues::value626},
    {UseAs::kValue627, Role::Value, &PingValues::value627},
    {UseAs::kValue401, Role::Value, &PingValues::value401},
    {UseAs::kValue625, Role::Value, &PingValues::value625},
};

constexpr int kRequiredCount = 4;
static_assert(std::count_if(std::begin(kFields), std::end(kFields), [](const Field& f) { return f.role == Role::Required; }) ==
              kRequiredCount);

template <typename M>
struct MemberOf;
template <typename T>
struct MemberOf<T PingValues::*>
{
    static constexpr bool kArray = false;
};
template <typename T>
struct MemberOf<T* PingArrays::*>
{
    static constexpr bool kArray = true;
    using Item = T;
};

// The element types a per-beam array of items T may be stored as: the beam flags as
// ET_UINT_ARRAY or ET_ULONG_ARRAY (32-bit too).
template <typename T>
struct ArrayTypes;
template <>
struct ArrayTypes<float>
{
    static constexpr unsigned short kType = ET_FLOAT_ARRAY, kAlt = ET_FLOAT_ARRAY;
};
template <>
struct ArrayTypes<unsigned int>
{
    static constexpr unsigned short kType = ET_UINT_ARRAY, kAlt = ET_ULONG_ARRAY;
};
template <>
struct ArrayTypes<unsigned short>
{
    static constexpr unsigned short kType = ET_USHORT_ARRAY, kAlt = ET_USHORT_ARRAY;
};

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

// The array element of a table entry with count items, null when the block has none.
const CKvsBytePtr* FindArray(const CDataBlock& block, const Field& f, int count)
{
    return std::visit(
        [&](auto m) -> const CKvsBytePtr* {
            using Of = MemberOf<decltype(m)>;
            if constexpr (Of::kArray) {
                using Types = ArrayTypes<typename Of::Item>;
                return FindArray(block, f.useAs, Types::kType, Types::kAlt, sizeof(typename Of::Item), count);
            } else {
                return nullptr;
            }
        },
        f.member);
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

float* OwnStorage(PingStruct& ping, float*, const Field& f) { return ping.OwnFloats(f.store); }
unsigned int* OwnStorage(PingStruct& ping, unsigned int*, const Field&) { return ping.OwnFlags(); }
unsigned short* OwnStorage(PingStruct& ping, unsigned short*, const Field&) { return ping.OwnBeamValues16(); }

// Binds the array of a table entry to a copy of the element e in the ping's own storage
// (null when e is null); true when bound.
bool BindArray(PingStruct& ping, const Field& f, const CKvsBytePtr* e, int count)
{
    return std::visit(
        [&](auto m) {
            if constexpr (MemberOf<decltype(m)>::kArray) {
                ping.*m = CopyArrayIn(e, OwnStorage(ping, ping.*m, f), count);
                return ping.*m != nullptr;
            } else {
                return false;
            }
        },
        f.member);
}

// Writes count items into the element of use-as code useAs (when the block has one of
// type code type), resizing it when its length differs; status 0.
// With asRead, the element is known to hold these items already: only its status is set.
template <typename T>
void WriteArray(CDataBlock& block, unsigned short useAs, unsigned short type, const T* items, int count,
                bool asRead = false)
{
    if (!items) return;
    CKvsBytePtr* e = nullptr;
    if (!block.GetData(useAs, e, CDataBlock::kByUseAs) || !e || e->GetType() != type) return;
    const size_t bytes = static_cast<size_t>(count) * sizeof(T);
    if (e->GetLength() == bytes) {
        if (bytes && !asRead) std::memcpy(e->GetDataPtr(), items, bytes);
        e->SetStatus(0);
        return;
    }
    block.SetDataValue(useAs, items, count, 0, CDataBlock::kByUseAs);
}

// Reads the header value of a table entry into its member (only when the block has it).
void ReadValue(const CDataBlock& block, PingStruct& ping, const Field& f)
{
    std::visit(
        [&](auto m) {
            if constexpr (!MemberOf<decltype(m)>::kArray) ReadScalar(block, f.useAs, ping.*m);
        },
        f.member);
}

// Reads the value straight into the member; true when the block has it.
bool ReadValueIn(const CDataBlock& block, PingStruct& ping, const Field& f)
{
    unsigned short status = 0;
    return std::visit(
        [&](auto m) {
            if constexpr (!MemberOf<decltype(m)>::kArray)
                return block.GetDataValue(f.useAs, ping.*m, status, CDataBlock::kByUseAs);
            else
                return false;
        },
        f.member);
}

void WriteEntry(CDataBlock& block, const PingStruct& ping, const Field& f, int count, bool arraysAsRead)
{
    std::visit(
        [&](auto m) {
            using Of = MemberOf<decltype(m)>;
            if constexpr (!Of::kArray) {
                WriteScalar(block, f.useAs, ping.*m);
            } else if constexpr (std::is_same_v<typename Of::Item, unsigned int>) {
                PingExchange::WriteFlags(block, ping.*m, count);
            } else {
                // The allowed errors are computed in Read, never as read.
                const bool asRead =
                    arraysAsRead && f.useAs != UseAs::kAllowedVertError && f.useAs != UseAs::kAllowedHorError;
                WriteArray(block, f.useAs, ArrayTypes<typename Of::Item>::kType, ping.*m, count, asRead);
            }
        },
        f.member);
}

} // namespace

bool PingExchange::IsReadable(const CDataBlock& block)
{
    int count = 0;
    ReadScalar(block, UseAs::kBeamCount, count);
    if (count < 0 || count > PingStruct::kMaxBeams) return false;
    for (const Field& f : kFields)
        if (f.role == Role::Required && !FindArray(block, f, count)) return false;
    return true;
}

std::string PingExchange::WhyUnreadable(const CDataBlock& block)
{
    int count = 0;
    ReadScalar(block, UseAs::kBeamCount, count);
    if (count < 0 || count > PingStruct::kMaxBeams)
        return "beam count " + std::to_string(count) + " outside 0.." + std::to_string(PingStruct::kMaxBeams);
    for (const Field& f : kFields) {
        if (f.role != Role::Required || FindArray(block, f, count)) continue;
        CKvsBytePtr* e = nullptr;
        const std::string array = "beam array " + std::to_string(f.useAs);
        if (!block.GetData(f.useAs, e, CDataBlock::kByUseAs) || !e) return "no " + array;
        return array + " does not hold " + std::to_string(count) + " items of its type (" +
               std::to_string(e->GetLength()) + " bytes, type " + std::to_string(e->GetType()) + ")";
    }
    return {};
}

bool PingExchange::Read(const CDataBlock& block, PingStruct& ping, int ihoOrder)
{
    ping.Init();
    ping.time = block.GetTime();
    bool bound = false; // the required arrays
    for (const Field& f : kFields) {
        const int n = ping.beamCount;
        switch (f.role) {
        case Role::Value:
        case Role::NadirDepth: ReadValue(block, ping, f); break;
        case Role::Required: {
            if (bound) break;
            // More beams than the arrays hold are refused, never read past them.
            if (n < 0 || n > PingStruct::kMaxBeams) return false;
            const CKvsBytePtr* found[kRequiredCount] = {};
            int k = 0;
            for (const Field& r : kFields)
                if (r.role == Role::Required && !(found[k++] = FindArray(block, r, n))) return false;
            if (!ping.Allocate()) return false;
            k = 0;
            for (const Field& r : kFields)
                if (r.role == Role::Required) BindArray(ping, r, found[k++], n);
            bound = true;
            break;
        }
        case Role::Optional: BindArray(ping, f, FindArray(block, f, n), n); break;
        case Role::BeamValues16:
        case Role::BeamValuesFloat: {
            if (ping.beamValuesKind != BeamValuesKind::None) break;
            const CKvsBytePtr* e = FindArray(block, f, n);
            if (e && e->GetStatus() == 0 && BindArray(ping, f, e, n))
                ping.beamValuesKind = f.role == Role::BeamValues16 ? BeamValuesKind::Bits16 : BeamValuesKind::Float;
            break;
        }
        case Role::Value619:
        case Role::Value672:
            if (ping.value619Kind == Value619Kind::None && ReadValueIn(block, ping, f))
                ping.value619Kind = f.role == Role::Value619 ? Value619Kind::Int : Value619Kind::Float;
            break;
        case Role::BelowOffset: break;
        }
    }

    const int n = ping.beamCount;
    if (ping.allowedVertError && ping.allowedHorError) {
        const float reference = static_cast<float>(ping.verticalReference);
        const IhoOrder* o = IhoOrder::Find(ihoOrder);
        if (ihoOrder == IhoOrder::kByDepth) {
            const IhoOrder& near = kIhoOrders[1];
            const IhoOrder& far = kIhoOrders[2];
            for (int i = 0; i < n; ++i) {
                const float d = -(reference + ping.z[i]);
                const IhoOrder& order = d <= IhoOrder::kByDepthLimit ? near : far;
                ping.allowedVertError[i] = order.VertError(d);
                ping.allowedHorError[i] = order.HorError(d);
            }
        } else if (!o) {
            std::fill(ping.allowedVertError, ping.allowedVertError + n, 0.0f);
            std::fill(ping.allowedHorError, ping.allowedHorError + n, 0.0f);
        } else {
            for (int i = 0; i < n; ++i) {
                const float d = -(reference + ping.z[i]);
                ping.allowedVertError[i] = o->VertError(d);
                ping.allowedHorError[i] = o->HorError(d);
            }
        }
    }
    return true;
}

void PingExchange::Write(CDataBlock& block, const PingStruct& ping, unsigned short nadirDepthStatus, bool arraysAsRead)
{
    const int n = ping.beamCount;
    block.SetTime(ping.time);
    block.SetStatus(0);
    for (const Field& f : kFields) {
        switch (f.role) {
        case Role::Value:
        case Role::Required:
        case Role::Optional: WriteEntry(block, ping, f, n, arraysAsRead); break;
        case Role::BeamValues16:
            if (ping.beamValuesKind == BeamValuesKind::Bits16) WriteEntry(block, ping, f, n, arraysAsRead);
            break;
        case Role::BeamValuesFloat:
            if (ping.beamValuesKind == BeamValuesKind::Float) WriteEntry(block, ping, f, n, arraysAsRead);
            break;
        case Role::Value619:
            if (ping.value619Kind == Value619Kind::Int) WriteEntry(block, ping, f, n, arraysAsRead);
            break;
        case Role::Value672:
            if (ping.value619Kind == Value619Kind::Float) WriteEntry(block, ping, f, n, arraysAsRead);
            break;
        case Role::NadirDepth: WriteScalar(block, f.useAs, ping.nadirDepth, nadirDepthStatus); break;
        case Role::BelowOffset:
            WriteScalar(block, f.useAs, ping.nadirDepth - ping.verticalOffset, nadirDepthStatus);
            break;
        }
    }
}

void PingExchange::WriteFlags(CDataBlock& block, const unsigned int* flags, int count)
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

} // namespace kvs::multibeam::detail
