// UUIDs, random from OpenSSL (version 4) or ordered by time (version 7),
// written upper-case, read in either case.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rozuzed {

struct Uuid {
  std::array<uint8_t, 16> bytes{};

  static Uuid random();
  // Version 7: the milliseconds since 1970 of the system clock, a counter and
  // 62 random bits. Each one this process makes sorts after the one before,
  // so rows keyed by them are added at the end of their index rather than
  // all over it.
  static Uuid timeOrdered();
  // 36 characters, hyphens at 8-4-4-4-12, hexadecimal digits in either case.
  static std::optional<Uuid> parse(const std::string& text);
  static constexpr std::size_t textLength = 36;
  // Upper-case hyphenated text.
  std::string text() const;
  // The same text, where no string need be made for it.
  std::array<char, textLength> characters() const;

  auto operator<=>(const Uuid&) const = default;
  bool operator==(const Uuid&) const = default;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::Uuid> {
  std::size_t operator()(const rozuzed::Uuid& id) const noexcept {
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(id.bytes.data()), id.bytes.size()));
  }
};
