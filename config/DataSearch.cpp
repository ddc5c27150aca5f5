#include <KvsDataBlocks/config/DataSearch.h>

namespace {

struct FileKind
{
    unsigned int kind;
    const char* folder;
    const char* extension;
};

constexpr FileKind kFileKinds[] = {
    {DataSearch::kVesselContour, "Contours", ".ctr"},
};

const FileKind* FindKind(unsigned int kind)
{
    for (const FileKind& k : kFileKinds)
        if (k.kind == kind) return &k;
    return nullptr;
}

} // namespace

DataSearch& DataSearch::GetDataSearch()
{
    static DataSearch search;
    return search;
}

bool DataSearch::GetFilePath(unsigned int kind, CString& path) const
{
    const FileKind* k = FindKind(kind);
    if (!k) return false;
    CString result = m_projectDir;
    if (!result.IsEmpty() && result.str().back() != '/') result += "/";
    result += k->folder;
    result += "/";
    path = result;
    return true;
}

bool DataSearch::GetFileExtension(unsigned int kind, CString& extension) const
{
    const FileKind* k = FindKind(kind);
    if (!k) return false;
    extension = k->extension;
    return true;
}
