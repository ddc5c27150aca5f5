#include "BlockDump.h"

#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/geometry/Triangle.h>

#include <cstring>
#include <vector>

namespace kvs::tool {

namespace {

nlohmann::json ElementJson(const CDataBlock& block, unsigned short position, const CKvsBytePtr& e)
{
    nlohmann::json j;
    j["position"] = position;
    j["name"] = ElementName(block, e);
    j["id"] = e.GetId();
    j["type"] = e.GetType();
    j["format"] = e.GetFormat();
    j["useAs"] = e.GetUseAs();
    j["status"] = e.GetStatus();
    const ElementTypeInfo* info = FindElementType(e.GetType());
    if (!info) {
        j["value"] = nullptr;
    } else if (info->kind == ElementKind::String) {
        CString text;
        e.GetValue(text);
        j["value"] = std::string(text);
    } else if (info->kind == ElementKind::StringList) {
        CStringArray list;
        nlohmann::json items = nlohmann::json::array();
        if (e.GetValue(list))
            for (const CString& s : list) items.push_back(std::string(s));
        j["value"] = items;
    } else if (info->kind == ElementKind::DataInfo) {
        CDataInfo ref;
        if (e.GetValue(ref)) {
            const CDataId& id = ref.GetDataId();
            j["value"] = {{"dataType", id.GetDataType()}, {"groupId", id.GetGroupId()}, {"deviceNum", id.GetDeviceNum()},
                          {"vesselId", id.GetVesselId()}, {"elemId", ref.GetElemId()}};
        }
    } else if (e.GetType() == ET_TRIANGLE_ARRAY) {
        Triangle* items = nullptr;
        int n = 0;
        nlohmann::json list = nlohmann::json::array();
        if (e.GetValue(items, n)) {
            for (int i = 0; i < n; ++i) {
                Triangle t;
                std::memcpy(static_cast<void*>(&t), e.GetDataPtr() + static_cast<size_t>(i) * kTriangleSize, kTriangleSize);
                nlohmann::json tri = nlohmann::json::array();
                for (const Point* p : {&t.GetPointA(), &t.GetPointB(), &t.GetPointC()}) tri.push_back({p->x, p->y, p->z});
                list.push_back(tri);
            }
        }
        j["value"] = list;
    } else {
        const std::vector<double> values = ElementValues(e);
        if (info->kind == ElementKind::Scalar)
            j["value"] = values.empty() ? nlohmann::json(nullptr) : nlohmann::json(values[0]);
        else
            j["value"] = values;
    }
    return j;
}

} // namespace

std::string BlockText(const CDataBlock& block, uint64_t index, uint64_t offset, bool units)
{
    const CDataId& id = block.GetDataId();
    CString line;
    line.Format("block %llu at offset %llu: time %s (%.3f) group %u type %u device %u vessel %u status %u flags 0x%04X\n",
                static_cast<unsigned long long>(index), static_cast<unsigned long long>(offset),
                FormatUtc(block.GetTime()).c_str(), block.GetTime(), id.GetGroupId(), id.GetDataType(),
                id.GetDeviceNum(), id.GetVesselId(), block.GetStatus(), block.GetStatusFlag());
    std::string out = line.str();
    for (unsigned int i = 0; i < block.GetLength(); ++i) {
        CKvsBytePtr e;
        if (!block.GetDataIdx(static_cast<unsigned short>(i), e)) continue;
        CString text;
        e.GetValueStr(text, units, 0);
        line.Format("  %3u %-24s id %3u use-as %3u type %3u status %2u: ", i, ElementName(block, e).c_str(), e.GetId(),
                    e.GetUseAs(), e.GetType(), e.GetStatus());
        out += line.str();
        out += static_cast<const char*>(text);
        out += '\n';
    }
    return out;
}

nlohmann::json BlockJson(const CDataBlock& block, uint64_t index, uint64_t offset)
{
    nlohmann::json j;
    j["index"] = index;
    j["offset"] = offset;
    j["time"] = block.GetTime();
    j["timeText"] = FormatUtc(block.GetTime());
    const CDataId& id = block.GetDataId();
    j["dataId"] = {{"dataType", id.GetDataType()}, {"groupId", id.GetGroupId()}, {"deviceNum", id.GetDeviceNum()},
                   {"vesselId", id.GetVesselId()}};
    j["status"] = block.GetStatus();
    j["flags"] = block.GetStatusFlag();
    nlohmann::json elements = nlohmann::json::array();
    for (unsigned int i = 0; i < block.GetLength(); ++i) {
        CKvsBytePtr e;
        if (block.GetDataIdx(static_cast<unsigned short>(i), e))
            elements.push_back(ElementJson(block, static_cast<unsigned short>(i), e));
    }
    j["elements"] = elements;
    return j;
}


} // namespace kvs::tool
