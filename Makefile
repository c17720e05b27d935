# make run   - install what is missing, build, run the demo group unattended, print its log
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
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAK_BUILD_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The demo's configuration names its task files by absolute path, so it is written here;
# the stand-in backup program is found on PATH.
DEMO_DIR = $(BUILD_DIR)/demo
run: build
	./$(BUILD_DIR)/tools/democonfig/ak_democonfig examples/demo $(DEMO_DIR)
	rm -f $(DEMO_DIR)/akstarter.log
	PATH="$(CURDIR)/$(BUILD_DIR)/tools/arkivo:$$PATH" ./$(BUILD_DIR)/src/akstarter Demo /force /logmode:1 \
	  /ini:$(CURDIR)/$(DEMO_DIR)/; status=$$?; \
	echo "--- $(DEMO_DIR)/akstarter.log ---"; cat $(DEMO_DIR)/akstarter.log; exit $$status

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
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAK_BUILD_TESTS=OFF
	cmake --build $(BUILD_DIR) --target pot

format:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAK_BUILD_TESTS=OFF
	cmake --build $(BUILD_DIR) --target format

clean:
	rm -rf $(BUILD_DIR) $(TEST_BUILD_DIR) $(BENCH_BUILD_DIR) $(FUZZ_BUILD_DIR)
