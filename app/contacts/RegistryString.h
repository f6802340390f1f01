#pragma once
#include <string>
#include <string_view>

#include "platform/store/Registry.h"

// String values of the contacts and the call history.

// Reads the string value `name` of `key` whole, up to its first NUL. False when the value is
// missing or is not a string.
bool ReadRegistryString(plat::Registry& registry, plat::Registry::Key key, std::string_view name,
                        std::string* text);

// Writes `text` as the string value `name` of `key`, its terminating NUL counted in the size.
long WriteRegistryString(plat::Registry& registry, plat::Registry::Key key, std::string_view name,
                         std::string_view text);
