// CheckDllVersion: the load-time version check of the suite's modules.
// Policy: a module may be used unless the host sets a minimum version that it does not
// reach. The minimum is read from the environment variable KVS_MIN_DLL_VERSION, either
// dotted ("3.4.1.11") or as a packed number ("0x0304010B" or decimal); unset or empty
// means no minimum. A malformed setting refuses every module, so a typo never passes an
// unchecked build. An empty source name or build text is refused too.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <optional>

// Packed version of "a.b.c.d" (one byte each, most significant first); nullopt when the
// text is neither dotted nor a packed number.
KVS_API std::optional<unsigned int> ParsePackedVersion(const char* text);

KVS_API bool CheckDllVersion(unsigned int packedVersion, const char* sourceName, const char* buildText);
