#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/config/DataDefinition.h>
#include <KvsDataBlocks/config/KnownAttributeNames.h>
#include <KvsDataBlocks/platform/CalendarText.h>
#include <KvsDataBlocks/platform/Runtime.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>
#include <unistd.h>

namespace kvs::tool {

void LoadAttributeFile(const std::string& path, CAttributeMap& map, bool strict)
{
    CString error;
    if (!map.LoadFile(path.c_str(), error)) throw InputError(std::string(error));
    const std::vector<CString> unknown = CheckAttributeNames(map);
    for (const CString& warning : unknown)
        std::fprintf(stderr, "kvsblocks: %s: %s%s\n", path.c_str(), static_cast<const char*>(warning),
                     strict ? "" : " - ignored");
    if (strict && !unknown.empty())
        throw InputError(path + ": " + std::to_string(unknown.size()) +
                         " unknown setting(s); correct them or leave out --strict");
}

int ElementItemCount(const CKvsBytePtr& element)
{
    const ElementTypeInfo* info = FindElementType(element.GetType());
    if (!info || info->kind != ElementKind::Array || info->itemSize == 0) return 0;
    return static_cast<int>(element.GetLength() / info->itemSize);
}

std::vector<double> ElementValues(const CKvsBytePtr& element)
{
    std::vector<double> values;
    const ElementTypeInfo* info = FindElementType(element.GetType());
    if (!info) return values;
    if (info->kind == ElementKind::Scalar) {
        double v = 0.0;
        if (element.GetType() == ET_UINT64) {
            unsigned long long u = 0;
            if (element.GetValue(u)) values.push_back(static_cast<double>(u));
        } else if (element.GetValueInDouble(v, false)) {
            values.push_back(v);
        }
    } else if (info->kind == ElementKind::Array && element.GetType() != ET_TRIANGLE_ARRAY) {
        const int n = ElementItemCount(element);
        values.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n && i <= 0xFFFF; ++i) {
            double v = 0.0;
            if (element.GetValueInDouble(static_cast<unsigned short>(i), v, false)) values.push_back(v);
        }
    }
    return values;
}

bool ReadFloatArray(const CDataBlock& block, unsigned short useAs, std::vector<float>& out)
{
    CKvsBytePtr element;
    if (!block.GetData(useAs, element, CDataBlock::kByUseAs) || element.GetType() != ET_FLOAT_ARRAY || !element.GetDataPtr()) return false;
    out.resize(element.GetLength() / sizeof(float));
    if (!out.empty()) std::memcpy(out.data(), element.GetDataPtr(), out.size() * sizeof(float));
    return true;
}

bool ReadUIntArray(const CDataBlock& block, unsigned short useAs, std::vector<unsigned int>& out)
{
    CKvsBytePtr element;
    if (!block.GetData(useAs, element, CDataBlock::kByUseAs) || element.GetType() != ET_UINT_ARRAY || !element.GetDataPtr()) return false;
    out.resize(element.GetLength() / sizeof(unsigned int));
    if (!out.empty()) std::memcpy(out.data(), element.GetDataPtr(), out.size() * sizeof(unsigned int));
    return true;
}

std::string ElementName(const CDataBlock& block, const CKvsBytePtr& element)
{
    CString name;
    if (DataDefinition::GetDataDefinition().GetGroupItemName(block.GetDataId().GetGroupId(), element.GetId(), name))
        return std::string(name);
    return "element " + std::to_string(element.GetId());
}

std::string FormatUtc(double seconds)
{
    if (!std::isfinite(seconds)) return "invalid time";
    const double whole = std::floor(seconds);
    const int64_t t = static_cast<int64_t>(whole);
    struct tm tm {};
    if (kvs_gmtime64_s(&tm, &t) != 0) return "invalid time";
    int ms = static_cast<int>(std::lround((seconds - whole) * 1000.0));
    char buf[64];
    if (ms >= 1000) ms = 999;
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return buf;
}

bool ParseUtc(const std::string& text, double& seconds)
{
    CalendarTime t;
    if (const size_t used = ReadCalendarTime(text, '-', t)) {
        const std::string_view rest = std::string_view(text).substr(used);
        if (!(rest.empty() || rest == "Z")) return false;
        seconds = t.SecondsSince1970();
        return true;
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end || !std::isfinite(v)) return false;
    seconds = v;
    return true;
}

} // namespace kvs::tool
