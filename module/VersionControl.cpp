#include <KvsDataBlocks/module/VersionControl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::optional<unsigned int> ParsePackedVersion(const char* text)
{
    if (!text || !*text) return std::nullopt;
    if (std::strchr(text, '.')) {
        unsigned int packed = 0;
        int fields = 0;
        const char* p = text;
        while (*p) {
            char* end = nullptr;
            errno = 0;
            const unsigned long field = std::strtoul(p, &end, 10);
            if (end == p || errno != 0 || field > 255 || fields == 4) return std::nullopt;
            packed = (packed << 8) | static_cast<unsigned int>(field);
            ++fields;
            p = end;
            if (*p == '.') {
                ++p;
                if (!*p) return std::nullopt;
            } else if (*p) {
                return std::nullopt;
            }
        }
        if (fields != 4) return std::nullopt;
        return packed;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (end == text || *end || errno != 0 || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<unsigned int>(value);
}

bool CheckDllVersion(unsigned int packedVersion, const char* sourceName, const char* buildText)
{
    if (!sourceName || !*sourceName || !buildText || !*buildText) return false;
    const char* minimum = std::getenv("KVS_MIN_DLL_VERSION");
    if (!minimum || !*minimum) return true;
    const std::optional<unsigned int> required = ParsePackedVersion(minimum);
    return required && packedVersion >= *required;
}
