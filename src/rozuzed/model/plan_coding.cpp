#include "rozuzed/model/plan_coding.h"

namespace rozuzed {

void PlanCoding::date(JsonWriter& writer, Date value) {
  writer.number(value);
}

void PlanCoding::uuid(JsonWriter& writer, const Uuid& value) {
  writer.string(value.text());
}

void PlanCoding::url(JsonWriter& writer, const FileURL& value) {
  writer.fileURL(value);
}

}  // namespace rozuzed
