// PingStruct: one multibeam ping, its header values and its per-beam arrays, as the
// multibeam filter reads it out of a data block (group 1011) and writes it back.
// A ping may own storage for kMaxBeams items of every per-beam array (Allocate); the array
// members are views that are null (absent), point into the ping's own storage, or, after
// ShalowCopy, into another ping's storage, which must then outlive the view.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <memory>

// Which of two alternative per-beam arrays a ping holds: the 16-bit values (608) or, when
// the block has none with status 0, the float values (618).
enum class BeamValuesKind : int
{
    None = 0,
    Bits16 = 1, // beamValues16 (608)
    Float = 2,  // beamValuesFloat (618)
};

// Which of two alternative header values a ping holds: 619 (int) or, without it, 672 (float).
enum class Value619Kind : int
{
    None = 0,
    Int = 1,   // value619
    Float = 2, // value672
};

// The header values of a ping (use-as code of the data block element in brackets; "carried"
// values are read and written back unchanged).
struct PingValues
{
    int pingNumber = 0;             // 601
    int beamCount = 0;              // 602; 0 .. PingStruct::kMaxBeams when arrays are set
    int rejectedCount = 0;          // 612
    double time = 0.0;              // block time
    double value101 = 0.0;          // 101, carried
    double nadirDepth = 0.0;        // 214, metres, positive down
    int nadirBeam = -1;             // index, -1 when none
    double verticalOffset = 0.0;    // 212, metres, added to z for slant range and swath angle
    double value104 = 0.0;          // 104, carried
    double value102 = 0.0;          // 102, carried
    double value103 = 0.0;          // 103, carried
    double value401 = 0.0;          // 401, carried
    double positionX = 0.0;         // 505, metres
    double positionY = 0.0;         // 506, metres
    double verticalReference = 0.0; // 507, metres
    unsigned int pingFlags = 0;     // 607
    unsigned short value609 = 0;    // 609, carried
    unsigned short value611 = 0;    // 611, carried
    short value610 = 0;             // 610, carried
    int value617 = 0;               // 617, carried
    BeamValuesKind beamValuesKind = BeamValuesKind::None; // which of 608 and 618 is held
    int value619 = 0;               // 619, carried
    float value672 = 0.0f;          // 672, carried in place of 619
    Value619Kind value619Kind = Value619Kind::None; // which of 619 and 672 is held
    float value620 = 0.0f;          // 620, carried
    int value624 = 0;               // 624, carried
    double value522 = 0.0;          // 522, carried
    double value684 = 0.0;          // 684, carried
    double value685 = 0.0;          // 685, carried
    double value616 = 0.0;          // 616, carried
    int value649 = 0;               // 649, carried
    float value625 = 0.0f;          // 625, carried
    float value626 = 0.0f;          // 626, carried
    float value627 = 0.0f;          // 627, carried
};

// The per-beam array views of a ping: beamCount items each, or null.
struct PingArrays
{
    float* x = nullptr;                    // 603 across-track, metres, starboard positive
    float* y = nullptr;                    // 604 along-track, metres
    float* z = nullptr;                    // 605 vertical, metres, up positive (depth = -z)
    unsigned int* flags = nullptr;         // 606 beam flag words
    unsigned short* beamValues16 = nullptr; // 608, carried
    float* beamValuesFloat = nullptr;      // 618, carried in place of 608
    float* values621 = nullptr;            // 621, carried
    float* beamAngle = nullptr;            // 622 beam angle, degrees
    float* values623 = nullptr;            // 623, carried
    float* estVertError = nullptr;         // 676 estimated vertical error, metres
    float* estHorError = nullptr;          // 677 estimated horizontal error, metres
    float* allowedVertError = nullptr;     // 678 allowed vertical error, metres
    float* allowedHorError = nullptr;      // 679 allowed horizontal error, metres
};

class KVS_API PingStruct : public PingValues, public PingArrays
{
public:
    // Most beams a ping can hold: the size of every owned per-beam array.
    static constexpr int kMaxBeams = 4000;

    PingStruct() { Init(); }
    // Deep copies (DeepCopy); a copy of a ping with storage gets storage of its own.
    PingStruct(const PingStruct& other);
    PingStruct& operator=(const PingStruct& other);
    ~PingStruct() = default;

    // An empty ping: every value 0, no beam, nadir beam -1, every array view null. Owned
    // storage is kept for reuse; Delete releases it.
    void Init();
    // Releases the owned storage and nulls every view (values are kept).
    void Delete();
    // Gives the ping its own storage, kMaxBeams items for each per-beam array. Views are
    // not changed. False when out of memory.
    bool Allocate();
    bool IsAllocated() const { return m_floats != nullptr; }

    // The owned storage of each per-beam array, null before Allocate.
    enum FloatArray { kArrX, kArrY, kArrZ, kArrBeamValuesFloat, kArr621, kArrBeamAngle, kArr623, kArrEstVertError,
                      kArrEstHorError, kArrAllowedVertError, kArrAllowedHorError, kFloatArrayCount };
    float* OwnFloats(FloatArray which) const;
    unsigned int* OwnFlags() const { return m_flagStore.get(); }
    unsigned short* OwnBeamValues16() const { return m_beamValues16Store.get(); }

    // Values copied from other; each array view of other that is set is copied item by
    // item (beamCount items) into this ping's own storage (allocated when missing) and
    // this ping's view points there; views other has not set become null.
    void DeepCopy(const PingStruct& other);
    // Values copied from other; the array views refer to other's arrays (no copy).
    void ShalowCopy(const PingStruct& other);
    // Exchanges everything with other, owned storage included (no copy, no allocation);
    // views into either ping's storage follow the storage.
    void Swap(PingStruct& other) noexcept;

    // The nadir beam: the beam nearest to x = 0 (smallest |x|; the lowest index on a tie)
    // among the beams that Multibeam::IsBeamRejected does not reject; -1 when there is
    // none (no beam, no x or flag array, every beam rejected). Stored in nadirBeam.
    int CompNadirBeam();
    // Sets nadirBeam (CompNadirBeam) and nadirDepth := -z of the nadir beam (metres, the
    // depth as the depth filter measures it), 0.0 without a nadir beam. True when there
    // is a nadir beam.
    bool CompNadirDepth();

private:
    std::unique_ptr<float[]> m_floats;            // kFloatArrayCount * kMaxBeams
    std::unique_ptr<unsigned int[]> m_flagStore;  // kMaxBeams
    std::unique_ptr<unsigned short[]> m_beamValues16Store; // kMaxBeams
};
