#include <KvsDataBlocks/values/CKvsUnitCnv.h>

#include <iterator>

namespace {

// Which family of display units measures a quantity.
enum Family { F_NONE, F_LENGTH, F_SPEED, F_DENSITY, F_PRESSURE, F_WEIGHT, F_TEMPERATURE, F_ANGLE,
              F_ACCEL, F_FREQUENCY, F_DURATION, F_VOLTAGE, F_CURRENT, F_POWER };

struct DisplayUnitDef
{
    int id;
    Family family;
    const char* mnemonic;
    double scale;  // display = internal * scale + offset
    double offset;
};

constexpr double kFoot = 0.3048;
constexpr double kUsFoot = 1200.0 / 3937.0;
constexpr double kFathom = 6.0 * kFoot;
constexpr double kKnot = 1852.0 / 3600.0;

constexpr DisplayUnitDef kDisplayUnits[] = {
    {CKvsUnitCnv::DU_METRE, F_LENGTH, "m", 1.0, 0.0},
    {CKvsUnitCnv::DU_FOOT, F_LENGTH, "ft", 1.0 / kFoot, 0.0},
    {CKvsUnitCnv::DU_US_FOOT, F_LENGTH, "usft", 1.0 / kUsFoot, 0.0},
    {CKvsUnitCnv::DU_FATHOM, F_LENGTH, "fm", 1.0 / kFathom, 0.0},
    {CKvsUnitCnv::DU_METRE_PER_SECOND, F_SPEED, "m/s", 1.0, 0.0},
    {CKvsUnitCnv::DU_KNOT, F_SPEED, "kn", 1.0 / kKnot, 0.0},
    {CKvsUnitCnv::DU_KM_PER_HOUR, F_SPEED, "km/h", 3.6, 0.0},
    {CKvsUnitCnv::DU_FOOT_PER_SECOND, F_SPEED, "ft/s", 1.0 / kFoot, 0.0},
    {CKvsUnitCnv::DU_KG_PER_M3, F_DENSITY, "kg/m3", 1.0, 0.0},
    {CKvsUnitCnv::DU_G_PER_CM3, F_DENSITY, "g/cm3", 0.001, 0.0},
    {CKvsUnitCnv::DU_KILOPASCAL, F_PRESSURE, "kPa", 1.0, 0.0},
    {CKvsUnitCnv::DU_BAR, F_PRESSURE, "bar", 0.01, 0.0},
    {CKvsUnitCnv::DU_DECIBAR, F_PRESSURE, "dbar", 0.1, 0.0},
    {CKvsUnitCnv::DU_PSI, F_PRESSURE, "psi", 1.0 / 6.894757293168361, 0.0},
    {CKvsUnitCnv::DU_KILOGRAM, F_WEIGHT, "kg", 1.0, 0.0},
    {CKvsUnitCnv::DU_TONNE, F_WEIGHT, "t", 0.001, 0.0},
    {CKvsUnitCnv::DU_POUND, F_WEIGHT, "lb", 1.0 / 0.45359237, 0.0},
    {CKvsUnitCnv::DU_CELSIUS, F_TEMPERATURE, "degC", 1.0, 0.0},
    {CKvsUnitCnv::DU_FAHRENHEIT, F_TEMPERATURE, "degF", 1.8, 32.0},
    {CKvsUnitCnv::DU_DEGREE, F_ANGLE, "deg", 1.0, 0.0},
    {CKvsUnitCnv::DU_M_PER_S2, F_ACCEL, "m/s2", 1.0, 0.0},
    {CKvsUnitCnv::DU_HERTZ, F_FREQUENCY, "Hz", 1.0, 0.0},
    {CKvsUnitCnv::DU_KILOHERTZ, F_FREQUENCY, "kHz", 0.001, 0.0},
    {CKvsUnitCnv::DU_SECOND, F_DURATION, "s", 1.0, 0.0},
    {CKvsUnitCnv::DU_MINUTE, F_DURATION, "min", 1.0 / 60.0, 0.0},
    {CKvsUnitCnv::DU_HOUR, F_DURATION, "h", 1.0 / 3600.0, 0.0},
    {CKvsUnitCnv::DU_VOLT, F_VOLTAGE, "V", 1.0, 0.0},
    {CKvsUnitCnv::DU_AMPERE, F_CURRENT, "A", 1.0, 0.0},
    {CKvsUnitCnv::DU_WATT, F_POWER, "W", 1.0, 0.0},
};
static_assert(std::size(kDisplayUnits) == CKvsUnitCnv::DU_COUNT);

// Both tables are indexed by their codes.
constexpr bool DisplayUnitsInOrder()
{
    for (size_t i = 0; i < std::size(kDisplayUnits); ++i)
        if (kDisplayUnits[i].id != static_cast<int>(i)) return false;
    return true;
}
static_assert(DisplayUnitsInOrder());

struct QuantityDef
{
    int unit;
    Family family;
    int internal; // display unit that is the internal unit
};

constexpr QuantityDef kQuantities[] = {
    {CKvsUnitCnv::UNIT_NONE, F_NONE, -1},
    {CKvsUnitCnv::UNIT_DISTANCE, F_LENGTH, CKvsUnitCnv::DU_METRE},
    {CKvsUnitCnv::UNIT_DEPTH, F_LENGTH, CKvsUnitCnv::DU_METRE},
    {CKvsUnitCnv::UNIT_HEIGHT, F_LENGTH, CKvsUnitCnv::DU_METRE},
    {CKvsUnitCnv::UNIT_SPEED, F_SPEED, CKvsUnitCnv::DU_METRE_PER_SECOND},
    {CKvsUnitCnv::UNIT_SOUNDSPEED, F_SPEED, CKvsUnitCnv::DU_METRE_PER_SECOND},
    {CKvsUnitCnv::UNIT_DENSITY, F_DENSITY, CKvsUnitCnv::DU_KG_PER_M3},
    {CKvsUnitCnv::UNIT_PRESSURE, F_PRESSURE, CKvsUnitCnv::DU_KILOPASCAL},
    {CKvsUnitCnv::UNIT_WEIGHT, F_WEIGHT, CKvsUnitCnv::DU_KILOGRAM},
    {CKvsUnitCnv::UNIT_TEMPERATURE, F_TEMPERATURE, CKvsUnitCnv::DU_CELSIUS},
    {CKvsUnitCnv::UNIT_ANGLE, F_ANGLE, CKvsUnitCnv::DU_DEGREE},
    {CKvsUnitCnv::UNIT_ACCEL, F_ACCEL, CKvsUnitCnv::DU_M_PER_S2},
    {CKvsUnitCnv::UNIT_FREQUENCY, F_FREQUENCY, CKvsUnitCnv::DU_HERTZ},
    {CKvsUnitCnv::UNIT_DURATION, F_DURATION, CKvsUnitCnv::DU_SECOND},
    {CKvsUnitCnv::UNIT_VOLTAGE, F_VOLTAGE, CKvsUnitCnv::DU_VOLT},
    {CKvsUnitCnv::UNIT_CURRENT, F_CURRENT, CKvsUnitCnv::DU_AMPERE},
    {CKvsUnitCnv::UNIT_POWER, F_POWER, CKvsUnitCnv::DU_WATT},
};
static_assert(std::size(kQuantities) == CKvsUnitCnv::UNIT_COUNT);

constexpr bool QuantitiesInOrder()
{
    for (size_t i = 0; i < std::size(kQuantities); ++i)
        if (kQuantities[i].unit != static_cast<int>(i)) return false;
    return true;
}
static_assert(QuantitiesInOrder());

struct FormatDef
{
    int format;
    int unit;
};

constexpr FormatDef kFormats[] = {
    {2, CKvsUnitCnv::UNIT_DISTANCE},     {3, CKvsUnitCnv::UNIT_SPEED},     {4, CKvsUnitCnv::UNIT_DEPTH},
    {6, CKvsUnitCnv::UNIT_HEIGHT},       {7, CKvsUnitCnv::UNIT_DENSITY},   {8, CKvsUnitCnv::UNIT_TEMPERATURE},
    {9, CKvsUnitCnv::UNIT_ANGLE},        {35, CKvsUnitCnv::UNIT_SOUNDSPEED}, {36, CKvsUnitCnv::UNIT_PRESSURE},
    {37, CKvsUnitCnv::UNIT_ACCEL},       {38, CKvsUnitCnv::UNIT_FREQUENCY}, {39, CKvsUnitCnv::UNIT_WEIGHT},
    {40, CKvsUnitCnv::UNIT_DURATION},    {41, CKvsUnitCnv::UNIT_VOLTAGE},  {42, CKvsUnitCnv::UNIT_CURRENT},
    {43, CKvsUnitCnv::UNIT_POWER},
};

bool ValidUnit(int unit)
{
    return unit > CKvsUnitCnv::UNIT_NONE && unit < CKvsUnitCnv::UNIT_COUNT;
}

} // namespace

CKvsUnitCnv::CKvsUnitCnv()
{
    for (const QuantityDef& q : kQuantities) m_display[static_cast<size_t>(q.unit)] = q.internal;
}

int CKvsUnitCnv::ConvertFMTtoUNIT(int format)
{
    for (const FormatDef& f : kFormats)
        if (f.format == format) return f.unit;
    return UNIT_NONE;
}

double CKvsUnitCnv::ConvertUnit(int unit, double value) const
{
    if (!ValidUnit(unit)) return value;
    const DisplayUnitDef& d = kDisplayUnits[m_display[static_cast<size_t>(unit)]];
    return value * d.scale + d.offset;
}

double CKvsUnitCnv::ConvertToInternal(int unit, double value) const
{
    if (!ValidUnit(unit)) return value;
    const DisplayUnitDef& d = kDisplayUnits[m_display[static_cast<size_t>(unit)]];
    return (value - d.offset) / d.scale;
}

CString CKvsUnitCnv::GetUnitMnem(int unit) const
{
    if (!ValidUnit(unit)) return CString();
    return CString(kDisplayUnits[m_display[static_cast<size_t>(unit)]].mnemonic);
}

bool CKvsUnitCnv::SetDisplayUnit(int unit, int displayUnit)
{
    if (!ValidUnit(unit) || displayUnit < 0 || displayUnit >= DU_COUNT) return false;
    if (kDisplayUnits[displayUnit].family != kQuantities[unit].family) return false;
    m_display[static_cast<size_t>(unit)] = displayUnit;
    return true;
}

bool CKvsUnitCnv::SetDisplayUnit(int unit, const CString& mnemonic)
{
    for (const DisplayUnitDef& d : kDisplayUnits)
        if (d.family == (ValidUnit(unit) ? kQuantities[unit].family : F_NONE) && mnemonic == d.mnemonic)
            return SetDisplayUnit(unit, d.id);
    return false;
}

int CKvsUnitCnv::GetDisplayUnit(int unit) const
{
    return ValidUnit(unit) ? m_display[static_cast<size_t>(unit)] : -1;
}
