# Sourced by the scripts that run the sanitizer build: the options its programs run with.
# The browser engine's own code trips the sized-delete check and keeps singletons to the end
# of the process; the suppressions name only the system's libraries.
export ASAN_OPTIONS="new_delete_type_mismatch=0:detect_stack_use_after_return=0"
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
