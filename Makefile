# Thin wrapper around CMake. `make demo` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS  ?= $(shell nproc)
CMAKE_FLAGS ?=

CLANG_FORMAT ?= clang-format
# The project's C++ files, for `make format` and `make format-check`.
CXX_FILES = $(shell find src tests bench fuzz \( -name '*.h' -o -name '*.cpp' \) | sort)

.PHONY: all setup build demo test bench fuzz format format-check layers clean

all: build

setup:
	@scripts/setup.sh

$(BUILD)/CMakeCache.txt: | setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The demo builds the program alone; `make build` and `make test` build the test suite too.
demo: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target mixed
	$(BUILD)/src/app/mixed --data examples/sleep.csv examples/sleep.cmd --html $(BUILD)/demo.html --json $(BUILD)/demo.json
	@echo
	@echo "HTML report: $(BUILD)/demo.html   JSON: $(BUILD)/demo.json"

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: setup
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DMIXED_TESTS=OFF -DMIXED_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)-bench -j $(JOBS)
	bench/run.sh $(BUILD)-bench

fuzz:
	@scripts/setup.sh fuzz
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIXED_TESTS=OFF -DMIXED_FUZZ=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	@echo "Fuzzers: $(BUILD)-fuzz/fuzz/fuzz_commands and $(BUILD)-fuzz/fuzz/fuzz_csv (run with -max_total_time=N)"

format-check:
	@scripts/setup.sh format
	$(CLANG_FORMAT) --dry-run -Werror $(CXX_FILES)

format:
	@scripts/setup.sh format
	$(CLANG_FORMAT) -i $(CXX_FILES)

layers:
	@scripts/setup.sh layers
	scripts/check_layers.py

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz
