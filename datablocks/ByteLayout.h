// Byte layouts: the one place where stored and packed values are read from and written to
// byte buffers. Our own layouts are little-endian; big-endian loads and stores serve
// foreign formats that are (GSF). Loads and stores go through memcpy, so the bytes need no
// alignment, and every width is fixed (never a platform long). ByteReader and ByteWriter
// walk a bounded buffer: a field that does not fit is refused and nothing moves.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace kvs {

static_assert(std::endian::native == std::endian::little, "the stored layouts are little-endian");

template <typename T>
inline T LoadLE(const unsigned char* p)
{
    static_assert(std::is_trivially_copyable_v<T>);
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
inline void StoreLE(unsigned char* p, T v)
{
    static_assert(std::is_trivially_copyable_v<T>);
    std::memcpy(p, &v, sizeof v);
}

// Reverses the byte order of an integer.
template <typename T>
constexpr T ByteSwap(T v)
{
    static_assert(std::is_integral_v<T>);
    using U = std::make_unsigned_t<T>;
    U u = static_cast<U>(v), r = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
        r = static_cast<U>((r << 8) | (u & 0xFFu));
        u = static_cast<U>(u >> 8);
    }
    return static_cast<T>(r);
}

// Big-endian integers.
template <typename T>
inline T LoadBE(const unsigned char* p)
{
    return ByteSwap(LoadLE<T>(p));
}

template <typename T>
inline void StoreBE(unsigned char* p, T v)
{
    StoreLE<T>(p, ByteSwap(v));
}

// Reads fields from [pos, pos + remaining); each read fails (false, nothing moved) when
// fewer bytes than the field's width remain.
class ByteReader
{
public:
    ByteReader(const unsigned char* pos, size_t remaining) : m_pos(pos), m_remaining(remaining) {}

    template <typename T>
    bool Read(T& out)
    {
        if (m_remaining < sizeof(T)) return false;
        out = LoadLE<T>(m_pos);
        m_pos += sizeof(T);
        m_remaining -= sizeof(T);
        return true;
    }
    template <typename T>
    bool ReadBE(T& out)
    {
        if (m_remaining < sizeof(T)) return false;
        out = LoadBE<T>(m_pos);
        m_pos += sizeof(T);
        m_remaining -= sizeof(T);
        return true;
    }
    bool ReadBytes(void* out, size_t count)
    {
        if (m_remaining < count) return false;
        if (count) std::memcpy(out, m_pos, count);
        m_pos += count;
        m_remaining -= count;
        return true;
    }
    bool Skip(size_t count)
    {
        if (m_remaining < count) return false;
        m_pos += count;
        m_remaining -= count;
        return true;
    }
    const unsigned char* Position() const { return m_pos; }
    size_t Remaining() const { return m_remaining; }

private:
    const unsigned char* m_pos;
    size_t m_remaining;
};

// Writes fields into [pos, pos + remaining); each write fails (false, nothing written)
// when fewer bytes than the field's width remain.
class ByteWriter
{
public:
    ByteWriter(unsigned char* pos, size_t remaining) : m_pos(pos), m_remaining(remaining) {}

    template <typename T>
    bool Write(T v)
    {
        if (m_remaining < sizeof(T)) return false;
        StoreLE<T>(m_pos, v);
        m_pos += sizeof(T);
        m_remaining -= sizeof(T);
        return true;
    }
    bool WriteBytes(const void* in, size_t count)
    {
        if (m_remaining < count) return false;
        if (count) std::memcpy(m_pos, in, count);
        m_pos += count;
        m_remaining -= count;
        return true;
    }
    unsigned char* Position() const { return m_pos; }
    size_t Remaining() const { return m_remaining; }

private:
    unsigned char* m_pos;
    size_t m_remaining;
};

} // namespace kvs
