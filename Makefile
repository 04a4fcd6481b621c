BUILD ?= build
CMAKE_FLAGS ?=
SANITIZE ?=
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build test soak test-asan test-tsan run bench fuzz install package package-check windows test-windows clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) "-DTESSEL_SANITIZE=$(SANITIZE)" >/dev/null

build: configure
	@cmake --build $(BUILD)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j2

# The robustness tests at full size: 500 sessions at once, and Stop with 500;
# and the real program holding 9,000 logged-in clients from a soft limit of 1024.
soak: build
	@TESSEL_SOAK=1 ctest --test-dir $(BUILD) --output-on-failure -R '^(robust/|e2e/test_crowd|e2e/test_vanished)'

run: build
	@tools/run.sh $(BUILD)/tessel-ftp

# The peer servers come only with the benchmarks, not with the test dependencies.
bench: build
	@tools/install-bench-peers.sh $(BUILD)
	@cmake --build $(BUILD) --target benchmarks
	@bench/run.sh $(BUILD)

# Not part of the build: needs clang and runs for FUZZ_SECONDS.
fuzz:
	@FUZZ_SECONDS=$(FUZZ_SECONDS) tools/fuzz.sh

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan:
	@$(MAKE) --no-print-directory test BUILD=build-asan CMAKE_FLAGS=-DCMAKE_BUILD_TYPE=Debug \
		SANITIZE='address;undefined'

# The whole suite under ThreadSanitizer. The core's programs run with no
# suppression; the window's programs add tools/tsan.supp themselves.
test-tsan:
	@TSAN_OPTIONS="die_after_fork=0 $$TSAN_OPTIONS" $(MAKE) --no-print-directory test BUILD=build-tsan CMAKE_FLAGS=-DCMAKE_BUILD_TYPE=Debug \
		SANITIZE=thread

# Installs under /usr/local and lets the program bind port 21 without root.
install: build
	@cmake --install $(BUILD) --prefix /usr/local
	@setcap cap_net_bind_service=+ep /usr/local/bin/tessel-ftp
	@echo "Installed /usr/local/bin/tessel-ftp (may bind port 21) and its desktop entry."

# The Debian package, $(BUILD)/tessel-ftp_<version>_<arch>.deb. Only the program
# is built for it, not the tests; the packaging tools come only with it.
package: configure
	@tools/install-deps.sh dpkg-dev file
	@cmake --build $(BUILD) --target tessel-ftp desktop_files
	@rm -f $(BUILD)/tessel-ftp_*.deb
	@cd $(BUILD) && cpack --config CPackConfig.cmake

# As root: lints the package; installs it in a scratch copy of the system
# without Chinese fonts and takes pictures of its window there
# ($(BUILD)/package-check); installs it, serves port 21 from it as an ordinary
# user in a private network, purges it and looks for leftovers.
package-check: package
	@tools/install-deps.sh lintian desktop-file-utils appstream
	@tools/package-check.sh $(BUILD)

# The Windows program and its installer, cross-compiled for 64-bit Windows
# into build-windows/ with the C++ runtime linked in. The cross tools, NSIS and
# Wine (with its own fonts, for the window's caption buttons) come only with
# these targets.
WINDOWS_BUILD ?= build-windows
windows: deps
	@tools/install-deps.sh g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine fonts-wine nsis
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	@cmake --build $(WINDOWS_BUILD)

# As root: the Windows build's tests under Wine, in a private network
# namespace with its own X display and Wine prefix.
test-windows: windows
	@tools/test-windows.sh $(WINDOWS_BUILD)

clean:
	rm -rf $(BUILD)
