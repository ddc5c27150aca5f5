// A program outside the project that finds the installed library with find_package and
// uses it through the umbrella header alone: texts, a block laid out from the data
// definition, a filter picked for it, and the version.
#include <KvsDataBlocks/KvsDataBlocks.h>

#include <cstdio>
#include <cstring>
#include <memory>

int main()
{
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok) {
            std::printf("failed: %s\n", what);
            ++failures;
        }
    };
    CString text("installed");
    text += " library";
    check(text.GetLength() == 17, "CString");
    check(KvsModuleIsReady(), "module start-up");
    check(kKvsModuleVersion == KVS_VERSION_PACKED && std::strlen(KVS_VERSION_STRING) > 0, "version");

    CDataBlock block;
    check(BuildDataBlockFromDefinition(CDataId(1, 1011, 1, 1), block) && block.GetLength() > 0, "block from definition");
    int beams = 0;
    unsigned short status = 1;
    check(block.SetDataValue(602, 24, 0, 2) && block.GetDataValue(602, beams, status, 2) && beams == 24 && status == 0,
          "element value");
    CAttributeMap settings;
    settings.SetAttribValue(ATTR_DEPTHFILTER, true);
    const std::unique_ptr<Filter> filter(Filter::CreateFilter(block, &settings));
    check(dynamic_cast<MultibeamFilter*>(filter.get()) != nullptr, "multibeam filter for a ping");
    std::printf("%s %s\n", static_cast<const char*>(text), KVS_VERSION_STRING);
    return failures == 0 ? 0 : 1;
}
