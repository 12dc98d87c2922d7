// Linked into every executable of the sanitizer build. System libraries
// that Qt loads keep caches until exit that nobody can free (fontconfig's
// and D-Bus's); those are not leaks of this program.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
