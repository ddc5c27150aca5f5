#include <KvsDataBlocks/host/CKvsUnitCnv.h>

int CKvsUnitCnv::ConvertFMTtoUNIT(int)
{
    return 0;
}

double CKvsUnitCnv::ConvertUnit(int, double value) const
{
    return value;
}

CString CKvsUnitCnv::GetUnitMnem(int) const
{
    return CString();
}
