// The settings store (modRegistryEntry): named text values in the current user's registry hive,
// grouped by application and section, below Software\Tessaly\<application>\<section>. The
// application is "Outlook Lorva".
//
// Values are REG_SZ text. The text is kept as UTF-8 bytes, and lengths are counted in bytes on
// both sides, so any text comes back exactly as it was stored.
//
// Failures throw lorva::Error with the numbers and descriptions below.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry/hive.h"

namespace lorva {

namespace registry_error {
inline constexpr std::int32_t kBase = static_cast<std::int32_t>(0x80040000u);
inline constexpr std::int32_t kEmptySection = kBase + 1001;  // "Section may not be empty"
inline constexpr std::int32_t kEmptyKey = kBase + 1002;      // "Key may not be empty"
inline constexpr std::int32_t kSystem = kBase + 2000;        // + the system's result code or type
}  // namespace registry_error

// The application name the store files its sections under.
inline constexpr const char* kRegistryApplication = "Outlook Lorva";

// Stores `text` as the value `name` of `section`, creating the key when missing and replacing an
// earlier value. Leading and trailing blanks of the section are dropped; `name` is used as it is.
// Throws Error kEmptySection / kEmptyKey when the section / name is blank, kSystem + code with
// "Could not open/create registry section" or "Could not set key value" when the hive refuses.
void subSaveSetting(platform::RegistryHive& hive, const std::string& section,
                    const std::string& name, const std::string& text);

// The text stored as `name` of `section`, or `defaultText` when the key or the value does not
// exist. Creates nothing. Throws Error kEmptySection / kEmptyKey for a blank section / name,
// kSystem + code with "Could not open registry section" when the key exists but cannot be opened,
// and kSystem + type with "Registry data not a string" for a value of another type than REG_SZ.
std::string fncGetSetting(platform::RegistryHive& hive, const std::string& section,
                          const std::string& name, const std::string& defaultText);

}  // namespace lorva
