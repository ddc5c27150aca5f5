#include <KvsDataBlocks/config/DataDefinition.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using nlohmann::json;

enum class TypeKind { Scalar, Array, Text };

struct TypeInfo
{
    unsigned short code;
    const char* name;
    unsigned short itemSize; // bytes of one value (scalars: the whole element)
    TypeKind kind;
};

// The element types a definition may name, with the sizes their readers rely on.
constexpr TypeInfo kTypes[] = {
    {101, "ET_INT", 4, TypeKind::Scalar},
    {102, "ET_UINT", 4, TypeKind::Scalar},
    {103, "ET_DOUBLE", 8, TypeKind::Scalar},
    {104, "ET_BOOL", 1, TypeKind::Scalar},
    {105, "ET_CHAR", 1, TypeKind::Scalar},
    {106, "ET_UCHAR", 1, TypeKind::Scalar},
    {107, "ET_LONG", 4, TypeKind::Scalar},
    {108, "ET_ULONG", 4, TypeKind::Scalar},
    {109, "ET_FLOAT", 4, TypeKind::Scalar},
    {110, "ET_SHORT", 2, TypeKind::Scalar},
    {111, "ET_USHORT", 2, TypeKind::Scalar},
    {112, "ET_UINT64", 8, TypeKind::Scalar},
    {401, "ET_DATAINFO", 20, TypeKind::Scalar},
    {501, "ET_STRING", 1, TypeKind::Text},
    {601, "ET_BOOL_ARRAY", 1, TypeKind::Array},
    {602, "ET_CHAR_ARRAY", 1, TypeKind::Array},
    {603, "ET_INT_ARRAY", 4, TypeKind::Array},
    {604, "ET_SHORT_ARRAY", 2, TypeKind::Array},
    {605, "ET_LONG_ARRAY", 4, TypeKind::Array},
    {606, "ET_FLOAT_ARRAY", 4, TypeKind::Array},
    {607, "ET_DOUBLE_ARRAY", 8, TypeKind::Array},
    {608, "ET_UCHAR_ARRAY", 1, TypeKind::Array},
    {609, "ET_UINT_ARRAY", 4, TypeKind::Array},
    {610, "ET_USHORT_ARRAY", 2, TypeKind::Array},
    {611, "ET_ULONG_ARRAY", 4, TypeKind::Array},
    {612, "ET_TRIANGLE_ARRAY", 80, TypeKind::Array},
    {613, "ET_STRING_ARRAY", 1, TypeKind::Text},
};

constexpr size_t kMaxFileBytes = 64u * 1024u * 1024u;
constexpr long long kMaxUShort = 65535;

const TypeInfo* FindType(unsigned int code)
{
    for (const TypeInfo& t : kTypes)
        if (t.code == code) return &t;
    return nullptr;
}

const TypeInfo* FindType(std::string_view name)
{
    for (const TypeInfo& t : kTypes)
        if (name == t.name) return &t;
    return nullptr;
}

struct DoubleText
{
    bool exact = true;
    double value = 0.0; // exact entries
    double min = 0.0;   // range entries: min <= v < max
    double max = 0.0;
    CString text;

    bool Matches(double v) const { return exact ? v == value : (v >= min && v < max); }
};

struct Item
{
    CString name;
    unsigned short type = 0;
    unsigned short length = 0;
    unsigned short format = 1;
    unsigned short useAs = 0;
    std::map<int, CString> map;
    std::vector<DoubleText> doubleText;
};

struct Group
{
    CString name;
    bool hasBufferLength = false;
    int bufferLength = 0;
    std::vector<Item> items;
};

// A refused definition: the message names where the fault is.
struct DefinitionError
{
    std::string message;
};

// A value as shown in a message, cut short when long.
std::string Shown(const json& value)
{
    std::string text = value.dump();
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return text;
}

[[noreturn]] void Fail(const std::string& path, const std::string& what)
{
    throw DefinitionError{path + ": " + what};
}

void CheckKeys(const json& object, const std::string& path, std::initializer_list<std::string_view> allowed)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool known = false;
        for (std::string_view a : allowed) known = known || it.key() == a;
        if (!known) Fail(path, "unknown key \"" + it.key() + "\"");
    }
}

long long ReadWhole(const json& value, const std::string& path, long long min, long long max)
{
    long long v = 0;
    if (value.is_number_unsigned()) {
        const auto u = value.get<unsigned long long>();
        if (u > static_cast<unsigned long long>(max)) Fail(path, std::to_string(u) + " is above " + std::to_string(max));
        v = static_cast<long long>(u);
    } else if (value.is_number_integer()) {
        v = value.get<long long>();
    } else if (value.is_number_float()) {
        Fail(path, "must be a whole number, not " + Shown(value));
    } else {
        Fail(path, "must be a number, not " + Shown(value));
    }
    if (v < min || v > max)
        Fail(path, std::to_string(v) + " is outside " + std::to_string(min) + " to " + std::to_string(max));
    return v;
}

double ReadNumber(const json& value, const std::string& path)
{
    if (!value.is_number()) Fail(path, "must be a number, not " + Shown(value));
    return value.get<double>();
}

CString ReadText(const json& value, const std::string& path)
{
    if (!value.is_string()) Fail(path, "must be a text, not " + Shown(value));
    return CString(value.get<std::string>());
}

void ReadMap(const json& value, const std::string& path, Item& item)
{
    if (!value.is_object()) Fail(path, "must be an object of \"value\": \"text\" pairs");
    for (auto it = value.begin(); it != value.end(); ++it) {
        const std::string& key = it.key();
        int number = 0;
        const char* end = key.data() + key.size();
        const auto [ptr, ec] = std::from_chars(key.data(), end, number);
        if (key.empty() || ec != std::errc() || ptr != end)
            Fail(path, "key \"" + key + "\" is not a whole number in the int range");
        item.map[number] = ReadText(it.value(), path + "[\"" + key + "\"]");
    }
}

void ReadDoubleTexts(const json& value, const std::string& path, Item& item)
{
    if (!value.is_array()) Fail(path, "must be an array of entries");
    for (size_t i = 0; i < value.size(); ++i) {
        const json& e = value[i];
        const std::string at = path + "[" + std::to_string(i) + "]";
        if (!e.is_object()) Fail(at, "must be an object");
        CheckKeys(e, at, {"value", "min", "max", "text"});
        DoubleText entry;
        if (!e.contains("text")) Fail(at, "needs \"text\"");
        entry.text = ReadText(e["text"], at + ".text");
        if (e.contains("value")) {
            if (e.contains("min") || e.contains("max")) Fail(at, "takes either \"value\" or \"min\" and \"max\"");
            entry.value = ReadNumber(e["value"], at + ".value");
        } else {
            if (!e.contains("min") || !e.contains("max")) Fail(at, "needs \"value\", or both \"min\" and \"max\"");
            entry.exact = false;
            entry.min = ReadNumber(e["min"], at + ".min");
            entry.max = ReadNumber(e["max"], at + ".max");
            if (!(entry.min < entry.max)) Fail(at, "\"min\" must be less than \"max\"");
        }
        item.doubleText.push_back(std::move(entry));
    }
}

Item ReadItem(const json& value, const std::string& path)
{
    if (!value.is_object()) Fail(path, "must be an object");
    CheckKeys(value, path, {"name", "type", "length", "format", "useAs", "map", "doubleText"});
    Item item;
    if (value.contains("name")) item.name = ReadText(value["name"], path + ".name");

    if (!value.contains("type")) Fail(path, "needs \"type\"");
    const json& type = value["type"];
    const TypeInfo* info = nullptr;
    if (type.is_string()) {
        info = FindType(type.get<std::string>());
        if (!info) Fail(path + ".type", "\"" + type.get<std::string>() + "\" is not an element type name");
    } else {
        const long long code = ReadWhole(type, path + ".type", 0, kMaxUShort);
        info = FindType(static_cast<unsigned int>(code));
        if (!info) Fail(path + ".type", std::to_string(code) + " is not an element type code");
    }
    item.type = info->code;

    if (value.contains("length")) {
        const long long length = ReadWhole(value["length"], path + ".length", 0, kMaxUShort);
        if (info->kind == TypeKind::Scalar && length != info->itemSize)
            Fail(path + ".length", std::string(info->name) + " needs length " + std::to_string(info->itemSize) +
                                       ", not " + std::to_string(length));
        if (info->kind == TypeKind::Array && length % info->itemSize != 0)
            Fail(path + ".length", std::to_string(length) + " is not a multiple of the " + info->name +
                                       " item size " + std::to_string(info->itemSize));
        item.length = static_cast<unsigned short>(length);
    } else if (info->kind == TypeKind::Scalar) {
        item.length = info->itemSize;
    } else {
        Fail(path, std::string("needs \"length\" for ") + info->name);
    }

    if (value.contains("format"))
        item.format = static_cast<unsigned short>(ReadWhole(value["format"], path + ".format", 0, kMaxUShort));
    if (value.contains("useAs"))
        item.useAs = static_cast<unsigned short>(ReadWhole(value["useAs"], path + ".useAs", 0, kMaxUShort));
    if (value.contains("map")) ReadMap(value["map"], path + ".map", item);
    if (value.contains("doubleText")) ReadDoubleTexts(value["doubleText"], path + ".doubleText", item);
    return item;
}

} // namespace

struct DataDefinition::Definition
{
    std::map<unsigned int, Group> groups;

    const Group* FindGroup(unsigned int group) const
    {
        const auto it = groups.find(group);
        return it == groups.end() ? nullptr : &it->second;
    }
    const Item* FindItem(unsigned int group, unsigned int item) const
    {
        const Group* g = FindGroup(group);
        return g && item < g->items.size() ? &g->items[item] : nullptr;
    }
};

namespace {

std::shared_ptr<const DataDefinition::Definition> ParseDefinition(const std::string& text, const std::string& origin,
                                                                  std::string& error)
{
    try {
        json root;
        try {
            root = json::parse(text);
        } catch (const json::parse_error& e) {
            // Drop the library's "[json.exception.parse_error.101] " prefix; keep line and column.
            std::string what = e.what();
            const size_t close = what.find("] ");
            throw DefinitionError{origin + ": " + (close == std::string::npos ? what : what.substr(close + 2))};
        }
        if (!root.is_object()) Fail(origin, "must hold one JSON object");
        CheckKeys(root, origin, {"description", "groups"});
        if (root.contains("description")) ReadText(root["description"], origin + ": description");
        if (!root.contains("groups") || !root["groups"].is_array()) Fail(origin, "needs a \"groups\" array");

        auto definition = std::make_shared<DataDefinition::Definition>();
        const json& groups = root["groups"];
        for (size_t gi = 0; gi < groups.size(); ++gi) {
            const json& g = groups[gi];
            std::string path = origin + ": groups[" + std::to_string(gi) + "]";
            if (!g.is_object()) Fail(path, "must be an object");
            CheckKeys(g, path, {"id", "name", "bufferLength", "items"});
            if (!g.contains("id")) Fail(path, "needs \"id\"");
            const auto id = static_cast<unsigned int>(ReadWhole(g["id"], path + ".id", 0, kMaxUShort));
            path += " (id " + std::to_string(id) + ")";
            if (definition->groups.count(id)) Fail(path, "group id " + std::to_string(id) + " is defined twice");

            Group group;
            if (g.contains("name")) group.name = ReadText(g["name"], path + ".name");
            if (g.contains("bufferLength")) {
                group.hasBufferLength = true;
                group.bufferLength = static_cast<int>(ReadWhole(g["bufferLength"], path + ".bufferLength", 1, 2147483647));
            }
            if (!g.contains("items") || !g["items"].is_array()) Fail(path, "needs an \"items\" array");
            const json& items = g["items"];
            if (items.size() > static_cast<size_t>(kMaxUShort)) Fail(path + ".items", "more than 65535 items");
            for (size_t ii = 0; ii < items.size(); ++ii)
                group.items.push_back(ReadItem(items[ii], path + ".items[" + std::to_string(ii) + "]"));
            definition->groups.emplace(id, std::move(group));
        }
        return definition;
    } catch (const DefinitionError& e) {
        error = e.message;
    } catch (const std::exception& e) {
        error = origin + ": " + e.what();
    }
    return nullptr;
}

} // namespace

DataDefinition::DataDefinition()
{
    UseDefault();
    CString error;
    LoadFromEnvironment(error); // on failure the built-in stays and GetLastError() tells why
}

bool DataDefinition::LoadFromEnvironment(CString& error)
{
    error.Empty();
    const char* path = std::getenv(kEnvironmentVariable);
    if (!path || !*path) return false;
    return LoadFile(CString(path), error);
}

DataDefinition& DataDefinition::GetDataDefinition()
{
    static DataDefinition definition;
    return definition;
}

bool DataDefinition::LoadFile(const CString& path, CString& error)
{
    std::string text, failure;
    if (!ReadTextFile(path.str(), text, failure, kMaxFileBytes)) {
        error = CString(failure) + " (a data definition file was expected)";
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError = error;
        return false;
    }
    return LoadText(CString(std::move(text)), path, error);
}

bool DataDefinition::LoadText(const CString& json, const CString& origin, CString& error)
{
    std::string message;
    auto definition = ParseDefinition(json.str(), origin.str(), message);
    if (!definition) {
        error = CString(message);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError = error;
        return false;
    }
    Install(std::move(definition), origin);
    return true;
}

void DataDefinition::UseDefault()
{
    std::string message;
    auto definition = ParseDefinition(GetDefaultDefinitionText(), kBuiltInSource, message);
    // The built-in text is checked by the tests; should it ever fail, an empty definition
    // is the safe fallback (no group defined).
    if (!definition) definition = std::make_shared<Definition>();
    Install(std::move(definition), kBuiltInSource);
}

void DataDefinition::Install(std::shared_ptr<const Definition> definition, const CString& source)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_current = std::move(definition);
    m_source = source;
    m_lastError.Empty();
}

std::shared_ptr<const DataDefinition::Definition> DataDefinition::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_current;
}

CString DataDefinition::GetSource() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_source;
}

CString DataDefinition::GetLastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

DataDefinition::View DataDefinition::GetView() const
{
    return View(Snapshot());
}

bool DataDefinition::GetGroupNumItems(unsigned int group, int& count) const
{
    return GetView().GetGroupNumItems(group, count);
}

bool DataDefinition::GetGroupItemType(unsigned int group, unsigned int item, unsigned short& type) const
{
    return GetView().GetGroupItemType(group, item, type);
}

bool DataDefinition::GetGroupItemFormat(unsigned int group, unsigned int item, unsigned short& format) const
{
    return GetView().GetGroupItemFormat(group, item, format);
}

bool DataDefinition::GetGroupItemName(unsigned int group, unsigned int item, CString& name) const
{
    return GetView().GetGroupItemName(group, item, name);
}

bool DataDefinition::View::GetGroupItemName(unsigned int group, unsigned int item, CString& name) const
{
    const Item* i = m_definition->FindItem(group, item);
    if (!i || i->name.IsEmpty()) return false;
    name = i->name;
    return true;
}

bool DataDefinition::GetGroupItemUseas(unsigned int group, unsigned int item, unsigned short& useAs) const
{
    return GetView().GetGroupItemUseas(group, item, useAs);
}

bool DataDefinition::GetGroupItemLength(unsigned int group, unsigned int item, unsigned short& length) const
{
    return GetView().GetGroupItemLength(group, item, length);
}

bool DataDefinition::GetGroupBufferlength(unsigned int group, int& length) const
{
    return GetView().GetGroupBufferlength(group, length);
}

bool DataDefinition::GetGroupItemMapTxt(unsigned int group, unsigned int item, int value, CString& text) const
{
    return GetView().GetGroupItemMapTxt(group, item, value, text);
}

bool DataDefinition::GetGroupItemDoubleToStr(unsigned int group, unsigned int item, double value, CString& text) const
{
    return GetView().GetGroupItemDoubleToStr(group, item, value, text);
}

bool DataDefinition::View::GetGroupNumItems(unsigned int group, int& count) const
{
    const Definition* definition = m_definition.get();
    const Group* g = definition->FindGroup(group);
    if (!g) return false;
    count = static_cast<int>(g->items.size());
    return true;
}

bool DataDefinition::View::GetGroupItemType(unsigned int group, unsigned int item, unsigned short& type) const
{
    const Definition* definition = m_definition.get();
    const Item* i = definition->FindItem(group, item);
    if (!i) return false;
    type = i->type;
    return true;
}

bool DataDefinition::View::GetGroupItemFormat(unsigned int group, unsigned int item, unsigned short& format) const
{
    const Definition* definition = m_definition.get();
    const Item* i = definition->FindItem(group, item);
    if (!i) return false;
    format = i->format;
    return true;
}

bool DataDefinition::View::GetGroupItemUseas(unsigned int group, unsigned int item, unsigned short& useAs) const
{
    const Definition* definition = m_definition.get();
    const Item* i = definition->FindItem(group, item);
    if (!i) return false;
    useAs = i->useAs;
    return true;
}

bool DataDefinition::View::GetGroupItemLength(unsigned int group, unsigned int item, unsigned short& length) const
{
    const Definition* definition = m_definition.get();
    const Item* i = definition->FindItem(group, item);
    if (!i) return false;
    length = i->length;
    return true;
}

bool DataDefinition::View::GetGroupBufferlength(unsigned int group, int& length) const
{
    const Definition* definition = m_definition.get();
    const Group* g = definition->FindGroup(group);
    if (!g || !g->hasBufferLength) return false;
    length = g->bufferLength;
    return true;
}

bool DataDefinition::View::GetGroupItemMapTxt(unsigned int group, unsigned int item, int value, CString& text) const
{
    const Definition* definition = m_definition.get();
    const Item* i = definition->FindItem(group, item);
    if (!i) return false;
    const auto it = i->map.find(value);
    if (it == i->map.end()) return false;
    text = it->second;
    return true;
}

bool DataDefinition::View::GetGroupItemDoubleToStr(unsigned int group, unsigned int item, double value, CString& text) const
{
    const Definition* definition = m_definition.get();
    const Item* i = definition->FindItem(group, item);
    if (!i) return false;
    for (const DoubleText& entry : i->doubleText) {
        if (entry.Matches(value)) {
            text = entry.text;
            return true;
        }
    }
    return false;
}
