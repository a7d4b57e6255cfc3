# Entry points: `make demo` runs the main job, `make check` builds everything and runs every
# test (native, then Windows under Wine). `make fuzz` and `make bench` run fuzzers and
# benchmarks.

NATIVE := build/native
WINDOWS := build/windows
FUZZ := build/fuzz
FUZZ_SECONDS ?= 60

# Wine runs quietly in a prefix of its own inside the build tree.
export WINEDEBUG := -all
export WINEPREFIX := $(CURDIR)/build/wine
export WINEDLLOVERRIDES := mscoree,mshtml=

.PHONY: all bootstrap native windows wine-prefix check layers test-native test-windows demo fuzz bench clean

all: native windows

bootstrap:
	@scripts/bootstrap

native: bootstrap
	@test -f $(NATIVE)/build.ninja || cmake --preset native
	@cmake --build --preset native

windows: bootstrap
	@test -f $(WINDOWS)/build.ninja || cmake --preset windows
	@cmake --build --preset windows

# Initialised once; later runs reuse it.
wine-prefix: bootstrap
	@test -f $(WINEPREFIX)/system.reg || { mkdir -p $(WINEPREFIX) && \
	  xvfb-run -a wineboot -i >/dev/null 2>&1; wineserver -w; }

test-native: native
	@ctest --preset native -j2

test-windows: windows wine-prefix
	@xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows

# Folders are layers: nothing includes from a folder above its own.
layers:
	@scripts/check-layers

check: layers test-native test-windows

demo: native
	@scripts/demo

fuzz: bootstrap
	@test -f $(FUZZ)/build.ninja || cmake --preset fuzz
	@cmake --build --preset fuzz
	@scripts/run-fuzzers $(FUZZ) $(FUZZ_SECONDS)

bench: native windows wine-prefix
	@scripts/run-benchmarks $(NATIVE)

clean:
	rm -rf build
