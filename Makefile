# VSDownload: the commands of the README. Every target installs the packages it needs first,
# and only those: `make run` and `make demo` need no test tools.
BUILD      ?= build
RELEASE_BUILD ?= build-release
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
WINDOWS_BUILD ?= build-windows
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=
PREFIX     ?= $(HOME)/VSDownload
# ON for `make test`; AUTO builds the tests when GoogleTest is there.
TESTS      ?= AUTO

.PHONY: all deps configure build test test-asan bench fuzz fuzz-smoke format clean \
        run demo demo-cli install uninstall screenshots package windows test-windows

all: build

deps:
	@scripts/install-deps app

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVSDL_TESTS=$(TESTS) \
	    $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test:
	@scripts/install-deps test
	@$(MAKE) --no-print-directory build TESTS=ON
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan:
	@scripts/install-deps test
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVSDL_SANITIZE=ON \
	    -DVSDL_BENCH=OFF -DVSDL_TESTS=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --output-on-failure -j $(JOBS)

bench: build
	@cmake --build $(BUILD) --target run-benchmarks

# libFuzzer targets (clang): FUZZ_SECONDS each, on a copy of the checked-in seed corpus.
fuzz:
	@scripts/install-deps fuzz
	@CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DVSDL_FUZZ=ON -DVSDL_WITH_QT=OFF -DVSDL_BENCH=OFF -DVSDL_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The short run CI makes: the converter's target for 30 seconds.
fuzz-smoke:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30 FUZZ_TARGETS=fuzz_convert

# The program alone, from the build folder.
run:
	@JOBS=$(JOBS) scripts/demo run $(BUILD)

# The whole road with no instrument: the simulator as COM1, then VSDownload (F5, Enter...).
demo:
	@JOBS=$(JOBS) scripts/demo gui $(BUILD)

# The same road on the terminal: vsdl simulate + vsdl download --convert.
demo-cli:
	@JOBS=$(JOBS) scripts/demo cli $(BUILD)

# Stripped release binaries in a program folder PREFIX, plus a menu entry and icon for the
# current user. The folder uses the system's Qt 6 libraries. The same release build as `make
# package`: the layout changes only what `cmake --install` lays out, not the programs.
install: deps
	@cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVSDL_TESTS=OFF \
	    -DVSDL_BENCH=OFF -DVSDL_XLSX=ON -DVSDL_INSTALL_LAYOUT=folder >/dev/null
	@cmake --build $(RELEASE_BUILD) -j $(JOBS) --target VSDownload vsdl vsdl-plot
	@scripts/install $(RELEASE_BUILD) $(PREFIX)

# Undoes `make install` for the same PREFIX; what the programs wrote there is kept.
uninstall:
	@scripts/uninstall $(PREFIX)

# The Debian package vsdownload_<version>_<arch>.deb (CPack, release build, /usr layout), then
# its check: lintian, and the package's files and vsdl run from an extracted copy.
package:
	@scripts/install-deps package
	@scripts/package $(RELEASE_BUILD)

# The parts without Qt cross-built for Windows with MinGW-w64, and their tests under Wine.
windows:
	@scripts/install-deps windows
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVSDL_WITH_QT=OFF -DVSDL_BENCH=OFF \
	    -DVSDL_TESTS=ON >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# One test at a time: Wine's server has dropped its clients when several ran at once.
# A test that fails once is run again: Wine now and then loses a process it starts ("wine
# client error"); a real failure fails both times.
test-windows: windows
	@cd $(WINDOWS_BUILD) && ctest --output-on-failure -j 1 --repeat until-pass:2

# Every window rendered offscreen into docs/screenshots/<window>.png (the README shows them).
screenshots: configure
	@cmake --build $(BUILD) -j $(JOBS) --target vsdl-screenshots
	@QT_QPA_PLATFORM=offscreen $(BUILD)/tools/vsdl-screenshots docs/screenshots

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(RELEASE_BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WINDOWS_BUILD)
