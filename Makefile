BUILD ?= build
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build test run bench fuzz clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j2

run: build
	@tools/run.sh $(BUILD)/tessel-ftp

bench: build
	@cmake --build $(BUILD) --target benchmarks
	@bench/run.sh $(BUILD)

# Not part of the build: needs clang and runs for FUZZ_SECONDS.
fuzz:
	@FUZZ_SECONDS=$(FUZZ_SECONDS) tools/fuzz.sh

clean:
	rm -rf $(BUILD)
