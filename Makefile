# Two entry points: `make run` and `make test`. Both install what is missing first.
# `make package` builds the Debian package.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: all setup configure build run test package clean format check-asan fuzz bench bench-video

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@if [ ! -f $(BUILD_DIR)/build.ninja ]; then \
		cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo; \
	fi

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD_DIR)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The Debian package: $(BUILD_DIR)/audioconv_<version>_amd64.deb.
package: build
	@cmake --build $(BUILD_DIR) --target package

bench: build ; @$(BUILD_DIR)/bin/audioconv-bench $(BENCH_ARGS)
bench-video: build ; @$(BUILD_DIR)/bin/audioconv-video-bench $(BENCH_ARGS)

# Neither is part of `make test`. check-asan: the whole suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan, leak detection on. fuzz: the libFuzzer target
# (clang) in build-fuzz for FUZZ_TIME seconds; FUZZ_ARGS go to libFuzzer.
check-asan: setup
	@JOBS=$(JOBS) bash scripts/check-asan.sh

fuzz:
	@bash scripts/fuzz.sh $(FUZZ_ARGS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR) build-asan build-fuzz
