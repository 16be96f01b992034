#pragma once
// A scratch folder for the fuzz targets that work on files, made once per run and removed at exit. In memory (/dev/shm): the product's durable writes
// sync every file, which on a disk would bound a target to a few runs a second.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>

inline const std::string& fuzzScratch()
{
    struct Scratch
    {
        std::string path;
        Scratch()
        {
            char pattern[] = "/dev/shm/tavrin-fuzz-XXXXXX";
            if (!mkdtemp(pattern))
                std::abort();
            path = std::string(pattern) + "/";
        }
        ~Scratch()
        {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Scratch scratch;
    return scratch.path;
}
