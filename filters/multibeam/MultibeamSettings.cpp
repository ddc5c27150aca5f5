#include <KvsDataBlocks/filters/multibeam/MultibeamSettings.h>

#include <KvsDataBlocks/platform/CKvsString.h>

#include <cmath>

namespace {

// Quantile-scale attribute values 6 to 9.
constexpr double kQuantScales[] = {1.0, 0.5, 0.2, 0.1};

} // namespace

void MultibeamSettings::ResetSwitches()
{
    beamReject = quality = range = depth = nadir = nadirDistance = false;
    slope = angle = statistics = flyingObjects = smart = false;
    nadirAngleMode = 1;
}

void MultibeamSettings::Read(const CAttributeMap& map)
{
    unsigned int status = 0;
    for (const MultibeamSettingField& f : kMultibeamSettingFields) {
        switch (f.reading) {
        case SettingReading::Copy:
            if (f.flag) map.GetAttribValue(f.name, this->*f.flag, status);
            if (f.whole) map.GetAttribValue(f.name, this->*f.whole, status);
            if (f.real) map.GetAttribValue(f.name, this->*f.real, status);
            break;
        case SettingReading::Absolute:
            map.GetAttribValue(f.name, this->*f.real, status);
            this->*f.real = std::fabs(this->*f.real);
            break;
        case SettingReading::HalfToEachSide: {
            double total = 0.0;
            if (map.GetAttribValue(f.name, total, status)) portAngle = starboardAngle = total / 2.0;
            break;
        }
        case SettingReading::RejectList: {
            CString list;
            if (map.GetAttribValue(f.name, list, status)) ParseRejectList(list);
            break;
        }
        case SettingReading::WindowSize: {
            int n = -1;
            map.GetAttribValue(f.name, n, status);
            if (n > -1) this->*f.whole = n >= 2 ? 7 : 2 * n + 3;
            break;
        }
        case SettingReading::QuantileScale: {
            int n = 0;
            map.GetAttribValue(f.name, n, status);
            if (n == 0) break;
            if (n <= 5)
                quantScale = 7.0 - n;
            else if (n <= 9)
                quantScale = kQuantScales[n - 6];
            else
                quantScale = 1.0;
            break;
        }
        }
    }
}

void MultibeamSettings::ParseRejectList(const CString& list)
{
    constexpr int kMaxBeams = PingStruct::kMaxBeams;
    rejectList.fill(false);
    const CKvsString items(list, ',', true);
    for (int i = 0; i < items.Size(); ++i) {
        const CString item = items[i];
        if (item.Find('-') >= 0) {
            const CKvsString ends(item, '-', true);
            if (ends.Size() != 2) continue;
            int a = -1;
            int b = -1;
            ends.GetItem(0, a);
            ends.GetItem(1, b);
            if (a < 1 || b < 1 || a > b) continue;
            for (int k = a; k <= b && k < kMaxBeams; ++k) rejectList[k - 1] = true;
        } else {
            int k = 0;
            if (items.GetItem(i, k) && k >= 1 && k < kMaxBeams) rejectList[k - 1] = true;
        }
    }
}
