#pragma once
#include <string>

// Each binary (the program, libTamsor.so) carries its file version as a text in an ELF section
// of its own, stamped at build time with QUORVEX_VERSION_STAMP("a.b.c.d"); ReadModuleVersion
// reads it back from the file, as the original read a module's version resource.
#define QUORVEX_VERSION_STAMP(text)                                                                \
    extern "C" __attribute__((used, section(".qv_version"), visibility("hidden")))                 \
    const char quorvex_version_stamp[] = text

namespace plat {

// The version text stamped into the ELF file at path; false when the file cannot be read or
// has no stamp (out is left empty then).
bool ReadModuleVersion(const std::string& path, std::string* out);

// The path of the running executable.
std::string ExecutablePath();

} // namespace plat
