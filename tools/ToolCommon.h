// Shared pieces of the kvsblocks subcommands: exit codes, the error type that carries a
// message to main, and small helpers for block streams and element values.
#pragma once

#include <KvsDataBlocks/platform/CString.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class CAttributeMap;
class CDataBlock;
class CKvsBytePtr;

namespace kvs::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 1; // unreadable or malformed input, failed output
inline constexpr int kExitUsage = 2;    // bad command line, output that is an input

// Thrown by a subcommand for bad input; main prints "kvsblocks: <message>" and exits 1.
struct InputError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Thrown by a subcommand for a command line it cannot carry out (a bad option value, an
// output that would overwrite an input); main prints "kvsblocks: <message>" and exits 2.
struct UsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Loads an attribute file into map. A name that no filter or data source reads is reported
// on standard error with its line and the closest known name; with strict the file is
// refused for it (InputError). Other faults of the file are InputErrors too.
void LoadAttributeFile(const std::string& path, CAttributeMap& map, bool strict);

// Every value of an element as doubles (scalars give one value, arrays one per item);
// empty for texts, string lists and references.
std::vector<double> ElementValues(const CKvsBytePtr& element);

// Number of items of an array element (0 for other kinds).
int ElementItemCount(const CKvsBytePtr& element);

// The beam values of a multibeam or pipe-detection block found by use-as code, copied
// out of the block (the block's arrays need not be aligned).
bool ReadFloatArray(const CDataBlock& block, unsigned short useAs, std::vector<float>& out);
bool ReadUIntArray(const CDataBlock& block, unsigned short useAs, std::vector<unsigned int>& out);

// The definition's name of an element, or "element <id>".
std::string ElementName(const CDataBlock& block, const CKvsBytePtr& element);

// Formats seconds since 1970 UTC as "YYYY-MM-DD HH:MM:SS.sss".
std::string FormatUtc(double seconds);
// Reads "YYYY-MM-DD HH:MM:SS[.sss]", "YYYY-MM-DDTHH:MM:SS[.sss][Z]" (UTC; impossible
// dates and times such as 2026-02-31 or 24:00:00 are refused) or plain seconds since
// 1970; false when the text is none of these.
bool ParseUtc(const std::string& text, double& seconds);

} // namespace kvs::tool
