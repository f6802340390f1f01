#pragma once
#include <string>

// Whether a name from the update server can be used as a file name in the download folder:
// letters, digits, '.', '_' and '-' only, not starting with '.', at most 255 bytes. Anything
// else (a path, "..", a hidden file) could write outside the folder or hide there.
bool IsPlainFileName(const std::string& name);
