// Check characters and NMEA position texts of the formula catalogue. The two statics are
// also called directly by telegram code.
#include <KvsDataBlocks/formula/Ccalc.h>

#include <KvsDataBlocks/host/CKvsType.h>

void Ccalc::CreateChkSum() { ChkSum(*m_a1); }
void Ccalc::NMEAChkSum() { NMEACS(*m_a1); }
void Ccalc::MARSChkSum() { MARSCS(*m_a1); }
void Ccalc::PosSeconds() { PosSecConv(*m_a1); }

void Ccalc::FormatNMEAPosStr()
{
    double value = 0.0;
    double decimals = 0.0;
    CString kind;
    m_a1->GetDouble(value);
    m_a2->GetDouble(decimals);
    m_a3->GetName(kind);
    FormatNMEAPosStr(value, static_cast<int>(decimals), kind);
}

// Not yet available: each leaves the result unchanged and reports 0.
int Ccalc::ChkSum(CKvsType&) { return 0; }
int Ccalc::NMEACS(CKvsType&) { return 0; }
int Ccalc::MARSCS(CKvsType&) { return 0; }
int Ccalc::PosSecConv(CKvsType&) { return 0; }
int Ccalc::FormatNMEAPosStr(double, int, CString) { return 0; }
CString Ccalc::CreateNMEACheckSum(CString text) { return text; }
CString Ccalc::CreateNMEAPosStr(double, int, CString) { return CString(); }
