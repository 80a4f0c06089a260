// Points in time are seconds since 1970-01-01 00:00:00 UTC as a double, in
// memory, in JSON and in the database alike.
#pragma once

namespace rozuzed {

using Date = double;

// The earliest representable date (1 January of the year 1), used where the
// system reports no date.
inline constexpr Date kDistantPast = -62135769600.0;

Date currentDate();

}  // namespace rozuzed
