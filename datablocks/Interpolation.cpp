// Interpolation of elements and blocks between two records of one source, and import of
// element values from another block by use-as code.
#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <cstring>

namespace {

// Status of an interpolated value: the worst of both, in this order of precedence.
constexpr unsigned short kStatusPrecedence[] = {kvs::kStatusInvalid, kvs::kStatusEmpty, kvs::kStatusRejected,
                                                kvs::kStatusDegraded};

unsigned short CombineStatus(unsigned short a, unsigned short b)
{
    for (unsigned short s : kStatusPrecedence)
        if (a == s || b == s) return s;
    return kvs::kStatusValid;
}

// Whether an element of b can be paired with this block's element of the same position.
// (The typed reads themselves refuse an area shorter than the value.)
bool Pairable(const CKvsBytePtr& self, const CKvsBytePtr& other)
{
    return self.GetType() == other.GetType();
}

} // namespace

bool CKvsBytePtr::Interpolate(const CKvsBytePtr& a, const CKvsBytePtr& b, double fraction)
{
    if (a.GetType() != b.GetType() || GetType() != b.GetType()) return false;
    const unsigned short status = CombineStatus(a.GetStatus(), b.GetStatus());
    switch (GetType()) {
    case ET_INT: {
        // Integers are not blended: a's value up to b's time, b's from there (NaN takes a's).
        int value = 0;
        if ((fraction >= 1.0 ? b : a).GetInt(value)) SetInt(value);
        break;
    }
    case ET_DOUBLE: {
        double va = 0.0, vb = 0.0;
        if (a.GetDouble(va) && b.GetDouble(vb)) SetDouble((vb - va) * fraction + va);
        break;
    }
    default:
        break; // other types keep their value; only the status follows a and b
    }
    SetStatus(status);
    return true;
}

bool CDataBlock::Interpolate(const CDataBlock& a, const CDataBlock& b, double fraction)
{
    if (&b == this && &a != this) {
        // Laying this block out like a would overwrite b's values before they are read.
        const CDataBlock copy(b);
        return Interpolate(a, copy, fraction);
    }

    // Step 1: take a's layout (the values are this block's, or zero bytes when renewed).
    if (m_count != a.m_count && !Allocate(a.m_count)) return false;
    if (m_table && a.m_table)
        for (unsigned int i = 0; i < m_count; ++i) m_table[i] = a.m_table[i];
    if (m_dataSize != a.m_dataSize) {
        if (!Init()) return false;
    } else {
        AssignBptr();
    }

    if (a.GetStatus() != kvs::kStatusValid || b.GetStatus() != kvs::kStatusValid) return false;

    // Elements are paired by position: b must hold every position of a, with the same types.
    if (b.m_count < m_count) return false;
    for (unsigned int i = 0; i < m_count; ++i)
        if (!Pairable(m_table[i], b.m_table[i])) return false;

    for (unsigned int i = 0; i < m_count; ++i) m_table[i].Interpolate(a.m_table[i], b.m_table[i], fraction);
    m_statusWord = 0;
    return true;
}

bool CDataBlock::Interpolate(unsigned short key, unsigned short mode, const CDataBlock& a, const CDataBlock& b,
                             double fraction)
{
    unsigned short index = 0;
    if (!LookUp(key, mode, index)) return false;
    // The position found here is used in a and b as well; both must have it.
    if (index >= a.m_count || index >= b.m_count) return false;
    return m_table[index].Interpolate(a.m_table[index], b.m_table[index], fraction);
}

bool CDataBlock::ImportItems(const CDataBlock& source)
{
    for (unsigned int i = 0; i < m_count; ++i) {
        unsigned short j = 0;
        if (!source.LookUp(m_table[i].GetUseAs(), CDataBlock::kByUseAs, j)) continue;
        const CKvsBytePtr& from = source.m_table[j]; // re-read after a resize: it may be ours
        if (from.GetLength() != m_table[i].GetLength() &&
            !ResizeDataBlock(static_cast<unsigned short>(i), from.GetLength()))
            return false;
        if (m_table[i].GetDataPtr() && from.GetDataPtr())
            std::memmove(m_table[i].GetDataPtr(), from.GetDataPtr(), m_table[i].GetLength());
        m_table[i].SetStatus(from.GetStatus());
    }
    return true;
}
