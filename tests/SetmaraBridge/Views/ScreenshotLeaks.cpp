// On X, Qt also asks the session bus about the desktop through libdbus, which keeps what it
// allocated for that once per process; with fontconfig's (see the platform tests), those are
// the libraries' leaks this program knows.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
