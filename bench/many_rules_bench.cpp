// Writes the many-rules case of the end-to-end benchmark: a project of many small Python files
// (imports, calls and decorators of the kinds pack rules compare) and framework packs holding many
// rules (import, symbol and idiom rules), of which only a few name anything the project has. It
// shows what matching costs per call site and per file when the packs grow, whatever of them can
// match. bench/run_analyze_bench.sh generates it into a temporary folder and times it with
// analyze_bench; the same seed always gives the same files.
//
//   many_rules_bench [--seed N] [--files N] [--rules N] DIR
//
// writes DIR/project/ (the files, a hundred per folder), DIR/packs/frameworks/ (packs of a
// thousand rules each) and an empty DIR/packs/patterns/. Defaults: seed 1, 50,000 files, 100,000
// rules.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

// splitmix64: fixed by its definition, so a seed gives the same tree with every library.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }
  bool one_in(unsigned n) { return below(n) == 0; }

 private:
  std::uint64_t state_;
};

// What the project is made of: packages pkgA with modules pkgA.subB, each defining classes
// ThingC, decorators decoC and functions callC; objects of the project have methods methodC.
constexpr unsigned kPackages = 400;
constexpr unsigned kModules = 16;
constexpr unsigned kThings = 12;
constexpr unsigned kDecorators = 6;
constexpr unsigned kFunctions = 8;
constexpr unsigned kMethods = 40;

std::string num(unsigned n) { return std::to_string(n); }

std::string project_module(Random& random) {
  return "pkg" + num(random.below(kPackages)) + ".sub" + num(random.below(kModules));
}

// One small source file: a few imports, module-level calls, a decorated function and a decorated
// class whose method calls what was imported and methods of local objects.
std::string source_file(Random& random, unsigned index) {
  std::string text = "\"\"\"Module " + num(index) + ".\"\"\"\n";
  const std::string aliased = project_module(random);
  const std::string from_module = project_module(random);
  const std::string thing = "Thing" + num(random.below(kThings));
  const std::string deco = "deco" + num(random.below(kDecorators));
  text += "import " + aliased + " as m\n";
  text += "from " + from_module + " import " + thing + ", " + deco + "\n";
  if (random.one_in(2)) text += "import " + project_module(random) + "\n";
  if (random.one_in(3)) text += "import pkg" + num(random.below(kPackages)) + "\n";
  if (random.one_in(4)) text += "import os.path\nfrom typing import Any\n";
  text += "\n";
  text += "client = " + thing + "(name='c" + num(index) + "', model='m" + num(random.below(5)) + "')\n";
  text += "helper = m.Thing" + num(random.below(kThings)) + "(name='h" + num(index) + "')\n\n\n";

  text += random.one_in(2) ? "@m.deco" + num(random.below(kDecorators)) + "\n" : "@" + deco + "\n";
  text += "def handle_" + num(index) + "(request, retries=3):\n";
  text += "    result = m.call" + num(random.below(kFunctions)) + "(request, retries=retries)\n";
  text += "    if result.method" + num(random.below(kMethods)) + "():\n";
  text += "        return client.method" + num(random.below(kMethods)) + "(result)\n";
  text += "    return helper.method" + num(random.below(kMethods)) + "(request).method" +
          num(random.below(kMethods)) + "()\n\n\n";

  text += "@" + deco + "(name='svc" + num(index) + "')\n";
  text += "class Service" + num(index) + ":\n";
  text += "    def run(self, items):\n";
  text += "        worker = m.Thing" + num(random.below(kThings)) + "(name='w', model='x')\n";
  text += "        for item in items:\n";
  text += "            self.queue.method" + num(random.below(kMethods)) + "(worker.method" +
          num(random.below(kMethods)) + "(item))\n";
  text += "        return " + thing + ".method" + num(random.below(kMethods)) + "(self)\n";
  return text;
}

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) {
    std::fprintf(stderr, "many_rules_bench: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// A dotted name that a rule compares: one in a few hundred names something of the project; the
// others name libraries the project never imports, ending now and then in a method name the
// project calls, as real class names often end in a word that is also a method somewhere.
std::string rule_target(Random& random, std::string_view what, unsigned count) {
  if (random.one_in(300)) return project_module(random) + "." + std::string(what) + num(random.below(count));
  std::string name = "lib" + num(random.below(5000)) + ".mod" + num(random.below(50));
  if (random.one_in(8)) return name + ".method" + num(random.below(kMethods));
  return name + "." + std::string(what) + num(random.below(count * 10));
}

std::string import_target(Random& random) {
  if (random.one_in(400)) return random.one_in(2) ? "pkg" + num(random.below(kPackages)) : project_module(random);
  return "lib" + num(random.below(5000)) + (random.one_in(2) ? ".mod" + num(random.below(50)) : "");
}

std::string weight(Random& random) {
  const unsigned thousandths = 1 + random.below(60);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%03u", thousandths / 1000, thousandths % 1000);
  return text;
}

const char* const kTargets[] = {"", "function", "class"};

// One idiom rule, class-instantiation or decorator, with captures where the category shows them.
std::string idiom_rule(Random& random, std::string_view category) {
  std::string text;
  if (category == "llm_call" || category == "tool_call") {
    if (random.one_in(2)) return "    - kind: function_call\n      name: " + rule_target(random, "call", kFunctions) + "\n";
  }
  if (random.one_in(3)) {
    text = "    - kind: decorator\n      name: " + rule_target(random, "deco", kDecorators) + "\n";
    const char* target = kTargets[random.below(3)];
    if (*target != '\0') text += std::string("      target: ") + target + "\n";
    return text;
  }
  text = "    - kind: class_instantiation\n      class: " + rule_target(random, "Thing", kThings) + "\n";
  if (category == "llm_client") {
    text += "      capture:\n        provider: acme\n        model: \"{kwarg('model')}\"\n";
  } else if (random.one_in(2)) {
    text += "      capture:\n        name: \"{kwarg('name')}\"\n";
  }
  return text;
}

// A pack of `rules` rules: a quarter import rules, a quarter symbol rules, the rest idioms spread
// over categories that give entries, call categories and one that gives nothing. Some ids repeat,
// so that packs of one id pool their evidence.
std::string framework_pack(Random& random, unsigned index, unsigned rules) {
  const unsigned id = index % 90;
  std::string text = "schema_version: \"0.2.0\"\nkind: framework\nid: fw" + num(id) + "\ndisplay_name: Framework " +
                     num(id) + "\n\ndetect:\n  imports:\n";
  for (unsigned i = 0; i < rules / 4; ++i)
    text += "    - module: " + import_target(random) + "\n      weight: " + weight(random) + "\n";
  text += "  symbol_patterns:\n";
  for (unsigned i = 0; i < rules / 4; ++i) {
    if (random.one_in(3)) {
      text += "    - kind: decorator\n      name: " + rule_target(random, "deco", kDecorators) + "\n";
    } else {
      text += "    - kind: class_instantiation\n      class: " + rule_target(random, "Thing", kThings) + "\n";
    }
    text += "      weight: " + weight(random) + "\n";
  }
  static const char* const kCategories[] = {"agent", "llm_call", "llm_client", "notes", "orchestrator", "tool",
                                            "tool_call"};
  constexpr unsigned kCategoryCount = sizeof kCategories / sizeof kCategories[0];
  const unsigned idioms = rules - 2 * (rules / 4);
  text += "\nidioms:\n";
  for (unsigned c = 0; c < kCategoryCount; ++c) {
    text += std::string("  ") + kCategories[c] + ":\n";
    const unsigned count = idioms / kCategoryCount + (c < idioms % kCategoryCount ? 1 : 0);
    for (unsigned i = 0; i < count; ++i) text += idiom_rule(random, kCategories[c]);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = 1;
  unsigned files = 50'000;
  unsigned rules = 100'000;
  const char* dir = nullptr;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--seed") == 0 && has_value) {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--files") == 0 && has_value) {
      files = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (std::strcmp(argv[i], "--rules") == 0 && has_value) {
      rules = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (dir == nullptr) {
      dir = argv[i];
    } else {
      dir = nullptr;
      break;
    }
  }
  if (dir == nullptr) {
    std::fprintf(stderr, "usage: many_rules_bench [--seed N] [--files N] [--rules N] DIR\n");
    return 2;
  }
  const fs::path root(dir);
  constexpr unsigned kRulesPerPack = 1000;
  constexpr unsigned kFilesPerFolder = 100;
  fs::create_directories(root / "packs" / "frameworks");
  fs::create_directories(root / "packs" / "patterns");
  Random random(seed);
  for (unsigned pack = 0; pack * kRulesPerPack < rules; ++pack) {
    const unsigned count = std::min(kRulesPerPack, rules - pack * kRulesPerPack);
    write_file(root / "packs" / "frameworks" / ("fw" + num(pack) + ".yaml"), framework_pack(random, pack, count));
  }
  for (unsigned file = 0; file < files; ++file) {
    const fs::path folder = root / "project" / ("part" + num(file / kFilesPerFolder));
    if (file % kFilesPerFolder == 0) fs::create_directories(folder);
    write_file(folder / ("module" + num(file) + ".py"), source_file(random, file));
  }
  std::printf("many_rules_bench: %u files under %s, %u rules under %s\n", files, (root / "project").c_str(), rules,
              (root / "packs" / "frameworks").c_str());
  return 0;
}
