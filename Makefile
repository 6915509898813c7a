# VSDownload: the commands of the README. Every target installs missing packages first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=
PREFIX     ?= $(HOME)/VSDownload

.PHONY: all deps configure build test test-asan bench fuzz fuzz-smoke format clean \
        run demo demo-cli install screenshots

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVSDL_SANITIZE=ON \
	    -DVSDL_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --output-on-failure -j $(JOBS)

bench: build
	@cmake --build $(BUILD) --target run-benchmarks

# libFuzzer targets (clang): FUZZ_SECONDS each, on a copy of the checked-in seed corpus.
fuzz: deps
	@CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DVSDL_FUZZ=ON -DVSDL_WITH_QT=OFF -DVSDL_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The short run CI makes: the converter's target for 30 seconds.
fuzz-smoke:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30 FUZZ_TARGETS=fuzz_convert

# The program alone, from the build folder.
run:
	@scripts/demo run $(BUILD)

# The whole road with no instrument: the simulator as COM1, then VSDownload (F5, Enter...).
demo:
	@scripts/demo gui $(BUILD)

# The same road on the terminal: vsdl simulate + vsdl download --convert.
demo-cli:
	@scripts/demo cli $(BUILD)

# A self-contained program folder in PREFIX plus a menu entry and icon for the current user.
install: configure
	@cmake --build $(BUILD) -j $(JOBS) --target VSDownload vsdl
	@scripts/install $(BUILD) $(PREFIX)

# Every window rendered offscreen into docs/screenshots/<window>.png (the README shows them).
screenshots: configure
	@cmake --build $(BUILD) -j $(JOBS) --target vsdl-screenshots
	@QT_QPA_PLATFORM=offscreen $(BUILD)/tools/vsdl-screenshots docs/screenshots

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
