#pragma once

// Whether a stored contact (a subkey of Software\Quorvex\Contacts in the current user's hive)
// already has `name` as its `name` value, compared without regard to ASCII case. Reads only:
// a missing contacts key means no contacts and is not created. GUI thread.
bool ContactExists(const char* name);
