// Writes every file the game reads into the run directory given as argument.
#include <cstdio>
#include <filesystem>

#include "Assets.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: assetgen RUN_DIRECTORY\n");
        return 2;
    }
    const std::string directory = argv[1];
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    bool ok = WriteConfigIni(directory);
    ok = WriteIcon(directory) && ok;
    ok = WriteImages(directory) && ok;
    ok = WriteSounds(directory) && ok;
    if (!ok) {
        std::fprintf(stderr, "assetgen: could not write every asset into %s\n", directory.c_str());
        return 1;
    }
    return 0;
}
