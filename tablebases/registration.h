// Registration of the table files found on the tablebase path.
//
// `tbInitialize` drops what an earlier call registered, then looks in every
// directory of the path (entries separated by ',' or ';'; an empty entry is
// the current directory) for the files of every endgame row and side,
// checks each one and records its name (and, for a compressed file, its
// block index) in the row. It returns the largest man count found, which
// becomes the engine's tablebase limit. Runs on the front end's thread while
// no search probes.
//
// A file that is present but unusable (wrong size, broken header,
// unsupported block size) is reported with a "*** " line and skipped; only
// an allocation failure ends the process.
#pragma once
#include <cstdint>
#include <string>

namespace tablebases {

int32_t tbInitialize(const char* path);
int32_t tbRegisterEndgame(const std::string& directory, int32_t id, int32_t side);
int32_t tbRegisterFile(const std::string& directory, int32_t id, int32_t side, int32_t extent);
// True when the size in entries fits the row; otherwise prints the
// "corrupted" line and returns false.
bool tbCheckFileSize(int32_t id, int32_t side, uint64_t entries, const std::string& name);
bool tbIsAvailable(int32_t id, int32_t side);

// The names a table file may have, the plain one first, then the
// compressed fallbacks in the order they are tried.
int32_t tbCandidateNames(const std::string& directory, int32_t id, int32_t side, int32_t extent,
                         std::string names[5]);

}  // namespace tablebases
