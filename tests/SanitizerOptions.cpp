// The sanitizer settings every test binary starts with, also when it is run by hand; the environment
// (ASAN_OPTIONS, LSAN_OPTIONS, UBSAN_OPTIONS) still overrides them. Leaks are reported, except those of
// the system libraries listed with their owners in tests/lsan.supp.

#define CORVANE_SANITIZER_HOOK extern "C" __attribute__((visibility("default"), used)) const char*

// intercept_tls_get_addr=0: the leak scan at exit would otherwise also scan the dynamic TLS blocks that it
// tracks through __tls_get_addr, and it takes the bounds of a block on the heap whose address ends in 0x010 from
// a header that this glibc no longer writes; it then reads the allocator's chunk header as a range near address
// 0 and the scan crashes ("Tracer caught signal 11") after every test has passed, in about one process of a few
// hundred. The blocks it can bound (those in static TLS) lie in the thread's TLS range, which is scanned anyway.
CORVANE_SANITIZER_HOOK __asan_default_options()
{
    return "detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0";
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
