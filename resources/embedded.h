// The files the program carries inside itself (style sheet, outline script, bullet image,
// window images), generated at build time from this folder.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace lorva::resources {

// The bytes of the embedded file whose upper-cased name is `name` ("STYLE.CSS"), or nothing.
std::optional<std::span<const std::uint8_t>> Find(std::string_view name);

}  // namespace lorva::resources
