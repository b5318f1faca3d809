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

.PHONY: all deps configure build test demo soak windows format clean

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

# Long runs that are not part of the suite: 10 000 poll ticks, 1 000 connection attempts and 1 000
# killed profile writers, with descriptors and memory printed along the way.
soak: configure
	@cmake --build $(BUILD) --target korvane-soak
	@$(BUILD)/bin/korvane-soak

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

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build build-asan build-windows
