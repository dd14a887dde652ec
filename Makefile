# Entry points: `make run` writes test.wav with the default signal, `make test` runs every test,
# `make gui` opens the dialog, `make windows` cross-builds the Windows programs, `make package`
# makes the release packages, `make mutants` measures what faults the tests catch. Every
# configure here treats warnings as errors (CMake's default does not, for those who build the
# sources otherwise).
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
WINDOWS_BUILD ?= build-windows
WEB_ENGINE_BUILD ?= build-web-engine
WEB_SITE ?= build-web
RELEASE_BUILD ?= build-release
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

DIST ?= dist

.PHONY: all setup build run gui test test-linux test-sanitize windows test-windows package \
	test-package check-release check-fuzz bench mutants clean web web-serve \
	web-where-possible

all: build

setup:
	@./scripts/setup.sh

# $(BUILD) with or without the tests and benchmarks: `make run` and `make gui` build only the
# program they run, and configure without GoogleTest and Google Benchmark.
CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWOBBLEGEN_WERROR=ON
WITH_TESTS = -DWOBBLEGEN_BUILD_TESTS=ON -DWOBBLEGEN_BUILD_BENCHMARKS=ON
WITHOUT_TESTS = -DWOBBLEGEN_BUILD_TESTS=OFF -DWOBBLEGEN_BUILD_BENCHMARKS=OFF

build: setup
	@$(CONFIGURE) $(WITH_TESTS) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: setup
	@$(CONFIGURE) $(WITHOUT_TESTS) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target wobblegen-cli
	@./$(BUILD)/wobblegen-cli -o test.wav

gui: setup
	@$(CONFIGURE) $(WITHOUT_TESTS) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target wobblegen
	@./$(BUILD)/ui/wobblegen

# The Linux tests, the same under the sanitizers, the Windows programs under Wine, then the
# packages installed and run.
test: test-linux test-sanitize
	@$(MAKE) --no-print-directory test-windows
	@$(MAKE) --no-print-directory test-package

# The browser meter is built first where emscripten and Chromium are installed (scripts/setup.sh
# installs both), so that its tests in tests/web/ run in a real browser; elsewhere they are
# skipped.
test-linux: build web-where-possible
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

web-where-possible: build
	@if command -v emcc >/dev/null && command -v chromium >/dev/null; then \
		$(MAKE) --no-print-directory web; \
	else \
		echo "emcc or chromium not installed: the browser meter is not built or tested"; \
	fi

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: setup
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DWOBBLEGEN_SANITIZE=address,undefined \
		-DWOBBLEGEN_WERROR=ON -DWOBBLEGEN_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

# wobblegen.exe, wobblegen-cli.exe, wobblemeter.exe and wobblemeter-gui.exe, cross-built with
# mingw-w64 and linked statically. The meter's libraries come from scripts/windows-deps.sh
# (built once into a cache outside the checkout); the prefix a build tree was configured with is
# kept and reused by it.
windows: setup
	@deps=$$(sed -n 's/^WOBBLEGEN_WINDOWS_DEPS:PATH=//p' $(WINDOWS_BUILD)/CMakeCache.txt 2>/dev/null); \
	if [ -z "$$deps" ] || [ ! -f "$$deps/.complete" ]; then \
		deps=$$(JOBS=$(JOBS) ./scripts/windows-deps.sh) || exit 1; \
	fi; \
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DWOBBLEGEN_WERROR=ON -DWOBBLEGEN_BUILD_BENCHMARKS=OFF \
		-DWOBBLEGEN_WINDOWS_DEPS="$$deps" -DWOBBLEGEN_BUILD_METER=ON -DWOBBLEGEN_BUILD_METER_GUI=ON \
		-DWOBBLEGEN_LINUX_CLI=$(CURDIR)/$(BUILD)/wobblegen-cli \
		-DWOBBLEGEN_LINUX_METER=$(CURDIR)/$(BUILD)/meter/wobblemeter >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# Under Wine; the command-line tool is compared with the Linux build's.
test-windows: windows
	@cd $(WINDOWS_BUILD) && ctest --output-on-failure -j $(JOBS)

# wobblegen_VERSION_amd64.deb, wobblegen-VERSION-win64.zip and the installer
# wobblegen-VERSION-setup.exe (NSIS, packaging/wobblegen.nsi) in $(DIST)/.
package: build windows
	@cd $(BUILD) && cpack -G DEB -B $(CURDIR)/$(BUILD)/package >/dev/null
	@cd $(WINDOWS_BUILD) && cpack -G ZIP -B $(CURDIR)/$(WINDOWS_BUILD)/package >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target installer >/dev/null
	@mkdir -p $(DIST)
	@cp $(BUILD)/package/wobblegen_*_amd64.deb $(WINDOWS_BUILD)/package/wobblegen-*-win64.zip \
		$(WINDOWS_BUILD)/package/wobblegen-*-setup.exe $(DIST)/
	@ls -1 $(DIST)/wobblegen_*_amd64.deb $(DIST)/wobblegen-*-win64.zip $(DIST)/wobblegen-*-setup.exe

# Installs the Debian package with apt-get (as root), runs and removes it; checks the zip;
# installs, runs and uninstalls the Windows installer under Wine.
test-package: package
	@./tests/package/deb_test.sh $$(ls -t $(DIST)/wobblegen_*_amd64.deb | head -n 1)
	@./tests/package/zip_test.sh $$(ls -t $(DIST)/wobblegen-*-win64.zip | head -n 1) $(WINDOWS_BUILD)/wine
	@./tests/package/installer_test.sh $$(ls -t $(DIST)/wobblegen-*-setup.exe | head -n 1) \
		$(BUILD)/wobblegen-cli

# Builds that CI makes besides the tests, so that they cannot rot: every default target in a
# Release build (-O3 warns where -O2 does not), and the libFuzzer target with clang, not run.
check-release: setup
	@cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DWOBBLEGEN_WERROR=ON \
		$(CMAKE_FLAGS) >/dev/null
	@cmake --build $(RELEASE_BUILD) -j $(JOBS)

check-fuzz: setup
	@./meter/fuzz/run_fuzz.sh 0

bench: build
	@./$(BUILD)/bench/wobblegen-bench

# The browser meter: the engine compiled to WebAssembly with emscripten (engine.js and
# engine.wasm, against the libraries scripts/windows-deps.sh builds for the web into a cache
# outside the checkout), and the static site in $(WEB_SITE)/: the page as index.html, its
# scripts, styles and manifest from web/, and the icons drawn by the meter window's icon code.
# Debian's emcc needs Debian's node modules, whatever node comes first on the PATH.
EMSDK_ENV = NODE_PATH=/usr/share/nodejs
web: setup
	@deps=$$(sed -n 's/^WOBBLEGEN_WEB_DEPS:PATH=//p' $(WEB_ENGINE_BUILD)/CMakeCache.txt 2>/dev/null); \
	if [ -z "$$deps" ] || [ ! -f "$$deps/.complete" ]; then \
		deps=$$(JOBS=$(JOBS) ./scripts/deps.sh web | tail -n 1) || exit 1; \
	fi; \
	$(EMSDK_ENV) cmake -S . -B $(WEB_ENGINE_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake \
		-DCMAKE_BUILD_TYPE=Release \
		-DWOBBLEGEN_WEB=ON -DWOBBLEGEN_WERROR=ON -DWOBBLEGEN_BUILD_TESTS=OFF \
		-DWOBBLEGEN_BUILD_BENCHMARKS=OFF -DWOBBLEGEN_WEB_DEPS="$$deps" >/dev/null
	@$(EMSDK_ENV) cmake --build $(WEB_ENGINE_BUILD) -j $(JOBS) --target wobblegen_web_module
	@[ -f $(BUILD)/CMakeCache.txt ] || $(CONFIGURE) $(WITHOUT_TESTS) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target wobblemeter-gui-icon
	@rm -rf $(WEB_SITE) && mkdir -p $(WEB_SITE)/icons
	@cp $(WEB_ENGINE_BUILD)/web/engine/engine.js $(WEB_ENGINE_BUILD)/web/engine/engine.wasm \
		$(WEB_SITE)/
	@if [ -f web/meter.html ]; then cp web/meter.html $(WEB_SITE)/index.html; fi
	@for f in web/*.js web/*.css web/*.webmanifest web/icons/*; do \
		if [ -f "$$f" ]; then cp "$$f" $(WEB_SITE)/$${f#web/}; fi; \
	done
	@for size in 192 512; do \
		./$(BUILD)/meterwin/wobblemeter-gui-icon $$size $(WEB_SITE)/icons/icon-$$size.png || exit 1; \
	done
	@./$(BUILD)/meterwin/wobblemeter-gui-icon svg $(WEB_SITE)/icons/icon.svg
	@echo "The browser meter is in $(WEB_SITE)/ (make web-serve serves it on 127.0.0.1:8000)"

web-serve:
	@python3 -m http.server --bind 127.0.0.1 -d $(WEB_SITE) 8000

# Faults planted one at a time, each against the tests of its folder, in a scratch copy under
# /tmp (docs/mutants.md): COUNT of them drawn from FILES (files or folders; default the whole
# tree, in proportion to each folder's size); COUNT= plants every mutant of FILES. Slow: not
# part of `make test`.
COUNT ?= 20
FILES ?=
MUTANTS_FLAGS ?=
mutants:
	@/usr/bin/python3 scripts/mutants.py --jobs $(JOBS) $(if $(COUNT),--count $(COUNT)) \
		$(MUTANTS_FLAGS) $(FILES)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(WINDOWS_BUILD) $(RELEASE_BUILD) build-fuzz $(DIST) \
		$(WEB_ENGINE_BUILD) $(WEB_SITE)
