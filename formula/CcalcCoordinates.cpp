// Coordinate and vector functions of the formula catalogue: grid and geographic positions
// through the project's coordinate system, and 2-D/3-D vectors in rectangular and polar
// form with attitude correction.
//
// Not yet available: every member leaves the result unchanged and reports 0, the record
// conversions give zero records, and no target coordinate system can be created (so
// "XTLXYVAL" fails to bind with error 3).
#include <KvsDataBlocks/formula/Ccalc.h>

#include <KvsDataBlocks/host/CKvsType.h>

void Ccalc::RectToPol2d() {}
void Ccalc::RectToPol3d() {}
void Ccalc::PolToRect2d() {}
void Ccalc::PolToRect3d() {}
void Ccalc::XYTLLWGSString() { XYTLLWGSStr(*m_a1, *m_a2, *m_a3, *m_a4); }
void Ccalc::XYTLLWGSValue() { XYTLLWGSVal(*m_a1, *m_a2, *m_a3, *m_a4); }
void Ccalc::XYTLLString() { XYTLLStr(*m_a1, *m_a2, *m_a3, *m_a4); }
void Ccalc::XYTXYValue() { XYTXYVal(*m_a1, *m_a2, *m_a3, *m_a4); }
void Ccalc::SetVec2dRect() {}
void Ccalc::SetVec3dRect() {}
void Ccalc::SetVec2dPol() {}
void Ccalc::SetVec3dPol() {}
void Ccalc::SetAttitude() {}
void Ccalc::Att2d_rect() {}
void Ccalc::Att3d_rect() {}
void Ccalc::Att2d_pol() {}
void Ccalc::Att3d_pol() {}

int Ccalc::XYTLLWGSStr(CKvsType&, CKvsType&, CKvsType&, CKvsType&) { return 0; }
int Ccalc::XYTLLWGSVal(CKvsType&, CKvsType&, CKvsType&, CKvsType&) { return 0; }
int Ccalc::XYTLLStr(CKvsType&, CKvsType&, CKvsType&, CKvsType&) { return 0; }
int Ccalc::XYTXYVal(CKvsType&, CKvsType&, CKvsType&, CKvsType&) { return 0; }

void Ccalc::PolToRect2d(vec2d_pol*, vec2d_rect* out) { *out = {}; }
void Ccalc::PolToRect2d(vec3d_pol*, vec2d_rect* out) { *out = {}; }
void Ccalc::RectToPol2d(vec2d_rect*, vec2d_pol* out) { *out = {}; }
void Ccalc::RectToPol2d(vec3d_rect*, vec2d_pol* out) { *out = {}; }
void Ccalc::PolToRect3d(vec2d_pol*, vec3d_rect* out) { *out = {}; }
void Ccalc::PolToRect3d(vec3d_pol*, vec3d_rect* out) { *out = {}; }
void Ccalc::RectToPol3d(vec3d_rect*, vec3d_pol* out) { *out = {}; }
void Ccalc::RectToPol3d(vec2d_rect*, vec3d_pol* out) { *out = {}; }
void Ccalc::AttCorRect3d(vec3d_rect* out, vec3d_rect*, attitude*) { *out = {}; }

std::shared_ptr<KvsGeoCoordSysBase> Ccalc::CreateTargetCoordSys(const CString&, const CString&)
{
    return nullptr;
}
