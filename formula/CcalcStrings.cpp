// Text functions of the formula catalogue: number-to-text conversion, padding, joining,
// sign handling, field extraction and table look-up. Each member reads its arguments
// through the value interface and writes the result text with SetValueStr; 1 done, 0 not.
#include <KvsDataBlocks/formula/Ccalc.h>

#include <KvsDataBlocks/host/CKvsType.h>

void Ccalc::StringSearch() { GetSubString(*m_a1, *m_a2, *m_a3); }
void Ccalc::FloatToString() { StrBuild(*m_a1, *m_a2); }
void Ccalc::IntToString() { StrIntBuild(*m_a1); }
void Ccalc::ValToStr() { ValToStr(*m_a1); }
void Ccalc::LeadZero() { LeadingZero(*m_a1, *m_a2); }
void Ccalc::FixedLength() { FixedLen(*m_a1, *m_a2); }
void Ccalc::PackString() { AddString(*m_a1, *m_a2, *m_a3); }
void Ccalc::StrSign() { StringSign(*m_a1); }
void Ccalc::CHR() { EscConv(*m_a1); }
void Ccalc::FindDelimiter() { FindDel(*m_a1, *m_a2, *m_a3); }
void Ccalc::MapStr() { Map(*m_a1, *m_a2, *m_a3); }

// Not yet available: each leaves the result unchanged and reports 0.
int Ccalc::GetSubString(CKvsType&, CKvsType&, CKvsType&) { return 0; }
int Ccalc::StrBuild(CKvsType&, CKvsType&) { return 0; }
int Ccalc::StrIntBuild(CKvsType&) { return 0; }
int Ccalc::ValToStr(CKvsType&) { return 0; }
int Ccalc::LeadingZero(CKvsType&, CKvsType&) { return 0; }
int Ccalc::FixedLen(CKvsType&, CKvsType&) { return 0; }
int Ccalc::AddString(CKvsType&, CKvsType&, CKvsType&) { return 0; }
int Ccalc::StringSign(CKvsType&) { return 0; }
int Ccalc::EscConv(CKvsType&) { return 0; }
int Ccalc::FindDel(CKvsType&, CKvsType&, CKvsType&) { return 0; }
int Ccalc::Map(CKvsType&, CKvsType&, CKvsType&) { return 0; }
