#include <KvsDataBlocks/values/CKvsDouble2D.h>

int CKvsDouble2D::GetDouble2D(double& x, double& y) const
{
    x = m_v[0];
    y = m_v[1];
    return 1;
}

int CKvsDouble2D::SetDouble2D(double x, double y)
{
    m_v = {x, y};
    return 1;
}
