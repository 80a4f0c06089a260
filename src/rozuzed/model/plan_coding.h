// The JSON coding of saved plans and of the applied-plan snapshots of runs,
// and of nothing else.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rozuzed/support/json.h"
#include "rozuzed/support/parallel.h"

namespace rozuzed {

// Compact text whose keys come in the order each value writes them; dates
// are seconds since 1970 with their fraction, written so they read back to
// the identical double; UUIDs upper-case; URLs their absolute file URL text;
// absent optionals are left out with their key; empty lists are []. A coded
// value has `void write(JsonWriter&) const` and either `static T
// read(const JsonInput&)`, which reads a whole document without holding it,
// or `static T fromJson(const Json&)`, whose readers (support/json.h) take
// keys by name in any order and ignore others. Text is written and read a
// piece at a time, so a plan of any size is never held as a tree or, when a
// sink or source is given, as text. Stateless: nothing is shared between
// two uses.
struct PlanCoding {
  PlanCoding() = delete;

  // Throws JsonEncodingError.
  template <class Value>
  static std::string encode(const Value& value) {
    std::string text;
    encode(value, [&text](std::string_view piece) { text += piece; });
    return text;
  }

  // Hands the text to `sink` in pieces. Throws JsonEncodingError, having
  // handed on part of the text perhaps.
  template <class Value>
  static void encode(const Value& value, const JsonWriter::Sink& sink) {
    JsonWriter writer(sink);
    value.write(writer);
    writer.finish();
  }

  // Writes each of `values` into the array `writer` has just begun, as one
  // `write` after another would. A long list is coded a run of values at a
  // time on several threads, the runs reaching `writer` in order. Throws
  // what the first value that cannot be written throws, the values before
  // it written.
  template <class Value>
  static void elements(JsonWriter& writer, const std::vector<Value>& values) {
    // Short runs: each thread's text waits whole until taken, and longer
    // texts leave larger blocks behind in every coding thread's heap, which
    // a whole folder's apply feels at its peak.
    constexpr std::size_t kRun = 64;
    constexpr std::size_t kValuesPerThread = 1024;
    const std::size_t threads = threadsFor(values.size(), kValuesPerThread);
    if (threads <= 1) {
      for (const Value& value : values) value.write(writer);
      return;
    }
    makeInRuns<std::string>(
        values.size(), kRun, threads,
        [&values](std::size_t begin, std::size_t end, std::size_t) {
          std::string text;
          JsonWriter runWriter([&text](std::string_view piece) { text += piece; });
          runWriter.beginArray();
          for (std::size_t i = begin; i < end; ++i) values[i].write(runWriter);
          runWriter.endArray();
          runWriter.finish();
          return text;
        },
        [&writer](std::string&& text) {
          // The run's elements, without the brackets of its array.
          writer.coded(std::string_view(text).substr(1, text.size() - 2));
        });
  }

  // Throws JsonDecodingError for text that is not JSON or a value of
  // another form under a key; whatever else the value's reader throws
  // passes unchanged.
  template <class Value>
  static Value decode(const JsonInput& input) {
    if constexpr (requires { Value::read(input); }) {
      return Value::read(input);
    } else {
      return Value::fromJson(parseJson(input));
    }
  }

  // The elements of one list of a document read a piece at a time, read as
  // they arrive. The first element that does not read is kept, to be
  // thrown by `check()` once the keys that judge the whole document (its
  // version above all) have been read; the elements after it are not read.
  template <class Value>
  class StreamedList {
   public:
    explicit StreamedList(std::vector<Value>& values) : values_(values) {}

    void begin() {
      values_.clear();
      failure_.reset();
    }
    void take(const Json& element) {
      if (failure_) return;
      try {
        values_.push_back(Value::fromJson(element));
      } catch (const JsonDecodingError& error) {
        failure_ = error;
      }
    }
    void check() const {
      if (failure_) throw *failure_;
    }

   private:
    std::vector<Value>& values_;
    std::optional<JsonDecodingError> failure_;
  };

  // The coded forms of the values that have no writer of their own.
  static void date(JsonWriter& writer, Date value);
  static void uuid(JsonWriter& writer, const Uuid& value);
  static void url(JsonWriter& writer, const FileURL& value);
};

}  // namespace rozuzed
