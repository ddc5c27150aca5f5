// Block-level text of element values: each wrapper finds the element and formats it.
#include <KvsDataBlocks/datablocks/CDataBlock.h>

namespace {

const CKvsBytePtr* Find(const CDataBlock& block, unsigned short key, unsigned short mode)
{
    unsigned short index = 0;
    CKvsBytePtr* element = nullptr;
    if (!block.LookUp(key, mode, index) || !block.GetDataIdx(index, element)) return nullptr;
    return element;
}

} // namespace

bool CDataBlock::GetDataValueStr(unsigned short key, CString& text, unsigned short mode) const
{
    const CKvsBytePtr* element = Find(*this, key, mode);
    return element && element->GetValueStr(text, false, -1) != 0;
}

bool CDataBlock::GetDataValueStr(unsigned short key, unsigned short index, CString& text, unsigned short mode) const
{
    const CKvsBytePtr* element = Find(*this, key, mode);
    return element && element->GetArrayValueStr(index, text, false) != 0;
}

bool CDataBlock::GetDataValueStr(unsigned short key, const CString& format, CString& text, unsigned short mode) const
{
    const CKvsBytePtr* element = Find(*this, key, mode);
    return element && element->GetValueStr(format, text, false) != 0;
}

bool CDataBlock::GetDataValueStr(unsigned short key, int decimals, CString& text, unsigned short mode) const
{
    const CKvsBytePtr* element = Find(*this, key, mode);
    return element && element->GetValueStr(decimals, text, false) != 0;
}

bool CDataBlock::FormatDoubleStr(double value, unsigned short key, CString& text, unsigned short mode,
                                 bool convert) const
{
    const CKvsBytePtr* element = Find(*this, key, mode);
    return element && element->FormatDoubleString(value, text, false, convert) != 0;
}

bool CDataBlock::GetDataValueUnitAnnotation(unsigned short key, CString& text, unsigned short mode) const
{
    const CKvsBytePtr* element = Find(*this, key, mode);
    if (!element) return false;
    text = element->GetUnitAnnotation();
    return true;
}
