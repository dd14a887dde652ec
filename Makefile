# Entry points: `make run` writes test.wav with the default signal, `make test` runs every test,
# `make gui` opens the dialog.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup build run gui test test-sanitize bench clean

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

test: build test-sanitize
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: setup
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DWOBBLEGEN_SANITIZE=address,undefined \
		-DWOBBLEGEN_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@./$(BUILD)/bench/wobblegen-bench

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
