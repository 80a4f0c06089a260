// The JSON coding of saved plans and of the applied-plan snapshots of runs,
// and of nothing else.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "rozuzed/support/dates.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/json.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// A value JSON cannot hold (a number that is not finite, text that is not
// UTF-8).
class JsonEncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Compact text whose keys come in the order each value writes them; dates
// are seconds since 1970 with their fraction, written so they read back to
// the identical double; UUIDs upper-case; URLs their absolute file URL text;
// absent optionals are left out with their key; empty lists are []. A coded
// value has `Json toJson() const` and `static T fromJson(const Json&)`, whose
// readers (support/json.h) take keys by name in any order and ignore others.
// Stateless: nothing is shared between two uses.
struct PlanCoding {
  PlanCoding() = delete;

  // Throws JsonEncodingError.
  template <class Value>
  static std::string encode(const Value& value) {
    return text(value.toJson());
  }

  // Throws JsonDecodingError for text that is not JSON or a value of
  // another form under a key; whatever else `fromJson` throws passes
  // unchanged.
  template <class Value>
  static Value decode(std::string_view text) {
    return Value::fromJson(parseJson(text));
  }

  // The coded form of one value. `date` and `number` throw JsonEncodingError
  // for a value that is not finite.
  static Json date(Date value);
  static Json number(double value);
  static Json uuid(const Uuid& value) { return value.text(); }
  static Json url(const FileURL& value) { return value.absoluteString(); }

  // Compact text of a document. Throws JsonEncodingError.
  static std::string text(const Json& document);
};

}  // namespace rozuzed
