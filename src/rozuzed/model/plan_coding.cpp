#include "rozuzed/model/plan_coding.h"

namespace rozuzed {

void PlanCoding::date(JsonWriter& writer, Date value) {
  writer.number(value);
}

void PlanCoding::uuid(JsonWriter& writer, const Uuid& value) {
  const auto text = value.characters();
  writer.string(std::string_view(text.data(), text.size()));
}

void PlanCoding::url(JsonWriter& writer, const FileURL& value) {
  writer.fileURL(value);
}

}  // namespace rozuzed
