# SPDX-License-Identifier: GPL-3.0-or-later
BUILD ?= build
FUZZ_BUILD ?= build-fuzz
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_SECONDS ?= 30
JOBS ?= $(shell nproc)
# Where `make install` puts the plug-in bundle: the user's VST3 folder.
VST3_DIR ?= $(HOME)/.vst3
# ON makes a warning in our code fail the build; `make check` sets it.
WERROR ?= OFF

.PHONY: all deps build demo test asan tsan fuzz check bench bench-peer clean contact-sheets install ardour

all: build

deps:
	bash scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DLAGWELL_WERROR=$(WERROR)
	cmake --build $(BUILD) -j $(JOBS)

# The main job: what a newcomer runs first. Installs the bundle, renders a
# test signal through it with several factory presets and measures the result.
demo: install
	bash scripts/demo $(BUILD) $(VST3_DIR)/Lagwell.vst3

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The whole suite once more under AddressSanitizer and UndefinedBehaviorSanitizer,
# in a build folder of its own that compiles the tests and what they run only.
asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DLAGWELL_SANITIZE=address,undefined -DLAGWELL_WERROR=$(WERROR) -DLAGWELL_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target lagwell-tests
	ASAN_OPTIONS=detect_leaks=1:strict_init_order=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The tests labelled `threaded` under ThreadSanitizer.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DLAGWELL_SANITIZE=thread -DLAGWELL_WERROR=$(WERROR) -DLAGWELL_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target lagwell-tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -L threaded

# The readers of hostile bytes under libFuzzer, each for FUZZ_SECONDS, then
# the editor opened and closed 200 times with the same sanitizers.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLAGWELL_FUZZ=ON -DLAGWELL_TESTS=OFF -DLAGWELL_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	bash scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)
	bash scripts/editor-loop $(FUZZ_BUILD)

# What CI runs: a warning fails it.
check: WERROR = ON
check: test asan fuzz

# The editor in Ardour 7, where it is installed (deps does not install it):
# host automation of a knob both ways, editors closed and reopened, and the
# editor's own windows opened, used and closed with the editor.
# Screenshots, the saved session and Ardour's log go to $(BUILD)/ardour.
ardour: build
	bash scripts/ardour-automation $(BUILD)/Lagwell.vst3 $(BUILD)/Sources/Programs/lagwell-editor $(BUILD)/ardour
	bash scripts/ardour-editor $(BUILD)/Lagwell.vst3 5 $(BUILD)/ardour/editors.png
	bash scripts/ardour-windows $(BUILD)/Lagwell.vst3 $(BUILD)/ardour/windows

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
	rm -rf $(BUILD) $(FUZZ_BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
