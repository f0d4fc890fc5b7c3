// Sanitizer defaults for every fuzz target, so that a target run by hand behaves as in run.sh.
//
// AddressSanitizer holds freed memory back in a quarantine of 256 MB by default, which alone
// would reach the 256 MB memory limit the targets run under; a smaller one still catches a use
// after free of anything freed recently, which is what a single input can do.

extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=16:detect_leaks=1:allocator_may_return_null=0";
}

extern "C" const char* __ubsan_default_options() {
  return "print_stacktrace=1:halt_on_error=1";
}
