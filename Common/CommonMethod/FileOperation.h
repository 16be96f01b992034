#pragma once
// Whole-file reading and writing of the configuration files.

#include <string>

// Reads the whole file into content and cuts every trailing line feed.
// When path is missing or empty, fallbackPath is tried, or, when that is
// empty, the same folder's "<stem>.data". False (content unchanged) when
// neither holds any byte.
bool readFile(std::string& content, const std::string& path, std::string fallbackPath = std::string());

// Writes content over the file in place: trailing line feeds are cut, and
// the result is padded with line feeds up to the larger of its length and the
// file's current size, rounded up to a multiple of 512 bytes. The file is
// replaced crash-safe: a crash leaves the old bytes or the new ones.
// False when the file cannot be written or there is nothing to write.
bool writeFile(const std::string& path, const std::string& content);

// Removes the temporaries that writes of path left beside it when they were
// interrupted (a kill, a crash), once older than a minute: younger ones may
// belong to a write still running. Logs how many went.
void removeStaleWriteTemporaries(const std::string& path);

// Keeps a damaged file as "<path>.damaged-<yyyyMMdd-HHmmss>" (plus "-2",
// "-3", ... when taken), so that its content can be recovered by hand: moved
// aside when a fresh file takes its place, copied when it is repaired in
// place. The kept file's path; empty, with the reason in error, on failure.
std::string keepDamagedFile(const std::string& path, bool move, std::string& error);

namespace comm_method {
// The padded bytes writeFile puts on disk for a file of currentSize bytes;
// empty when there is nothing to write.
std::string paddedFileContent(const std::string& content, unsigned long long currentSize);
} // namespace comm_method
