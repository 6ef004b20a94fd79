// Pack records: what a framework pack and a pattern pack file read into, and the folder loaders
// that turn a folder of YAML files into pack lists plus warnings.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "detect/error.h"
#include "detect/hash_seeds.h"

namespace detect {

enum class DetectRuleKind : std::uint8_t { ClassInstantiation, Decorator, FunctionCall };

struct DetectRule {
  DetectRuleKind kind = DetectRuleKind::ClassInstantiation;
  std::optional<std::string> class_name;  // YAML key "class"
  std::optional<std::string> name;
  float weight = 0.0f;
};

struct ImportRule {
  std::string module;
  float weight = 0.0f;
};

struct DetectSection {
  std::vector<ImportRule> imports;
  std::vector<DetectRule> symbol_patterns;
};

enum class IdiomKind : std::uint8_t { ClassInstantiation, Decorator, KwargValue, FunctionCall };
enum class IdiomTarget : std::uint8_t { Function, Class };

struct IdiomRule {
  IdiomKind kind = IdiomKind::ClassInstantiation;
  std::optional<std::string> class_name;  // YAML key "class"
  std::optional<std::string> name;
  std::optional<IdiomTarget> target;
  std::optional<std::string> kwarg;  // read and kept; nothing uses it
  // Output key to template; std::map keeps keys in ascending bytewise order (char_traits<char>
  // compares as unsigned char), the order in which templates are expanded.
  std::map<std::string, std::string> capture;
};

// A free value (`suggest` items, `adapter`): only its acceptance matters, nothing reads it, so
// nothing of it is kept.
struct FreeValue {};

struct FrameworkPack {
  std::string schema_version;
  std::string kind;
  std::string id;
  std::string display_name;
  std::string homepage;
  std::string maintainer;
  std::string version;
  DetectSection detect;
  // Category name to rules, categories in ascending bytewise order.
  std::map<std::string, std::vector<IdiomRule>> idioms;
  std::vector<FreeValue> suggest;
  std::optional<FreeValue> adapter;
};

struct PatternMatch {
  std::optional<std::uint32_t> min_llm_calls_per_function;
  std::optional<std::uint32_t> max_llm_calls_per_function;
  std::optional<std::uint32_t> min_tool_calls_per_function;
  std::optional<std::uint32_t> max_tool_calls_per_function;
  std::optional<std::uint32_t> min_agent_spawns_per_function;
  std::optional<std::uint32_t> min_branches;
  std::optional<bool> has_loop;
  std::optional<bool> has_parallel;
  std::optional<bool> has_branch_on_llm;
};

// The default confidence of a pattern pack: the float nearest 0.6 (bit pattern 0x3F19999A).
inline constexpr float kDefaultPatternConfidence = 0.6f;

struct PatternPack {
  std::string schema_version;
  std::string kind;
  std::string id;
  std::string display_name;
  std::string homepage;
  std::string maintainer;
  std::string version;
  PatternMatch match;
  float confidence = kDefaultPatternConfidence;
};

// A failed read of one pack document. `display()` is the text a pattern-pack warning shows: the
// path and ": " before the message (left out at the root), " at line {} column {}" after it (left
// out at line 1 column 1, and for errors that carry no position).
struct PackReadError {
  std::string message;
  std::string path;               // "" for the root or for errors without a path
  std::uint32_t line = 0;          // 0: no position
  std::uint32_t column = 0;
  [[nodiscard]] std::string display() const;
};

template <typename T>
struct PackRead {
  std::optional<T> pack;
  std::optional<PackReadError> error;  // set exactly when `pack` is not
};

// Reading one pack file's text (UTF-8). A text that holds a character libyaml refuses, more than 64
// lines that begin with "%" or flow collections nested deeper than 512 levels fails to read, with the
// first failure in document order (packs/text_cut.h, packs/yaml_document.h).
// Memory that runs out throws std::bad_alloc.
// The forms without `seeds` draw seeds of their own.
[[nodiscard]] PackRead<FrameworkPack> read_framework_pack(std::string_view text, HashSeeds& seeds);
[[nodiscard]] PackRead<PatternPack> read_pattern_pack(std::string_view text, HashSeeds& seeds);
[[nodiscard]] PackRead<FrameworkPack> read_framework_pack(std::string_view text);
[[nodiscard]] PackRead<PatternPack> read_pattern_pack(std::string_view text);
[[nodiscard]] bool is_blank_yaml(std::string_view text);

// Load every pack file of `dir` in listing order; warnings are appended to `warnings`. One file
// listed under more than three names (links, hard links) is read under the first three only.
// The tables of the load take their keys from `seeds`, the call's; the forms without draw their own.
[[nodiscard]] Result<std::vector<FrameworkPack>> load_framework_packs(const std::string& dir,
                                                                      std::vector<std::string>& warnings,
                                                                      HashSeeds& seeds);
[[nodiscard]] Result<std::vector<PatternPack>> load_pattern_packs(const std::string& dir,
                                                                  std::vector<std::string>& warnings,
                                                                  HashSeeds& seeds);
[[nodiscard]] Result<std::vector<FrameworkPack>> load_framework_packs(const std::string& dir,
                                                                      std::vector<std::string>& warnings);
[[nodiscard]] Result<std::vector<PatternPack>> load_pattern_packs(const std::string& dir,
                                                                  std::vector<std::string>& warnings);

}  // namespace detect
