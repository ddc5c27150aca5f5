// The functions of the formula language: the keyword a formula writes, the catalogue name
// it binds to (Ccalc), its number of arguments, and for users the arguments and a line of
// what it gives. The parser's keyword table, `kvsblocks formula --list` and the README's
// reference table all come from this one list.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <cstddef>

namespace kvs {

struct FormulaFunction
{
    const char* keyword;     // as written in a formula, matched case-sensitively
    const char* name;        // the catalogue name Ccalc binds
    int arguments;           // how many the parser takes
    const char* signature;   // the arguments by meaning, e.g. "text, start, count"
    const char* description; // one line: what the call gives
};

// Every function, in the parser's order of look-up.
KVS_API const FormulaFunction* FormulaFunctions(size_t& count);

} // namespace kvs
