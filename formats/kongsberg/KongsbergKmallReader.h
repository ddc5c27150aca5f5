// KongsbergKmallReader: reads a Kongsberg .kmall file in one pass and delivers its swaths
// (KongsbergSwath) in file order. Every datagram's length and trailing length are checked
// before it is read; #MRZ is decoded by the sizes it states for each sub-structure, so
// that newer versions with longer structures read, and a structure shorter than the
// fields needed is refused. The receive fans of one swath (same system, ping counter and
// along-track position) are joined in fan order, port first; a dual-swath ping gives two
// swaths. A ping's own position is used; without one, the active #SPO fixes place it
// (interpolated, or extrapolated at most 2 s). Extra detections are counted, not made
// beams. Every other datagram is stepped over by its length and counted by type. A fault
// is named with the datagram index and byte offset; the reader stops there, after
// delivering the swaths before it.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/formats/kongsberg/KongsbergSwath.h>
#include <KvsDataBlocks/platform/CString.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace kvs {

namespace kongsberg {
class MappedFile;
class PositionTrack;
class PendingSwaths;
}

class KVS_API KongsbergKmallReader
{
public:
    enum class Result { Swath, End, Error };

    KongsbergKmallReader();
    ~KongsbergKmallReader();
    KongsbergKmallReader(const KongsbergKmallReader&) = delete;
    KongsbergKmallReader& operator=(const KongsbergKmallReader&) = delete;

    bool Open(const CString& path, CString& error);
    // Reads a memory image of a whole file; the bytes must outlive the reader.
    bool OpenMemory(const unsigned char* data, size_t size, CString& error);

    Result Next(CString& error);
    const KongsbergSwath& Swath() const { return m_swath; }
    uint64_t SwathsRead() const { return m_swaths; }

    int SounderId() const { return m_sounder; }          // echoSounderID of the first #MRZ
    uint64_t ExtraDetections() const { return m_extra; } // over the swaths read
    uint64_t IncompleteSwaths() const { return m_incomplete; } // swaths with receive fans missing
    const std::map<std::string, uint64_t>& DatagramCounts() const { return m_counts; }
    uint64_t DatagramsRead() const { return m_nextIndex; }
    const unsigned char* Data() const { return m_data; }
    uint64_t Size() const { return m_size; }
    uint64_t Offset() const { return m_offset; }

private:
    bool Start(CString& error);
    bool Fail(CString& error, uint64_t at, const CString& what);
    bool ReadDatagram(CString& error);
    bool ReadMrz(const unsigned char* d, uint32_t length, CString& error);
    void ReadSpo(const unsigned char* d, uint32_t length);
    void Finish();

    std::unique_ptr<kongsberg::MappedFile> m_file;
    std::unique_ptr<kongsberg::PositionTrack> m_track;
    std::unique_ptr<kongsberg::PendingSwaths> m_pending;
    const unsigned char* m_data = nullptr;
    uint64_t m_size = 0, m_offset = 0, m_nextIndex = 0;
    bool m_open = false, m_failed = false, m_atEnd = false;
    CString m_error;
    int m_sounder = 0;

    // The swath being joined from its fans.
    bool m_holding = false;
    bool m_heldOwnPosition = false;
    uint32_t m_heldKey = 0; // system id << 24 | swath position << 16 | ping counter
    int m_heldFans = 0, m_heldExpected = 0, m_heldFirstFan = 0;
    KongsbergSwath m_held, m_part;

    KongsbergSwath m_swath;
    uint64_t m_swaths = 0, m_extra = 0, m_incomplete = 0;
    std::map<std::string, uint64_t> m_counts;
};

} // namespace kvs
