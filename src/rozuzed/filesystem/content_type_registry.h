// Uniform type identifiers for this system: each known identifier with its
// parents, and the identifier of each known file-name extension.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace rozuzed {

class ContentTypeRegistry {
 public:
  // Built once on first use, immutable afterwards, safe from any thread.
  static const ContentTypeRegistry& shared();

  bool isKnown(const std::string& identifier) const;

  // Reflexive and transitive over the parents; false when either identifier
  // is unknown (a known identifier conforms to itself).
  bool conforms(const std::string& identifier, const std::string& to) const;

  // The identifier for a lower-case extension without its dot; absent when
  // the extension is unknown.
  std::optional<std::string> identifierForExtension(const std::string& extension) const;

  // A number for each known identifier, fixed for the life of the process;
  // absent for an unknown one. For callers that test the same few types over
  // and over: conformance of numbers is a table lookup.
  std::optional<std::size_t> number(const std::string& identifier) const;
  // conforms() of two identifiers given by their numbers.
  bool conforms(std::size_t identifier, std::size_t to) const {
    return conformanceTable_[identifier * numbers_.size() + to];
  }

  ContentTypeRegistry(const ContentTypeRegistry&) = delete;
  ContentTypeRegistry& operator=(const ContentTypeRegistry&) = delete;

 private:
  ContentTypeRegistry();

  std::unordered_map<std::string, std::vector<std::string>> parents_;
  // Each identifier with itself and every ancestor, worked out once so that
  // matching a file costs a lookup, not a walk.
  std::unordered_map<std::string, std::unordered_set<std::string>> conformances_;
  std::unordered_map<std::string, std::string> identifierByExtension_;
  std::unordered_map<std::string, std::size_t> numbers_;
  // Row `identifier`, column `to`.
  std::vector<bool> conformanceTable_;
};

}  // namespace rozuzed
