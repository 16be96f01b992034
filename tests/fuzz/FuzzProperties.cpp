// Arbitrary bytes as a properties file. Checked: a file that loads stores to a file that reads back to the same pairs; the in-place save of changed
// values reads back to the changed pairs and keeps every other line.
#include "FuzzScratch.h"
#include "logical/SimpleProperties.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace {

// The entries read from path, or false when it does not load.
bool readPairs(const std::string& path, bool logged, std::map<std::string, std::string>& pairs, serverframework::SimpleProperties& properties)
{
    if (logged)
        return properties.loadLogged(path) && (pairs = properties.entries(), true);
    try {
        properties.load(path);
    } catch (const std::exception&) {
        return false;
    }
    pairs = properties.entries();
    return true;
}

void write(const std::string& path, const unsigned char* data, size_t size)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    const std::string& dir = fuzzScratch();
    const std::string input = dir + "in.properties";
    const std::string output = dir + "out.properties";
    write(input, data, size);

    // Strict load, whole store, reload.
    std::map<std::string, std::string> read;
    serverframework::SimpleProperties strict;
    if (readPairs(input, false, read, strict)) {
        std::remove(output.c_str());
        if (!strict.store(output))
            std::abort();
        serverframework::SimpleProperties again;
        std::map<std::string, std::string> back;
        if (!readPairs(output, false, back, again) || back != read)
            std::abort();
    }

    // Lenient load, one value changed, in-place store, reload.
    serverframework::SimpleProperties lenient;
    std::map<std::string, std::string> pairs;
    if (!readPairs(input, true, pairs, lenient))
        std::abort();
    if (!pairs.empty()) {
        pairs.begin()->second = "changed value";
        lenient.setProperty(pairs.begin()->first, "changed value");
    }
    lenient.addProperty("fuzz.added", "1");
    pairs.emplace("fuzz.added", "1");
    if (!lenient.storeLogged(input))
        std::abort();
    serverframework::SimpleProperties reread;
    std::map<std::string, std::string> back;
    if (!readPairs(input, true, back, reread) || back != pairs)
        std::abort();
    return 0;
}
