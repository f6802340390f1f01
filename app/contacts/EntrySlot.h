#pragma once
#include <string>
#include <string_view>

#include "platform/store/Registry.h"

// The entries of a contacts or call-history key: one sub-key per slot, named by the slot in two
// decimal digits, holding the number as its default value and the name as `name`.

// "00" to "99" for slots 0 to 99; "" for any other slot.
std::string SlotName(int slot);

// Reads entry `slot` of the key at `listPath`: its number (whole, then made valid and cut to
// the number field) and, when `name` is not null, its name (the same, to the name field).
// False when the entry does not exist or a wanted value cannot be read.
bool ReadEntry(plat::Registry& registry, std::string_view listPath, int slot, std::string* name,
               std::string* number);
