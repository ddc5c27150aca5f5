// PyBlock: the Python face of a data block (kvsdatablocks.Block), and PyElement, one
// element of it (kvsdatablocks.Element: the block and a position).
//
// A PyBlock holds its CDataBlock by shared pointer. The read-only numpy arrays that
// array() hands out without a copy point into that block's buffer and hold the same
// pointer as their base. Before anything changes the element data of a block whose
// storage such arrays still share, the PyBlock takes a copy of its own (copy on write):
// an array keeps the values it had when it was taken and never points into a buffer that
// was freed or laid out anew.
#pragma once

#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <pybind11/pybind11.h>

#include <memory>

namespace kvs::python {

namespace py = pybind11;

class PyBlock
{
public:
    PyBlock() : m_block(std::make_shared<CDataBlock>()) {}
    explicit PyBlock(std::shared_ptr<CDataBlock> block) : m_block(std::move(block)) {}

    const CDataBlock& Get() const { return *m_block; }
    // The block to change the element data of; copied first when arrays share it.
    CDataBlock& Mutable();
    // The block for changes that leave the element data alone (time, status, flags, data
    // id, element statuses), which arrays sharing the storage do not show.
    CDataBlock& Headers() { return *m_block; }
    // The shared storage, for the base object of arrays that point into it.
    const std::shared_ptr<CDataBlock>& Storage() const { return m_block; }

private:
    std::shared_ptr<CDataBlock> m_block;
};

struct PyElement
{
    std::shared_ptr<PyBlock> block;
    unsigned short position;

    // The element header as the block holds it now; IndexError when the position is gone.
    const CKvsBytePtr& Header() const;
    CKvsBytePtr& MutableHeader() const;
};

} // namespace kvs::python
