// The sanitizer settings every test binary starts with, also when it is run by hand; the environment
// (ASAN_OPTIONS, LSAN_OPTIONS, UBSAN_OPTIONS) still overrides them. Leaks are reported, except those of
// the system libraries listed with their owners in tests/lsan.supp.

#define CORVANE_SANITIZER_HOOK extern "C" __attribute__((visibility("default"), used)) const char*

CORVANE_SANITIZER_HOOK __asan_default_options()
{
    return "detect_leaks=1:abort_on_error=0";
}

CORVANE_SANITIZER_HOOK __lsan_default_options()
{
    return "suppressions=" CORVANE_SOURCE_DIR "/tests/lsan.supp:print_suppressions=0";
}

CORVANE_SANITIZER_HOOK __ubsan_default_options()
{
    return "print_stacktrace=1";
}

// Libraries loaded at run time (the GL driver, Qt's platform plugins) stay loaded until the process ends:
// a leak report made at exit can only name a library that is still mapped, and tests/lsan.supp names
// the libraries whose leaks are known.
extern "C" __attribute__((visibility("default"), used)) int dlclose(void*)
{
    return 0;
}
