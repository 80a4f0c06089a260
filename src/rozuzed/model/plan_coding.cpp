#include "rozuzed/model/plan_coding.h"

#include <cmath>

namespace rozuzed {

Json PlanCoding::date(Date value) {
  return number(value);
}

Json PlanCoding::number(double value) {
  // The writer would turn these into null, which reads back as nothing.
  if (!std::isfinite(value)) throw JsonEncodingError("a number that is not finite");
  return value;
}

std::string PlanCoding::text(const Json& document) {
  try {
    return dumpJson(document);
  } catch (const Json::exception& error) {
    throw JsonEncodingError(error.what());
  }
}

}  // namespace rozuzed
