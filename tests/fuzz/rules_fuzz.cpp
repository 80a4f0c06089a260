// Feeds arbitrary bytes to the rule-file loader, then builds an engine from
// whatever loads and matches a few files with it. Every failure must be a
// SortError; anything else (another exception, a crash, a sanitizer report)
// is a fault.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/rules/rule_engine.h"
#include "rozuzed/rules/rule_set_loader.h"

namespace {

using namespace rozuzed;

class FixedClock final : public DateProvider {
 public:
  Date now() const override { return 1'700'000'000; }
};

const std::vector<FileMetadata>& files() {
  static const std::vector<FileMetadata> list = [] {
    std::vector<FileMetadata> out;
    out.emplace_back(FileURL::fromPath("/f/photo.JPG"),
                     FileMetadataFields{.size = 2'000'000,
                                        .modificationDate = 1'690'000'000,
                                        .contentTypeIdentifier = "public.jpeg",
                                        .whereFroms = {"https://cdn.example.com/p.jpg"}});
    out.emplace_back(FileURL::fromPath("/f/setup.deb"),
                     FileMetadataFields{.size = 1024,
                                        .modificationDate = 1'700'000'000,
                                        .contentTypeIdentifier = "org.debian.deb-archive",
                                        .whereFroms = {"example.com/x", "//[::1]:8/a?b#c",
                                                       "http://u@h%41st.org"}});
    out.emplace_back(FileURL::fromPath("/f/Makefile"), FileMetadataFields{});
    return out;
  }();
  return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    LoadedRuleSet loaded = RuleSetLoader::load(bytes, std::nullopt);
    RuleEngine engine(loaded, std::make_shared<FixedClock>());
    for (const FileMetadata& file : files()) engine.match(file);
    engine.allDestinations();
  } catch (const SortError&) {
  }
  return 0;
}
