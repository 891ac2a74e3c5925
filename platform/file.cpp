#include "platform/file.h"

#include <sys/stat.h>
#include <sys/types.h>

namespace platform {

bool seekFile(std::FILE* file, uint64_t offset) {
  if (offset > uint64_t(INT64_MAX)) return false;
  return fseeko(file, off_t(offset), SEEK_SET) == 0;
}

int64_t fileSize(std::FILE* file) {
  struct stat info {};
  if (fstat(fileno(file), &info) != 0) return -1;
  return int64_t(info.st_size);
}

bool isRegularFile(const char* path) {
  struct stat info {};
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace platform
