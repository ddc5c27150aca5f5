// The folder of files a fuzz target lays out and reads back: made once per program under
// the system's temporary folder, and removed with everything in it when the program ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <stdlib.h> // mkdtemp

namespace kvs_fuzz {

// The program's work folder, named prefix + six random characters; the first call makes it.
inline const std::filesystem::path& WorkFolder(const char* prefix)
{
    struct Folder
    {
        std::filesystem::path path;
        explicit Folder(const char* prefix)
        {
            std::string name = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
            if (::mkdtemp(name.data()) == nullptr) std::abort();
            path = name;
        }
        ~Folder()
        {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder dir(prefix);
    return dir.path;
}

} // namespace kvs_fuzz
