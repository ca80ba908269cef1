# Stage of ./kavro.sh test: the Windows cross-build and its tests under Wine.
# The suite's own build/ already holds kavro-sim for this machine.
source "$ROOT/scripts/test-windows.sh" --host-build "$ROOT/build"
