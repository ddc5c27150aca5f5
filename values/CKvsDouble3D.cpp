#include <KvsDataBlocks/values/CKvsDouble3D.h>

int CKvsDouble3D::GetDouble3D(double& x, double& y, double& z) const
{
    x = m_v[0];
    y = m_v[1];
    z = m_v[2];
    return 1;
}

int CKvsDouble3D::SetDouble3D(double x, double y, double z)
{
    m_v = {x, y, z};
    return 1;
}
