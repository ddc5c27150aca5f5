// A program outside the project that finds the installed library with find_package.
#include <KvsDataBlocks/KvsDataBlocks.h>
#include <cstdio>

int main()
{
    CString text("installed");
    text += " library";
    std::printf("%s\n", static_cast<const char*>(text));
    return text.GetLength() == 17 ? 0 : 1;
}
