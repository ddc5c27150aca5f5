// DataDefinition: the process-wide data definition. For every data group (the group id of
// a CDataId) it lists the items that blocks of the group carry, in block order: element
// type, length, format and use-as code, and per item an optional text map (shown for
// format 30 and bool items) and value texts (format 44). A group may also name the
// buffer length of its data source. Used by the block builders and the text formatter.
//
// Source. A built-in default definition is in use until another is loaded. The first
// call of GetDataDefinition() loads the file named by the environment variable
// KVS_DATA_DEFINITION when it is set; the application may load another file at any time
// with LoadFile. A file that cannot be read or is malformed is refused with a message
// naming the place (file, line/column or the JSON path of the bad value), and the
// definition in use stays as it was.
//
// File format (JSON, UTF-8; unknown keys are refused so that typing errors show):
//   {
//     "description": "optional text",
//     "groups": [
//       { "id": 1020,                 // group id, 0..65535, unique in the file
//         "name": "Tide",             // optional
//         "bufferLength": 10,         // optional, 1..2^31-1: data source buffer length
//         "items": [                  // block order; item i becomes element id i
//           { "name": "TideValue",    // optional
//             "type": 103,            // element type code, or its name "ET_DOUBLE"
//             "length": 8,            // bytes; optional for scalars (their size),
//                                     // required for arrays and texts (a multiple of
//                                     // the item size, at most 65535)
//             "format": 2,            // optional, 0..65535, default 1
//             "useAs": 220,           // optional, 0..65535, default 0
//             "map": { "0": "Off", "1": "On" },      // optional: integer value -> text
//             "doubleText": [                         // optional, first match wins:
//               { "value": -9999.0, "text": "no data" },         // exact value
//               { "min": 0.0, "max": 0.5, "text": "shallow" } ]  // min <= v < max
//           } ] } ] }
// A scalar item's length must equal the size of its type (a shorter one would let
// readers run past the element). Item count per group: at most 65535.
//
// Thread safety: every getter reads one immutable snapshot; loading builds a new one and
// swaps it in under a lock, so readers on other threads see the old or the new
// definition, never a mixture.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>

#include <memory>
#include <mutex>

class KVS_API DataDefinition
{
public:
    static constexpr const char* kEnvironmentVariable = "KVS_DATA_DEFINITION";
    // GetSource() of the built-in definition.
    static constexpr const char* kBuiltInSource = "built-in";

    static DataDefinition& GetDataDefinition();

    // Replaces the definition in use by the one in the file. False (definition unchanged)
    // with error set when the file cannot be read or is malformed.
    bool LoadFile(const CString& path, CString& error);
    // The same from JSON text; origin names the text in messages and in GetSource().
    bool LoadText(const CString& json, const CString& origin, CString& error);
    // Loads the file named by KVS_DATA_DEFINITION (done once by the first
    // GetDataDefinition()). False with an empty error when the variable is unset or empty
    // (definition unchanged); otherwise as LoadFile.
    bool LoadFromEnvironment(CString& error);
    // Back to the built-in definition.
    void UseDefault();
    // The file path of the definition in use, or kBuiltInSource.
    CString GetSource() const;
    // The message of the last refused load (including one from KVS_DATA_DEFINITION);
    // empty when none was refused since the last successful one.
    CString GetLastError() const;
    // The JSON text of the built-in definition (an example of the file format).
    static const char* GetDefaultDefinitionText();

    // False when the group is not defined (count untouched).
    bool GetGroupNumItems(unsigned int group, int& count) const;
    // False when the group or item is not defined (value untouched).
    bool GetGroupItemType(unsigned int group, unsigned int item, unsigned short& type) const;
    bool GetGroupItemFormat(unsigned int group, unsigned int item, unsigned short& format) const;
    bool GetGroupItemUseas(unsigned int group, unsigned int item, unsigned short& useAs) const;
    bool GetGroupItemLength(unsigned int group, unsigned int item, unsigned short& length) const;
    // False when the group is not defined or gives no buffer length.
    bool GetGroupBufferlength(unsigned int group, int& length) const;
    // The text mapped to value; false (text untouched) when there is none.
    bool GetGroupItemMapTxt(unsigned int group, unsigned int item, int value, CString& text) const;
    // The configured text of value; false (text untouched) when no entry matches.
    bool GetGroupItemDoubleToStr(unsigned int group, unsigned int item, double value, CString& text) const;
    // The item's name; false (name untouched) when the item is not defined or has none.
    bool GetGroupItemName(unsigned int group, unsigned int item, CString& name) const;

    struct Definition;

    // One definition pinned: every read through a view sees the same definition, even
    // when another thread loads a new one meanwhile (a block built through one view never
    // mixes two definitions). Views are cheap to copy and keep their definition alive.
    class View
    {
    public:
        // The reads of DataDefinition, on the pinned definition.
        bool GetGroupNumItems(unsigned int group, int& count) const;
        bool GetGroupItemType(unsigned int group, unsigned int item, unsigned short& type) const;
        bool GetGroupItemFormat(unsigned int group, unsigned int item, unsigned short& format) const;
        bool GetGroupItemUseas(unsigned int group, unsigned int item, unsigned short& useAs) const;
        bool GetGroupItemLength(unsigned int group, unsigned int item, unsigned short& length) const;
        bool GetGroupBufferlength(unsigned int group, int& length) const;
        bool GetGroupItemMapTxt(unsigned int group, unsigned int item, int value, CString& text) const;
        bool GetGroupItemDoubleToStr(unsigned int group, unsigned int item, double value, CString& text) const;
        bool GetGroupItemName(unsigned int group, unsigned int item, CString& name) const;

    private:
        friend class DataDefinition;
        explicit View(std::shared_ptr<const Definition> definition) : m_definition(std::move(definition)) {}
        std::shared_ptr<const Definition> m_definition;
    };
    View GetView() const;

private:
    DataDefinition();
    DataDefinition(const DataDefinition&) = delete;
    DataDefinition& operator=(const DataDefinition&) = delete;

    std::shared_ptr<const Definition> Snapshot() const;
    void Install(std::shared_ptr<const Definition> definition, const CString& source);

    mutable std::mutex m_mutex;
    std::shared_ptr<const Definition> m_current;
    CString m_source;
    CString m_lastError;
};
