#pragma once

namespace plat {

// Starts GTK on X11 once per process; false when there is no display. GUI thread.
bool EnsureGtk();

} // namespace plat
