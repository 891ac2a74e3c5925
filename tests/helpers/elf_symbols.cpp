#include "helpers/elf_symbols.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace testing_helpers {

namespace {

// ELF constants used here.
constexpr uint8_t ElfClass32 = 1;
constexpr uint8_t ElfClass64 = 2;
constexpr uint32_t SectionDynamicSymbols = 11;  // SHT_DYNSYM
constexpr uint16_t UndefinedSection = 0;        // SHN_UNDEF
constexpr uint8_t BindGlobal = 1;
constexpr uint8_t BindWeak = 2;

template <typename T>
bool readAt(const std::vector<uint8_t>& data, uint64_t offset, T* out) {
  if (offset + sizeof(T) > data.size()) return false;
  std::memcpy(out, data.data() + offset, sizeof(T));
  return true;
}

}  // namespace

bool readExportedSymbols(const std::string& path, std::vector<std::string>* names) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (data.size() < 64 || std::memcmp(data.data(), "\x7f" "ELF", 4) != 0) return false;
  const bool wide = data[4] == ElfClass64;
  if (!wide && data[4] != ElfClass32) return false;

  // Section header table: offset, entry size and count.
  uint64_t sectionOffset = 0;
  uint16_t sectionSize = 0, sectionCount = 0;
  if (wide) {
    readAt(data, 0x28, &sectionOffset);
    readAt(data, 0x3A, &sectionSize);
    readAt(data, 0x3C, &sectionCount);
  } else {
    uint32_t offset32 = 0;
    readAt(data, 0x20, &offset32);
    sectionOffset = offset32;
    readAt(data, 0x2E, &sectionSize);
    readAt(data, 0x30, &sectionCount);
  }

  auto sectionField = [&](uint32_t index, uint32_t field32, uint32_t field64, uint64_t* out) {
    uint64_t base = sectionOffset + uint64_t(index) * sectionSize;
    if (wide) return readAt(data, base + field64, out);
    uint32_t value = 0;
    bool ok = readAt(data, base + field32, &value);
    *out = value;
    return ok;
  };

  for (uint32_t i = 0; i < sectionCount; ++i) {
    uint32_t type = 0;
    if (!readAt(data, sectionOffset + uint64_t(i) * sectionSize + 4, &type)) return false;
    if (type != SectionDynamicSymbols) continue;
    uint64_t offset = 0, size = 0, link = 0, entrySize = 0;
    sectionField(i, 0x10, 0x18, &offset);
    sectionField(i, 0x14, 0x20, &size);
    uint32_t link32 = 0;
    readAt(data, sectionOffset + uint64_t(i) * sectionSize + (wide ? 0x28 : 0x18), &link32);
    link = link32;
    sectionField(i, 0x24, 0x38, &entrySize);
    uint64_t stringsOffset = 0;
    sectionField(uint32_t(link), 0x10, 0x18, &stringsOffset);
    if (entrySize == 0) return false;
    for (uint64_t s = offset; s + entrySize <= offset + size; s += entrySize) {
      uint32_t nameIndex = 0;
      uint8_t info = 0;
      uint16_t sectionIndex = 0;
      readAt(data, s, &nameIndex);
      readAt(data, s + (wide ? 4 : 12), &info);
      readAt(data, s + (wide ? 6 : 14), &sectionIndex);
      uint8_t binding = info >> 4;
      if (sectionIndex == UndefinedSection || (binding != BindGlobal && binding != BindWeak)) continue;
      uint64_t at = stringsOffset + nameIndex;
      if (at >= data.size()) return false;
      names->emplace_back(reinterpret_cast<const char*>(data.data() + at));
    }
    return true;
  }
  return false;
}

}  // namespace testing_helpers
