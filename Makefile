# make run   - install what is missing, build, start the program
# make test  - install what is missing, build with sanitizers and warnings as errors, run all tests
BUILD_DIR      ?= build
TEST_BUILD_DIR ?= build-test
BENCH_BUILD_DIR ?= build-bench
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS   ?= 180
JOBS           ?= $(shell nproc)

.PHONY: deps build run test bench fuzz pot format clean

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/src/akstarter $(ARGS)

test: deps
	cmake -S . -B $(TEST_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DAK_WERROR=ON -DAK_SANITIZE=ON
	cmake --build $(TEST_BUILD_DIR) -j $(JOBS)
	ctest --test-dir $(TEST_BUILD_DIR) --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BENCH_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DAK_BUILD_BENCH=ON -DAK_BUILD_TESTS=OFF
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS)
	for b in $(BENCH_BUILD_DIR)/bench/bench_*; do "$$b"; done

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DAK_FUZZ=ON -DAK_BUILD_GUI=OFF -DAK_BUILD_TESTS=OFF
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS)
	for f in $(FUZZ_BUILD_DIR)/fuzz/fuzz_*; do \
	  mkdir -p fuzz-corpus/$$(basename $$f); \
	  "$$f" -max_total_time=$(FUZZ_SECONDS) fuzz-corpus/$$(basename $$f) fuzz/seeds/$$(basename $$f) || exit 1; \
	done

pot: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) --target pot

format:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) --target format

clean:
	rm -rf $(BUILD_DIR) $(TEST_BUILD_DIR) $(BENCH_BUILD_DIR) $(FUZZ_BUILD_DIR)
