// CAttributeMap: a named set of typed settings (bool, int, double, text, CDataInfo and
// three doubles) read by the filters and data sources. Attributes are set in code or
// loaded from a text file; each carries a status word that the map passes through.
//
// Reading: GetAttribValue returns true and writes value and status when the name is held
// with a matching type; otherwise it returns false and leaves both outputs untouched, so a
// caller can preload its default. Types match exactly, with one widening: an int attribute
// may also be read as double. Names are case-sensitive.
//
// Text format (LoadString / LoadFile), one attribute per line:
//     name = type:value
// name is letters, digits and _ . - ; type is one of
//     bool      true | false | 1 | 0 | yes | no   (case-insensitive)
//     int       a decimal integer within 32-bit range, optional sign
//     double    a finite decimal number (strtod syntax, no trailing characters)
//     string    the rest of the line, trimmed; "quoted text" keeps its spaces and takes
//               the escapes of StrHandleEscape (\n \t \" \\ \xHH ...)
//     datainfo  five integers 0-65535 separated by commas:
//               data type, group id, device number, vessel id, element id
//     double3   three finite numbers separated by commas
// Blank lines and lines whose first non-blank character is '#' or ';' are ignored;
// spaces around name, '=', type and ':' are allowed; a UTF-8 byte-order mark at the start
// and a CR before each line end are dropped. A name may appear only once in one text. A malformed text loads nothing and reports
// "line N: <reason>"; a valid text adds its attributes (status 0), replacing held ones of
// the same name.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/datablocks/CDataInfo.h>
#include <KvsDataBlocks/platform/CString.h>

#include <array>
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

class KVS_API CAttributeMap
{
public:
    void SetAttribValue(const CString& name, bool value, unsigned int status = 0);
    void SetAttribValue(const CString& name, int value, unsigned int status = 0);
    void SetAttribValue(const CString& name, double value, unsigned int status = 0);
    void SetAttribValue(const CString& name, const CString& value, unsigned int status = 0);
    // Keeps a string literal from binding to the bool overload.
    void SetAttribValue(const CString& name, const char* value, unsigned int status = 0);
    void SetAttribValue(const CString& name, const CDataInfo& value, unsigned int status = 0);
    void SetAttribValue(const CString& name, double x, double y, double z, unsigned int status = 0);

    bool GetAttribValue(const CString& name, bool& value, unsigned int& status) const;
    bool GetAttribValue(const CString& name, int& value, unsigned int& status) const;
    bool GetAttribValue(const CString& name, double& value, unsigned int& status) const;
    bool GetAttribValue(const CString& name, CString& value, unsigned int& status) const;
    bool GetAttribValue(const CString& name, CDataInfo& value, unsigned int& status) const;
    bool GetAttribValue(const CString& name, double& x, double& y, double& z, unsigned int& status) const;

    bool HasAttrib(const CString& name) const;

    // The value kinds that GetAttribValue reads.
    enum class Kind { Bool, Int, Double, Text, DataInfo, Double3 };

    // Every held name with the line of the text it was loaded from (0 when it was set in
    // code) and the kind of value it holds, in line order: lets an application check a
    // settings file's names and types.
    struct NameAndLine
    {
        CString name;
        int line;
        Kind kind = Kind::Bool;
    };
    std::vector<NameAndLine> GetNamesAndLines() const;
    // While set, observer is told the name and kind of every GetAttribValue call, held or
    // not: shows which settings a filter or data source reads. An empty function stops it.
    using LookupObserver = std::function<void(const CString& name, Kind kind)>;
    void SetLookupObserver(LookupObserver observer);
    bool RemoveAttrib(const CString& name);
    void RemoveAll();
    int GetCount() const;

    // Parse attributes from text or a file (format above). On failure error holds the
    // reason ("line N: ...", or "<path>: cannot open: ..." and the other faults of ReadTextFile),
    // and the map is unchanged.
    bool LoadString(const CString& text, CString& error);
    bool LoadFile(const CString& path, CString& error);

private:
    using Triple = std::array<double, 3>;
    using Value = std::variant<bool, int, double, CString, CDataInfo, Triple>;
    struct Entry
    {
        Value value;
        unsigned int status = 0;
        int line = 0; // the line of the loaded text, 0 when set in code
    };

    void Put(const CString& name, Value value, unsigned int status);
    const Entry* Find(const CString& name) const;
    const Entry* Lookup(const CString& name, Kind kind) const; // Find, told to the observer

    std::map<std::string, Entry, std::less<>> m_entries;
    LookupObserver m_observer;
};
