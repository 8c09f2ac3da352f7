# Entry points: `make demo`, `make check`. Each installs what it needs first.
BUILD      ?= build
GENERATOR  ?= Ninja
BUILD_TYPE ?= RelWithDebInfo
WERROR     ?= OFF
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all deps build check check-asan check-tsan fuzz demo bench install clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTQ_WERROR=$(WERROR) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

check: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
check-asan: deps
	@$(MAKE) --no-print-directory check BUILD=build-asan BUILD_TYPE=Debug CMAKE_ARGS="-DTQ_SANITIZE=address"

# Threaded code under ThreadSanitizer (tests labelled "threads").
check-tsan: deps
	@cmake -S . -B build-tsan -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DTQ_WERROR=$(WERROR) -DTQ_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -L threads

# Fuzz targets of the parsers of outside input, built with clang, each run briefly.
# Seconds for all fuzz targets together (scripts/fuzz shares them out).
FUZZ_SECONDS ?= 120
fuzz:
	@TQ_EXTRA_PACKAGES="clang libclang-rt-14-dev" scripts/install-deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DTQ_SANITIZE=fuzz >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_all
	@scripts/fuzz build-fuzz $(FUZZ_SECONDS)

demo: build
	@scripts/demo $(BUILD)

bench: deps
	@cmake -S . -B build-bench -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DTQ_BENCHMARKS=ON >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@scripts/bench build-bench

install: build
	cmake --install $(BUILD)

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
