# Entry points: `make demo` runs the main job, `make check` builds everything and runs every
# check and test (layers and formatting; native; the threaded ones again under
# ThreadSanitizer; Windows under Wine; the release files; the tests over a real USB bus). `make fuzz` and `make bench` run fuzzers and benchmarks; `make fuzz-long`
# fuzzes every target for 10 minutes and keeps what it finds in fuzz/corpus; `make dist` writes
# the release files into dist/, and `make install PREFIX=...` installs the command-line tool as
# the .deb does.

NATIVE := build/native
WINDOWS := build/windows
FUZZ := build/fuzz
TSAN := build/tsan
FUZZ_SECONDS ?= 60
FUZZ_LONG_SECONDS ?= 600
FUZZ_JOBS ?= 2
PREFIX ?= /usr/local
# The one version, from project(VERSION) in CMakeLists.txt.
VERSION := $(shell awk '/^project.Kivrel VERSION / {print $$3}' CMakeLists.txt)
RELEASE := dist/kivrel_$(VERSION)_amd64.deb dist/Kivrel-$(VERSION)-win64.zip \
           dist/Kivrel-$(VERSION)-setup.exe

# Wine runs quietly in a prefix of its own inside the build tree.
export WINEDEBUG := -all
export WINEPREFIX := $(CURDIR)/build/wine
export WINEDLLOVERRIDES := mscoree,mshtml=

.PHONY: all bootstrap native windows window wine-prefix check layers test-native test-tsan \
        test-windows test-usb test-deb format dist install demo fuzz fuzz-long bench clean

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

# The tests of threaded code (downloader, device link and simulated unit, update run, main
# window model) again, built with ThreadSanitizer in a tree of their own.
test-tsan: bootstrap
	@test -f $(TSAN)/build.ninja || cmake --preset tsan
	@cmake --build --preset tsan
	@ctest --preset tsan -j2

test-windows: windows wine-prefix
	@xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows

# Over a real USB bus: the simulated unit on a USB HID gadget in a throw-away VM (scripts/usb-vm),
# driven by `kivrel` through hidraw and by the Windows programs through Wine's HID bus.
test-usb: native windows wine-prefix
	@tests/usb/run_vm_tests.sh

# Folders are layers: nothing includes from a folder above its own.
layers:
	@scripts/check-layers

# Every C++ file as clang-format writes it.
format:
	@scripts/check-format

# The .deb on this machine (as root; it skips otherwise), and `make install` against it.
test-deb: dist
	@tests/packaging/deb_test.sh dist/kivrel_$(VERSION)_amd64.deb $(NATIVE)

# Everything above but fuzz and bench, each test run beside the next build (scripts/check).
check:
	@scripts/check

# The Windows tree builds the zip and the installer; CPack packs the .deb from the native tree.
dist: native windows
	@rm -rf dist && mkdir -p dist
	@cd $(NATIVE) && cpack --config CPackConfig.cmake >/dev/null
	@cp $(NATIVE)/dist/kivrel_$(VERSION)_amd64.deb $(WINDOWS)/dist/Kivrel-$(VERSION)-win64.zip \
	    $(WINDOWS)/dist/Kivrel-$(VERSION)-setup.exe dist/
	@ls -l $(RELEASE)

# The files of the .deb below PREFIX (DESTDIR for a staged install).
install: native
	@DESTDIR=$(DESTDIR) cmake --install $(NATIVE) --prefix $(PREFIX) --strip
	@echo "udev reads rules from /etc/udev/rules.d, /usr/local/lib/udev/rules.d and" \
	  "/usr/lib/udev/rules.d; with another prefix, copy $(PREFIX)/lib/udev/rules.d/70-kivrel.rules" \
	  "to /etc/udev/rules.d. Then: udevadm control --reload-rules &&" \
	  "udevadm trigger --subsystem-match=hidraw"

demo: native
	@scripts/demo

# Kivrel.exe under Wine on this display, against a simulated unit and the sample file.
window: native windows wine-prefix
	@scripts/run-window

fuzz: bootstrap
	@test -f $(FUZZ)/build.ninja || cmake --preset fuzz
	@cmake --build --preset fuzz
	@scripts/run-fuzzers $(FUZZ) $(FUZZ_SECONDS)

# Every target for FUZZ_LONG_SECONDS, FUZZ_JOBS at a time; the new inputs that add coverage
# and every input that found a fault are merged into fuzz/corpus/NAME (commit them).
fuzz-long: bootstrap
	@test -f $(FUZZ)/build.ninja || cmake --preset fuzz
	@cmake --build --preset fuzz
	@scripts/run-fuzzers $(FUZZ) $(FUZZ_LONG_SECONDS) --keep --jobs $(FUZZ_JOBS)

bench: native windows wine-prefix
	@cmake --build --preset native --target benchmarks
	@scripts/run-benchmarks $(NATIVE)

clean:
	rm -rf build dist
