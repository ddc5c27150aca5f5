// A small example on built-in data until the command-line tool exists.
#include <KvsDataBlocks/KvsDataBlocks.h>

#include <cstdio>

int main()
{
    CString text;
    text.Format("KvsDataBlocks %s", "example");
    std::printf("%s\n", static_cast<const char*>(text));
    return 0;
}
