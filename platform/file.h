// Reading table files at 64-bit offsets, also in the 32-bit build.
#pragma once
#include <cstdint>
#include <cstdio>

namespace platform {

// Positions the file at the byte offset; false when the seek fails.
bool seekFile(std::FILE* file, uint64_t offset);

// Size of an open file in bytes, or -1 when unknown.
int64_t fileSize(std::FILE* file);

// True when the path names a regular file (not a directory or device).
bool isRegularFile(const char* path);

}  // namespace platform
