#!/bin/sh
# Runs the black-box nvram tests with every nvram run under valgrind's
# memcheck: any invalid access or lost block fails the test that caused it.
# Singletons that are never destroyed stay reachable and are not errors.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh valgrind
cmake --preset host >/dev/null
cmake --build --preset host -j"$(nproc)" --target nvram nvram_test mmb-sim
wrappers="$PWD/build/host/memcheck-bin"
mkdir -p "$wrappers"
cat > "$wrappers/nvram" <<WRAPPER
#!/bin/sh
exec valgrind -q --error-exitcode=97 --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect "$PWD/build/host/bin/nvram" "\$@"
WRAPPER
chmod +x "$wrappers/nvram"
MMBSIM_WRAPPERS="$wrappers" build/host/bin/nvram_test \
  --gtest_filter='NvramOptions.*:NvramState.*:NvramDevices.*:BootCause.*'
