BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run bench clean

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

clean:
	rm -rf $(BUILD)
