// CKvsType: the polymorphic value of the suite. Formula values, data elements and
// attribute values all derive from it. The base class supports nothing: every Get/Set
// and formula operation returns 0 ("not supported") and changes nothing, and
// SetValueStr returns false. Derived classes override what they hold.
//
// Formula operations (ClipValue ... Modulo): the receiver is the result; the operation
// reads its arguments and stores into the receiver. The int results are status codes,
// 1 for success and 0 for failure unless a derived class documents otherwise.
//
// The class also carries the process-wide display settings read by the text formatter.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/values/CCompOffset.h>
#include <KvsDataBlocks/datablocks/CDataInfo.h>
#include <KvsDataBlocks/values/CKvsUnitCnv.h>
#include <KvsDataBlocks/platform/CString.h>

class KVS_API CKvsType
{
public:
    virtual ~CKvsType() = default;
    CKvsType(const CKvsType&) = default;

    virtual bool SetValueStr(CString& text);
    // A new heap copy owned by the caller; the base returns null.
    virtual CKvsType* MakeCopy() const;
    virtual int GetValueStr(CString& text) const;

    virtual int GetInt(int& out) const;
    virtual int SetInt(int value);
    virtual int GetUInt(unsigned int& out) const;
    virtual int SetUInt(unsigned int value);
    virtual int GetBool(bool& out) const;
    virtual int SetBool(bool value);
    virtual int GetDouble(double& out) const;
    virtual int SetDouble(double value);

    virtual int GetDouble2D(double& a, double& b) const;
    virtual int SetDouble2D(double a, double b);
    virtual int SetDoubleXD(CKvsType& a, CKvsType& b, CKvsType& c, CKvsType& d);

    virtual int ClipValue(CKvsType& a, CKvsType& b, CKvsType& c);
    virtual int NMEAPos(CKvsType& a, CKvsType& b);
    virtual int Val(CKvsType& a);
    virtual int TimeConv(CKvsType& a);
    virtual int Inverse(CKvsType& a);
    virtual int ExpandTime(CKvsType& a);
    virtual int HmsToMsec(CKvsType& a);
    virtual int UtcToLocal(CKvsType& a);
    virtual int LocalToUtc(CKvsType& a);
    virtual int YyToCcyy(CKvsType& a);
    virtual int CYMDMsecToMsec(CKvsType& a, CKvsType& b, CKvsType& c, CKvsType& d);
    virtual int Pow1D(CKvsType& a, CKvsType& b);
    virtual int Sqr1D(CKvsType& a);
    virtual int Log1D(CKvsType& a);
    virtual int Neg(CKvsType& a);
    virtual int Int(CKvsType& a);
    virtual int ValToStr(CKvsType& a);
    virtual int ValToMyStr(CKvsType& a, CKvsType& b);
    virtual int IsNull(CKvsType& a);
    virtual int Sign(CKvsType& a);
    virtual int BinVal(CKvsType& a, CKvsType& b);
    virtual int OutString(CKvsType& a);
    virtual int FormatGeogsDMS(CKvsType& a, CKvsType& b, CKvsType& c);
    virtual int Sin(CKvsType& a);
    virtual int Cos(CKvsType& a);
    virtual int Asin(CKvsType& a);
    virtual int Acos(CKvsType& a);
    virtual int Bearing(CKvsType& a, CKvsType& b);
    virtual int Modulo(CKvsType& a, CKvsType& b);

    // Value assignment and arithmetic through the interface. The by-value results are
    // plain CKvsType objects (the receiver's base part); callers build arithmetic from
    // the assignment and compound forms: result = a; result += b.
    virtual CKvsType operator=(const CKvsType& other);
    virtual CKvsType operator+(const CKvsType& other);
    virtual CKvsType operator-(const CKvsType& other);
    virtual CKvsType operator*(const CKvsType& other);
    virtual CKvsType operator/(const CKvsType& other);
    virtual const CKvsType& operator+=(const CKvsType& other);
    virtual const CKvsType& operator-=(const CKvsType& other);
    virtual const CKvsType& operator*=(const CKvsType& other);
    virtual const CKvsType& operator/=(const CKvsType& other);

    virtual int GetDataInfo(CDataInfo& out) const;
    virtual int SetDataInfo(const CDataInfo& info);
    virtual int GetCompOffset(CCompOffset& out) const;
    virtual int SetCompOffset(const CCompOffset& offset);
    virtual int GetName(CString& out) const;
    virtual int SetName(const CString& name);

    virtual int GetDouble3D(double& a, double& b, double& c) const;
    virtual int SetDouble3D(double a, double b, double c);

    // Process-wide display settings read by the text formatter.
    static bool m_bPrintFullArray;
    static CKvsUnitCnv m_unitCnv;
    static int m_iGridDecml;
    static int m_iWeightDecml;
    static int m_iPressureDecml;
    static int m_iDensityDecml;
    static int m_iDepthDecml;
    static int m_iSpeedDecml;
    static int m_iDistDecml;
    static int m_iGeogDecml;
    static unsigned int m_uGeogFmtFlags;

protected:
    CKvsType() = default;
};
