// PingStruct: one multibeam ping, its header values and its per-beam arrays, as the
// multibeam filter reads it out of a data block (group 1011) and writes it back.
// A ping may own storage for kMaxBeams items of every per-beam array (Allocate); the array
// members are views that are null (absent), point into the ping's own storage, or, after
// ShalowCopy, into another ping's storage, which must then outlive the view.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <memory>

// The header values of a ping (use-as code of the data block element in brackets).
struct PingValues
{
    int pingNumber = 0;            // 601
    int beamCount = 0;             // 602; 0 .. PingStruct::kMaxBeams when arrays are set
    int rejectedCount = 0;         // 612
    double time = 0.0;             // block time
    double value101 = 0.0;         // 101
    double nadirDepth = 0.0;       // 214, metres, positive down
    int nadirBeam = -1;            // index, -1 when none
    double verticalOffset = 0.0;   // 212, metres, added to z for slant range and swath angle
    double value104 = 0.0;         // 104
    double value102 = 0.0;         // 102
    double value103 = 0.0;         // 103
    double value401 = 0.0;         // 401
    double value505 = 0.0;         // 505 position x
    double value506 = 0.0;         // 506 position y
    double verticalReference = 0.0; // 507, metres
    unsigned int pingFlags = 0;    // 607
    unsigned short value609 = 0;   // 609
    unsigned short value611 = 0;   // 611
    short value610 = 0;            // 610
    int value617 = 0;              // 617
    int perBeamKind = 0;           // 0 none, 1 values608 set, 2 values618 set
    int value619 = 0;              // 619
    float value672 = 0.0f;         // 672
    int kind619 = 0;               // 0 none, 1 value619 present, 2 value672 present
    float value620 = 0.0f;         // 620
    int value624 = 0;              // 624
    double value522 = 0.0;         // 522
    double value684 = 0.0;         // 684
    double value685 = 0.0;         // 685
    double value616 = 0.0;         // 616
    int value649 = 0;              // 649
    float value625 = 0.0f;         // 625
    float value626 = 0.0f;         // 626
    float value627 = 0.0f;         // 627

};

// The per-beam array views of a ping: beamCount items each, or null.
struct PingArrays
{
    float* x = nullptr;                 // 603 across-track, metres, starboard positive
    float* y = nullptr;                 // 604 along-track, metres
    float* z = nullptr;                 // 605 vertical, metres, up positive (depth = -z)
    unsigned int* flags = nullptr;      // 606 beam flag words
    unsigned short* values608 = nullptr; // 608
    float* values618 = nullptr;         // 618
    float* values621 = nullptr;         // 621
    float* angle622 = nullptr;          // 622 beam angle, degrees
    float* values623 = nullptr;         // 623
    float* estVertError = nullptr;      // 676 estimated vertical error, metres
    float* estHorError = nullptr;       // 677 estimated horizontal error, metres
    float* allowedVertError = nullptr;  // 678 allowed vertical error, metres
    float* allowedHorError = nullptr;   // 679 allowed horizontal error, metres

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
    enum FloatArray { kArrX, kArrY, kArrZ, kArr618, kArr621, kArr622, kArr623, kArr676, kArr677, kArr678, kArr679,
                      kFloatArrayCount };
    float* OwnFloats(FloatArray which) const;
    unsigned int* OwnFlags() const { return m_flagStore.get(); }
    unsigned short* OwnValues608() const { return m_store608.get(); }

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
    std::unique_ptr<unsigned short[]> m_store608; // kMaxBeams
};
