#include "tablebases/registration.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unordered_map>

#include "platform/file.h"
#include "tablebases/block_cache.h"
#include "tablebases/compressed_file.h"
#include "tablebases/endgame_table.h"

namespace tablebases {

namespace {

constexpr int32_t lastSixManRow = 440;
constexpr int32_t lastFiveManRow = 145;
constexpr uint64_t blockBytes = 8192;

// Compressed files registered since the process started: once there has
// been one, every initialisation provides the decode block.
int32_t compressedFilesRegistered = 0;

int32_t manCount(int32_t highestId) {
  if (highestId >= 146) return 6;
  if (highestId >= 36) return 5;
  if (highestId >= 6) return 4;
  if (highestId >= 1) return 3;
  return 0;
}

void forgetRegistration() {
  for (int32_t id = 1; id <= lastSixManRow; ++id) {
    TbDesc& row = tbDesc[id];
    for (int32_t side = 0; side < 2; ++side) {
      std::free(row.buckets[side]);
      row.buckets[side] = nullptr;
      for (int32_t e = 0; e < tbMaxExtents; ++e) {
        row.fileName[side][e].clear();
        dcFreeIndex(row.compressed[side][e]);
        row.compressed[side][e] = nullptr;
      }
    }
  }
  dcFreeDecodeBlock(tbDecodeBlock);
  tbDecodeBlock = nullptr;
}

void printUnreadable(const std::string& name, int32_t error) {
  std::printf("*** Unable to read %s - ", name.c_str());
  switch (error & 0xFF) {
    case dcKindRead: std::printf("read error\n"); break;
    case dcKindMemory: std::printf("out of memory\n"); break;
    case dcKindBroken: std::printf("file broken\n"); break;
    default: std::printf("error %d\n", error); break;
  }
  std::fflush(stdout);
}

// Table files are matched without regard to case (a set copied from a disk
// that ignores case may be named KQKR.NBW.EMD). Each directory of the path
// is listed once per initialisation: its regular files by lower-case name.
struct DirectoryListing {
  bool read = false;
  std::string directory;
  std::unordered_map<std::string, std::string> fileByFoldedName;
};
DirectoryListing listing;

std::string foldCase(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void readListing(const std::string& directory) {
  listing = DirectoryListing{};
  listing.read = true;
  listing.directory = directory;
  std::error_code error;
  std::filesystem::directory_iterator it(std::filesystem::path(directory.empty() ? "." : directory), error);
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    std::string name = it->path().filename().string();
    // Of names that differ only in case, the smallest is taken every time.
    auto [at, added] = listing.fileByFoldedName.emplace(foldCase(name), name);
    if (!added && name < at->second) at->second = name;
  }
}

// The path of a regular file named `path` up to the case of its file name,
// or empty when there is none.
std::string findTableFile(const std::string& path) {
  if (platform::isRegularFile(path.c_str())) return path;
  size_t slash = path.rfind('/');
  std::string prefix = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  if (!listing.read || listing.directory != prefix) readListing(prefix);
  auto found = listing.fileByFoldedName.find(foldCase(path.substr(prefix.size())));
  return found == listing.fileByFoldedName.end() ? std::string() : prefix + found->second;
}

}  // namespace

int32_t tbCandidateNames(const std::string& directory, int32_t id, int32_t side, int32_t extent,
                         std::string names[5]) {
  const TbDesc& row = tbDesc[id];
  bool split = (row.flags & tbSplit) != 0;
  std::string base = directory;
  if (!base.empty() && base.back() != '/') base += '/';
  base += row.name;
  if (split) base += std::string(".") + char(extent < 10 ? '0' + extent : 'a' + (extent - 10));
  std::string plain = base + (side == 0 ? ".nbw" : ".nbb");
  int32_t count = 0;
  names[count++] = plain;
  // Compressed fallbacks, each from the one before; the dots are found from
  // the end of the name, so a directory with dots in it is left alone.
  std::string emd = plain + ".emd";  // kpk.nbw.emd
  names[count++] = emd;
  if (split) return count;
  std::string underscored = emd;  // kpk_nbw.emd
  underscored[plain.size() - 4] = '_';
  names[count++] = underscored;
  std::string both = underscored;  // kpk_nbw_emd
  both[plain.size()] = '_';
  names[count++] = both;
  if (id <= lastFiveManRow) {  // kpknbw.emd
    std::string joined = both;
    joined[plain.size()] = '.';
    joined.erase(plain.size() - 4, 1);
    names[count++] = joined;
  }
  return count;
}

bool tbCheckFileSize(int32_t id, int32_t side, uint64_t entries, const std::string& name) {
  const TbDesc& row = tbDesc[id];
  uint64_t expected = row.positions[side];
  if (expected == 0) return true;
  uint64_t unit = expected;
  if (row.flags & tbSplit) {
    unit = (row.flags & tbSixteenBit) ? (uint64_t(1) << 30) : (uint64_t(1) << 31);
    expected %= unit;
    if (entries == unit || entries == expected) return true;
  } else if (entries == expected) {
    return true;
  }
  std::printf("*** %s corrupted %" PRIu64 " %" PRIu64 " %" PRIu64 "\n", name.c_str(), unit, expected, entries);
  std::fflush(stdout);
  return false;
}

int32_t tbRegisterFile(const std::string& directory, int32_t id, int32_t side, int32_t extent) {
  TbDesc& row = tbDesc[id];
  if (row.flags & tbSymmetric) side = 0;
  // Step 1. Already registered (from an earlier path entry).
  if (!row.fileName[side][extent].empty()) return 1;

  // Step 2. Open the plain name, or else a compressed fallback, each in any
  // case; only regular files count (a directory named like a table opens
  // on Linux).
  std::string names[5];
  int32_t candidates = tbCandidateNames(directory, id, side, extent, names);
  std::FILE* file = nullptr;
  int32_t opened = -1;
  for (int32_t i = 0; i < candidates && file == nullptr; ++i) {
    names[i] = findTableFile(names[i]);
    if (names[i].empty()) continue;
    file = std::fopen(names[i].c_str(), "rb");
    if (file != nullptr) opened = i;
  }
  if (file == nullptr) return 0;
  const std::string& name = names[opened];
  bool sixteenBit = (row.flags & tbSixteenBit) != 0;

  // Step 3. Check the size: plain files of 8-bit sides below 2^31 entries,
  // compressed files always.
  CompressedFileIndex* index = nullptr;
  bool usable = true;
  if (opened == 0) {
    if (!sixteenBit && row.positions[side] < (uint64_t(1) << 31)) {
      int64_t size = platform::fileSize(file);
      if (size < 0) {
        std::printf("*** Seek in %s failed\n", name.c_str());
        std::fflush(stdout);
        usable = false;
      } else {
        usable = tbCheckFileSize(id, side, uint64_t(size), name);
      }
    }
  } else {
    ++compressedFilesRegistered;
    int32_t error = dcOpenFile(&index, file);
    if (error != 0) {
      printUnreadable(name, error);
      usable = false;
    } else if (index->blockSize != int32_t(blockBytes)) {
      std::printf("*** %s: Unsupported block size %d\n", name.c_str(), index->blockSize);
      std::fflush(stdout);
      usable = false;
    } else {
      uint64_t entries = sixteenBit ? uint64_t(index->blockCount - 1) * 4096 + uint64_t(index->lastBlockSize) / 2
                                    : uint64_t(index->blockCount - 1) * 8192 + uint64_t(index->lastBlockSize);
      usable = tbCheckFileSize(id, side, entries, name);
    }
  }
  // Probes reopen the file by name.
  std::fclose(file);
  if (!usable) {
    dcFreeIndex(index);
    return 0;
  }

  // Step 4. Enter the row in the registry and keep the name and index.
  if (!tbRegisterCounts(row)) {
    std::printf("*** Unable to register %s\n", name.c_str());
    std::fflush(stdout);
    dcFreeIndex(index);
    return 0;
  }
  row.fileName[side][extent] = name;
  if (row.buckets[side] == nullptr)
    row.buckets[side] = static_cast<TbCacheBlock**>(checkedAlloc(tbChainsPerSide * int64_t(sizeof(TbCacheBlock*))));
  dcFreeIndex(row.compressed[side][extent]);
  row.compressed[side][extent] = index;
  return 1;
}

int32_t tbRegisterEndgame(const std::string& directory, int32_t id, int32_t side) {
  int32_t extents = tbExtentCount(tbDesc[id], side);
  int32_t registered = 0;
  for (int32_t e = 0; e < extents; ++e) {
    if (!tbRegisterFile(directory, id, side, e)) break;
    registered = 1;
  }
  return registered;
}

bool tbIsAvailable(int32_t id, int32_t side) {
  if (id <= 0 || id >= tbRowCount) return false;
  const TbDesc& row = tbDesc[id];
  int32_t extents = tbExtentCount(row, side);
  if (row.flags & tbSymmetric) side = 0;
  for (int32_t e = 0; e < extents && e < tbMaxExtents; ++e)
    if (!row.fileName[side][e].empty()) return true;
  return false;
}

int32_t tbInitialize(const char* path) {
  // Step 1. Close files and turn the cache off before the structures its
  // records point into are freed; the caller gives fresh cache memory.
  tbCloseAllFiles();
  tbSetCache(nullptr, 0);
  tbBuildDescriptors();
  tbBuildCountTree();
  tbClearCountTree();
  forgetRegistration();
  listing = DirectoryListing{};
  if (path == nullptr) return 0;

  // Step 2. Every directory of the path, rows in ascending order.
  int32_t highest = 0;
  std::string text = path;
  size_t start = 0;
  while (true) {
    size_t end = text.find_first_of(",;", start);
    std::string directory = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (int32_t id = 1; id <= lastSixManRow; ++id) {
      if (tbRegisterEndgame(directory, id, 0)) highest = std::max(highest, id);
      if (!(tbDesc[id].flags & tbSymmetric) && tbRegisterEndgame(directory, id, 1)) highest = std::max(highest, id);
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }

  listing = DirectoryListing{};

  // Step 3. The decode block, once compressed files have been seen.
  if (compressedFilesRegistered > 0 && tbDecodeBlock == nullptr) {
    int32_t error = dcAllocDecodeBlock(&tbDecodeBlock, int32_t(blockBytes));
    if (error != 0) {
      std::printf("*** Cannot allocate decode block: error code %d\n", error);
      std::fflush(stdout);
      std::exit(1);
    }
  }
  return manCount(highest);
}

}  // namespace tablebases
