# Sourced by test.sh (and by developers running single tests by hand): the
# environment every test runs in. Headless SDL, sanitizer options, and the
# preload that lets LeakSanitizer suppress Mesa's own leaks by module.
_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
_asan_lib=$(g++ -print-file-name=libasan.so)
_swrast=$(dpkg -L libgl1-mesa-dri 2>/dev/null | grep -E '/swrast_dri\.so$' | head -n 1 || true)
export VORBEL_TEST_PRELOAD="$_asan_lib${_swrast:+ $_swrast}"
export LSAN_OPTIONS="suppressions=$_root/tests/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
unset _root _asan_lib _swrast
# The LAN beacon of a hosting game stays on the loopback: no test broadcasts on the
# machine's network.
export VORBEL_BEACON_ADDRESS=127.255.255.255
