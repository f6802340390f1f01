// GTK, fontconfig, pango and D-Bus keep process-lifetime allocations that the leak checker of
// sanitizer builds would report; they are not ours. Linked into every test of the window
// layer and the toolkit (with -rdynamic, so the sanitizer runtime finds the function).
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n"
           "leak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\n"
           "leak:libgio-2.0.so\n"
           "leak:libgtk-3.so\n"
           "leak:libgdk-3.so\n"
           "leak:libpango\n"
           "leak:libcairo.so\n"
           "leak:libX11.so\n";
}
