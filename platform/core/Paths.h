#pragma once
#include <string>

namespace plat {

// Where the program finds and keeps its files.
//   program dir: beside the executable (read-only: libTamsor.so, sounds/, Skins/, ...)
//   config dir:  $XDG_CONFIG_HOME/quorvex (registry, ini files)
//   data dir:    $XDG_DATA_HOME/quorvex (trace.txt, installed skins, downloads)
// QUORVEX_HOME=<dir> puts config in <dir>/config and data in <dir>/data.
// The config and data dirs are created (mode 0700) when first asked for.
std::string ProgramDir();
std::string ConfigDir();
std::string DataDir();

// Joins a directory and a name with one '/'.
std::string JoinPath(const std::string& dir, const std::string& name);

// Creates a directory and its parents; true when it exists afterwards.
bool MakeDirs(const std::string& dir, unsigned mode = 0700);

} // namespace plat
