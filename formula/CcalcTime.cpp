// Time, date and data-element functions of the formula catalogue. Times are milliseconds
// since 1970-01-01 00:00 UTC; the clock and the zone come from CExTime.
#include <KvsDataBlocks/formula/Ccalc.h>

#include <KvsDataBlocks/host/CKvsType.h>

void Ccalc::TimeToString() { TimeToStr(*m_a1); }
void Ccalc::ElemToDouble() { ElemToDouble(*m_a1); }
void Ccalc::ElemStatusToDouble() { ElemStatusToDouble(*m_a1); }
void Ccalc::JulianDay() { JulianDay(*m_a1); }
void Ccalc::CurDateStr() { CurrentDate(*m_a1, *m_a2); }
void Ccalc::CurTimeStr() { CurrentTime(*m_a1); }
void Ccalc::FormatTime() { FormatTime(*m_a1, *m_a2); }
void Ccalc::FormatMyTime() { FormatMyTime(*m_a1, *m_a2, *m_a3); }

// Not yet available: each leaves the result unchanged (and reports 0).
void Ccalc::CurDateToYYYYMMDD() {}
void Ccalc::CurTimeToHHMMSSTTTT() {}
void Ccalc::LocalZoneMin() {}
void Ccalc::LocalZoneHr() {}
int Ccalc::TimeToStr(CKvsType&) { return 0; }
int Ccalc::ElemToDouble(CKvsType&) { return 0; }
int Ccalc::ElemStatusToDouble(CKvsType&) { return 0; }
int Ccalc::JulianDay(CKvsType&) { return 0; }
int Ccalc::CurrentTime(CKvsType&) { return 0; }
int Ccalc::CurrentDate(CKvsType&, CKvsType&) { return 0; }
int Ccalc::FormatTime(CKvsType&, CKvsType&) { return 0; }
int Ccalc::FormatMyTime(CKvsType&, CKvsType&, CKvsType&) { return 0; }
