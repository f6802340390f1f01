#pragma once

namespace plat {

// Starts GTK on X11 once per process; false when there is no display. GUI thread.
bool EnsureGtk();

// Keeps GTK's OpenGL off for this process, unless the user set GDK_GL already: windows are
// drawn with cairo only, and GTK's probe of OpenGL would map the whole (software) GL stack,
// about half of the program's resident memory. Call before GTK starts, while the process has
// one thread (it sets an environment variable).
void KeepGlOff();

} // namespace plat
