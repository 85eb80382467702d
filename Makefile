# SPDX-License-Identifier: GPL-3.0-or-later
BUILD ?= build
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
JOBS ?= $(shell nproc)

.PHONY: all deps build demo test fuzz check bench clean contact-sheets

all: build

deps:
	bash scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD) -j $(JOBS)

# The main job: what a newcomer runs first.
demo: build
	$(BUILD)/Sources/lagwell-dump-shared

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The readers of hostile bytes under libFuzzer, each for FUZZ_SECONDS.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLAGWELL_FUZZ=ON -DLAGWELL_TESTS=OFF -DLAGWELL_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	bash scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

check: test fuzz

bench: build
	$(BUILD)/Bench/lagwell-bench

# PNG sheets of every font, image set and brush at each UI scale, written to
# $(BUILD)/contact-sheets for review.
contact-sheets: build
	cmake --build $(BUILD) --target contact-sheets

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
