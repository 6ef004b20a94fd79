// The two pack readers and the display text of a reading error.
#include "detect/packs.h"
#include "packs/pack_schemas.h"
#include "packs/record_reader.h"

namespace detect {

std::string PackReadError::display() const {
  std::string text;
  if (!path.empty()) text = path + ": ";
  text += message;
  if (line != 0 && !(line == 1 && column == 1)) {
    text += " at line " + std::to_string(line) + " column " + std::to_string(column);
  }
  return text;
}

PackRead<FrameworkPack> read_framework_pack(std::string_view text, HashSeeds& seeds) {
  return packs::read_pack_document<FrameworkPack>(text, seeds);
}

PackRead<PatternPack> read_pattern_pack(std::string_view text, HashSeeds& seeds) {
  return packs::read_pack_document<PatternPack>(text, seeds);
}

PackRead<FrameworkPack> read_framework_pack(std::string_view text) {
  HashSeeds seeds;
  return read_framework_pack(text, seeds);
}

PackRead<PatternPack> read_pattern_pack(std::string_view text) {
  HashSeeds seeds;
  return read_pattern_pack(text, seeds);
}

}  // namespace detect
