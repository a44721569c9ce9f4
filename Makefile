# Set-up and everyday commands. Each installs what it needs first.
BUILD ?= build
JOBS ?= 2
FUZZ_SECONDS ?= 600
CMAKE_FLAGS ?=

.PHONY: all build test package demo fixtures fuzz bench tsan clean deps windows test-windows

all: build

deps:
	@scripts/install-deps.sh build
	@scripts/install-deps.sh gui

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -G "Unix Makefiles" $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

# The project's own runs treat warnings as errors; a plain build only shows them.
test: deps
	cmake -S . -B $(BUILD) -G "Unix Makefiles" -DDUDORAZU_TESTS=ON -DDUDORAZU_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The Debian package of both programs, made by CPack in the test build tree
# (so it reuses that build), then checked: lintian, desktop-file-validate,
# appstreamcli, and an install with apt into a clean Debian 12 root (made
# once by debootstrap into $(BUILD)/clean-root; needs root and the Debian
# archive) where the installed programs open the sample image.
package: deps
	@scripts/install-deps.sh package
	cmake -S . -B $(BUILD) -G "Unix Makefiles" -DDUDORAZU_TESTS=ON -DDUDORAZU_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target package
	zstd -dqf tests/fixtures/sample-disk.img.zst -o $(BUILD)/package-sample.img
	packaging/test-package.sh $(BUILD)/dudorazu_*.deb $(BUILD)/package-sample.img $(BUILD)/clean-root \
	  $(BUILD)/bin/dudorazu-cli

# With a display ($$DISPLAY or $$WAYLAND_DISPLAY) starts the desktop program on
# the bundled sample image; without one runs the command-line demo and writes
# pictures of the main windows to ./screenshots/. Builds only what it runs, in
# the same tree and with the same compiler flags as `make test`, so a
# following `make test` compiles only the tests.
demo:
	@scripts/install-deps.sh demo
	@scripts/install-deps.sh gui
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -G "Unix Makefiles" -DDUDORAZU_TESTS=OFF \
	  -DDUDORAZU_WERROR=ON $(CMAKE_FLAGS)
	@if [ -n "$${DISPLAY:-}$${WAYLAND_DISPLAY:-}" ]; then \
	  cmake --build $(BUILD) -j$(JOBS) --target dudorazu; \
	else \
	  cmake --build $(BUILD) -j$(JOBS) --target dudorazu-cli dudorazu; \
	fi
	@scripts/demo.sh $(BUILD)/bin/dudorazu-cli $(BUILD)/bin/dudorazu

# Rebuilds the test images with real tools (needs root, loop devices, FUSE).
fixtures:
	@scripts/install-deps.sh fixtures
	tests/fixtures/build-fixtures.sh

fuzz:
	@scripts/install-deps.sh build
	@scripts/install-deps.sh fuzz
	scripts/run-fuzzers.sh $(FUZZ_SECONDS)

bench: build
	@scripts/install-deps.sh bench
	bench/run-all.sh $(BUILD)/bin/dudorazu-cli

# Every piece that runs work on more than one thread, under ThreadSanitizer:
# the batch save scheduler, the bounded reads of the drive catalogue, the
# imaging copy, the partition search, and the desktop program's operations
# (its window tests drive the job runner on Qt's offscreen platform).
TSAN_TARGETS = test_recovery test_tools test_device test_windows test_disk_tools
tsan: deps
	cmake -S . -B build-tsan -G "Unix Makefiles" -DDUDORAZU_SANITIZE=thread -DDUDORAZU_BENCH=OFF \
	  -DDUDORAZU_TESTS=ON $(CMAKE_FLAGS)
	cmake --build build-tsan -j$(JOBS) --target $(TSAN_TARGETS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan-qt.supp" ctest --output-on-failure \
	  -R 'Scheduler|Batch|SaveEngine|TheListIsReadWhileTheSearchAppends|DiskImaging|DriveCatalogue|BoundedIo|Gui\.(windows|disk_tools)'

# The command line and the core's tests as Windows programs, cross-built
# with mingw-w64 and linked statically; the tests run under Wine.
windows:
	@scripts/install-deps.sh windows
	cmake -S . -B build-windows -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DDUDORAZU_GUI=OFF -DDUDORAZU_BENCH=OFF -DDUDORAZU_TESTS=ON -DDUDORAZU_WERROR=ON
	cmake --build build-windows -j$(JOBS)

# One test program at a time: two Wine processes that start together on a
# fresh prefix race to create it. Wine takes the file-name charset from the
# locale; without a UTF-8 one (a fresh system or a CI runner has no LANG) it
# cannot make the tests' Chinese file names.
test-windows: windows
	cd build-windows && LC_ALL=C.UTF-8 ctest --output-on-failure -j1

clean:
	rm -rf $(BUILD) build-fuzz build-tsan build-release build-windows
