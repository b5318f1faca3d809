# Quick start: `make demo` and `make test`. Each target installs what it needs first.
BUILD      ?= build
GENERATOR  ?= Ninja
CMAKE_ARGS ?=

ifeq ($(SANITIZE),1)
  BUILD      := build-asan
  CMAKE_ARGS += -DKORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
                -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
else
  CMAKE_ARGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo
endif

.PHONY: all deps configure build test demo package soak bench fuzz fuzz-replay windows valgrind format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G $(GENERATOR) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 120 -j2

# The demo needs only the programs, not the tests.
DEMO_TARGETS ?= korvane-board korvane korvane-cli

demo: configure
	@cmake --build $(BUILD) --target $(DEMO_TARGETS)
	@scripts/demo.sh $(BUILD)

# The .deb needs only the programs and the files beside them; cpack installs them into its own tree.
PACKAGE_TARGETS ?= korvane korvane-cli korvane-board korvane-share

package: configure
	@cmake --build $(BUILD) --target $(PACKAGE_TARGETS)
	@cd $(BUILD) && cpack -G DEB
	@scripts/check-package.sh $(BUILD)/korvane_*.deb

# Benchmarks: every performance figure against its reference (bench/run.py; QUICK=1: one short run
# of each, as CI does). Always an optimised build, never the sanitizer one.
BENCH_TARGETS ?= korvane korvane-board korvane-cli bench_port bench_bulk bench_bulk_sp bench_alloc bench_app \
                 bench_qt_dialog bench_wire_client

bench: BUILD := build
bench: CMAKE_ARGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
bench:
	@scripts/install-deps.sh --bench
	@cmake -S . -B $(BUILD) -G $(GENERATOR) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) --target $(BENCH_TARGETS)
	@/usr/bin/python3 bench/run.py --build $(BUILD) $(if $(filter 1,$(QUICK)),--quick)

# Long runs that are not part of the suite: 10 000 poll ticks, 1 000 connection attempts and 1 000
# killed profile writers, with descriptors and memory printed along the way.
soak: configure
	@cmake --build $(BUILD) --target korvane-soak
	@$(BUILD)/bin/korvane-soak

# The fuzz targets as libFuzzer programs (Clang, both sanitizers) in build-fuzz/bin; a run, e.g.
#   build-fuzz/bin/fuzz_profile -max_total_time=600 /tmp/new-inputs fuzz/corpus/profile
# `make test` replays every seed corpus; fuzz-replay does it with the libFuzzer programs.
FUZZ_BUILD ?= build-fuzz

fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -G $(GENERATOR) -DKORVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	       -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
	@cmake --build $(FUZZ_BUILD) --target fuzz-targets

fuzz-replay: fuzz
	@cd $(FUZZ_BUILD) && ctest --output-on-failure -R '^fuzz\.'

# Windows: cross-built with mingw-w64 into build-windows/, tested under Wine against the board
# emulator of the Linux build ($(BUILD)/bin/korvane-board).
WINDOWS_BUILD ?= build-windows
WINDOWS_CMAKE_ARGS = -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
                     -DKORVANE_BOARD=$(CURDIR)/$(BUILD)/bin/korvane-board

windows: configure
	@scripts/install-deps.sh windows
	@cmake --build $(BUILD) --target korvane-board
	@cmake -S . -B $(WINDOWS_BUILD) -G $(GENERATOR) $(WINDOWS_CMAKE_ARGS) >/dev/null
	@cmake --build $(WINDOWS_BUILD)
	@scripts/with-xvfb.sh scripts/windows-test.sh $(WINDOWS_BUILD)

# The library, CLI and program tests under Valgrind memcheck (not in CI; see scripts/valgrind.sh).
valgrind: build
	@scripts/valgrind.sh $(BUILD)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build build-asan build-fuzz build-windows
