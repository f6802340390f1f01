# Quick start: `make test` installs what is missing, builds and runs every test.
JOBS ?= $(shell nproc)
BUILD ?= build
CMAKE_FLAGS ?=
ifeq ($(CI),true)
CMAKE_FLAGS += -DQUORVEX_WERROR=ON
endif

.PHONY: all deps configure build test unit format format-check asan tsan fuzz bench run demo clean

all: build

deps:
	@bash scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: deps format-check
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) fuzz

unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h' '*.hpp' '*.cc' 2>/dev/null)

format:
	clang-format -i $(FORMAT_FILES)

format-check:
	@clang-format --dry-run --Werror $(FORMAT_FILES) && echo "format-check: all files formatted"

asan: deps
	cmake -S . -B build-asan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DQUORVEX_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) -LE fuzz

tsan: deps
	cmake -S . -B build-tsan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DQUORVEX_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" ctest --output-on-failure -j $(JOBS) -L unit
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" ctest --output-on-failure -R LoopbackCallTest

# The fuzz harnesses need clang's libFuzzer: their own build, a short smoke run of each.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-fuzz -j $(JOBS) --target quorvex_fuzzers
	cd build-fuzz && ctest --output-on-failure -j $(JOBS) -L fuzz

bench: deps build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

# The program signed in to the local demo service (kamailio and baresip on loopback); without a
# display it runs on a private Xvfb, signs in with xdotool and saves a screenshot.
run: deps build
	bash scripts/run-demo $(BUILD)

# The media engine alone: a loopback call between two media objects on WAV files (no sound
# card or display needed); it prints what each side heard and the latency.
demo: deps build
	$(BUILD)/bin/quorvex-loopback-demo

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
