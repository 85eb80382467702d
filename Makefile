# SPDX-License-Identifier: GPL-3.0-or-later
BUILD ?= build
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
JOBS ?= $(shell nproc)
# Where `make install` puts the plug-in bundle: the user's VST3 folder.
VST3_DIR ?= $(HOME)/.vst3

.PHONY: all deps build demo test fuzz check bench bench-peer clean contact-sheets install

all: build

deps:
	bash scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD) -j $(JOBS)

# The main job: what a newcomer runs first. Installs the bundle, renders a
# test signal through it with several factory presets and measures the result.
demo: install
	bash scripts/demo $(BUILD) $(VST3_DIR)/Lagwell.vst3

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

# Lagwell next to LSP's Delay Compensator and a plain ring copy, side by side.
bench-peer: build
	$(BUILD)/Bench/lagwell-bench-peer

# PNG sheets of every font, image set and brush at each UI scale, written to
# $(BUILD)/contact-sheets for review.
contact-sheets: build
	cmake --build $(BUILD) --target contact-sheets

# The VST3 bundle into VST3_DIR, replacing an older copy. The installed
# module is stripped; its debug information stays in $(BUILD)/Lagwell.so.debug,
# which debuggers find through the module's debug link.
MODULE = Lagwell.vst3/Contents/x86_64-linux/Lagwell.so
install: build
	mkdir -p $(VST3_DIR)
	rm -rf $(VST3_DIR)/Lagwell.vst3
	cp -r $(BUILD)/Lagwell.vst3 $(VST3_DIR)/
	objcopy --only-keep-debug $(BUILD)/$(MODULE) $(BUILD)/Lagwell.so.debug
	strip --strip-unneeded $(VST3_DIR)/$(MODULE)
	objcopy --add-gnu-debuglink=$(BUILD)/Lagwell.so.debug $(VST3_DIR)/$(MODULE)
	@du -h $(VST3_DIR)/$(MODULE)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
