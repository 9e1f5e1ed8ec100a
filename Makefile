# The one front door: `make demo` and `make test` work on a fresh Debian 12
# machine; both install missing packages first.
BUILD_DIR  ?= build/release
ASAN_DIR   ?= build/asan
JOBS       ?= 2
CMAKE_GEN  := -G Ninja
BIN        := $(BUILD_DIR)/apps/cli/razavovivodidi

.PHONY: all deps build test demo asan test-asan bench fuzz-build fuzz fuzz-smoke fuzz-seeds clean

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

# Fuzzing (clang-16, libFuzzer, ASan+UBSan) in its own build directory.
# `make fuzz` runs every target FUZZ_SECONDS seconds, one after the other;
# `make fuzz-smoke` runs each for FUZZ_SMOKE_SECONDS. `make fuzz-seeds`
# rewrites the checked-in seed corpora from examples/ and fuzz/seeds/.
FUZZ_DIR           ?= build/fuzz
FUZZ_SECONDS       ?= 30
FUZZ_SMOKE_SECONDS ?= 20
FUZZ_TARGETS       := json_reader canonical typed_documents envelopes scalars policy_service_response

$(FUZZ_DIR)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(FUZZ_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOREL_FUZZ=ON \
	  -DCMAKE_C_COMPILER=clang-16 -DCMAKE_CXX_COMPILER=clang++-16

fuzz-build: deps $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS)

fuzz: fuzz-build
	scripts/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz-smoke: fuzz-build
	scripts/fuzz $(FUZZ_DIR) $(FUZZ_SMOKE_SECONDS) $(FUZZ_TARGETS)

fuzz-seeds: build
	$(BUILD_DIR)/fuzz/fuzz_make_seeds .

clean:
	rm -rf build
