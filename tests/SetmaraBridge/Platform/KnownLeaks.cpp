// Qt loads fontconfig's configuration once per process and never finishes fontconfig, which
// then keeps parts of that configuration unreachable. Only that library's leaks are known.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
