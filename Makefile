# The one front door: `make demo` and `make test` work on a fresh Debian 12
# machine; both install missing packages first.
BUILD_DIR  ?= build/release
ASAN_DIR   ?= build/asan
JOBS       ?= 2
CMAKE_GEN  := -G Ninja
BIN        := $(BUILD_DIR)/apps/cli/razavovivodidi

.PHONY: all deps build test demo asan test-asan bench clean

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The tool's main job for a newcomer: the offline self-check against the real
# components, then the operator's whole journey on freshly made fixtures.
demo: build
	$(BIN) doctor
	examples/walkthrough.sh $(BIN)

$(ASAN_DIR)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(ASAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVOREL_SANITIZE=ON

asan: deps $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR) -j $(JOBS)

test-asan: asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

# Speed and memory, measured (never asserted in tests): the micro benchmarks
# and the whole commands beside jq, openssl, cp + b3sum and argon2, written
# to bench/RESULTS.md. BENCH_MIB sets the artifact size (default 1024),
# BENCH_RUNS and BENCH_BIG_RUNS the number of runs.
export BENCH_MIB BENCH_RUNS BENCH_BIG_RUNS BENCH_MICRO_ARGS
bench: build
	bench/compare.sh $(BIN) $(BUILD_DIR)/bench/micro_bench bench/RESULTS.md

clean:
	rm -rf build
