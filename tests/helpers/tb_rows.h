// The id of an endgame row by name, for the tablebase tests.
#pragma once
#include <cstring>

#include "tablebases/endgame_table.h"

namespace testing_tb {

inline int rowId(const char* name) {
  tablebases::tbBuildDescriptors();
  for (const tablebases::TbDesc& r : tablebases::tbDesc)
    if (std::strcmp(r.name, name) == 0) return r.id;
  return -1;
}

}  // namespace testing_tb
