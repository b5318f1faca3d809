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

.PHONY: all deps configure build test demo soak bench format clean

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
DEMO_TARGETS ?= korvane-board

demo: configure
	@cmake --build $(BUILD) --target $(DEMO_TARGETS)
	@scripts/demo.sh $(BUILD)

# Benchmarks: every performance figure against its reference (bench/run.py; QUICK=1: one short run
# of each, as CI does). Always an optimised build, never the sanitizer one.
BENCH_TARGETS ?= korvane korvane-board bench_port bench_bulk bench_bulk_sp bench_alloc bench_app bench_qt_dialog

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

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build build-asan
