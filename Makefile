# Entry points: `make run` writes test.wav with the default signal, `make test` runs every test,
# `make gui` opens the dialog, `make windows` cross-builds the Windows programs, `make package`
# makes the release packages.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
WINDOWS_BUILD ?= build-windows
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup build run gui test test-linux test-sanitize windows test-windows package bench clean

all: build

setup:
	@./scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@./$(BUILD)/wobblegen-cli -o test.wav

gui: build
	@./$(BUILD)/ui/wobblegen

# The Linux tests, the same under the sanitizers, then the Windows programs under Wine.
test: test-linux test-sanitize
	@$(MAKE) --no-print-directory test-windows

test-linux: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: setup
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DWOBBLEGEN_SANITIZE=address,undefined \
		-DWOBBLEGEN_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

# wobblegen.exe and wobblegen-cli.exe, cross-built with mingw-w64 and linked statically.
windows: setup
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DWOBBLEGEN_BUILD_BENCHMARKS=OFF \
		-DWOBBLEGEN_LINUX_CLI=$(CURDIR)/$(BUILD)/wobblegen-cli >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# Under Wine; the command-line tool is compared with the Linux build's.
test-windows: windows
	@cd $(WINDOWS_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@./$(BUILD)/bench/wobblegen-bench

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(WINDOWS_BUILD)
