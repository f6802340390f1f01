#pragma once
#include <string>
#include <vector>

namespace plat {

// Starts GTK on X11 once per process; false when there is no display. GUI thread.
bool EnsureGtk();

// Keeps GTK's OpenGL off for this process, unless the user set GDK_GL already: windows are
// drawn with cairo only, and GTK's probe of OpenGL would map the whole (software) GL stack,
// about half of the program's resident memory. Call before GTK starts, while the process has
// one thread (it sets an environment variable).
void KeepGlOff();

// The environment the user started the program with, as "NAME=value" entries: this process's
// environment without what KeepGlOff set, for the programs it starts (a browser, a viewer, the
// installer), which draw as they are meant to. Any thread, once KeepGlOff has run.
std::vector<std::string> UserEnvironment();

} // namespace plat
