# Tavimo: `make run` starts it, `make test` runs every test. Both install what is missing first.
BUILD      ?= build
JOBS       ?= $(shell nproc)
GENERATOR  := Ninja
# Extra CMake options for every configure below, e.g. CMAKE_ARGS=-DTAVIMO_WERROR=ON.
CMAKE_ARGS ?=

.PHONY: all setup configure build run test bench fuzz sanitize tsan package package-test clean

all: build

setup:
	@./scripts/setup.sh

$(BUILD)/build.ninja:
	@cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS) >/dev/null

configure: setup $(BUILD)/build.ninja

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/tavimo $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The Debian package (tavimo_<version>_amd64.deb in build-package/): the program alone, built
# for the /usr prefix (so its private module lands in the multiarch library folder), then what
# `cmake --install` puts under /usr.
PACKAGE_BUILD ?= build-package
package: setup
	@cmake -S . -B $(PACKAGE_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_INSTALL_PREFIX=/usr -DTAVIMO_TESTS=OFF -DTAVIMO_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB

# The package in a fresh Debian 12 root made with debootstrap: checked file list, installed with
# apt, started under Xvfb, removed, nothing left. Downloads a base system (so it is not part of
# `make test`) and needs root.
package-test: package
	@TAVIMO_EXTRA_PACKAGES="debootstrap" ./scripts/setup.sh
	./scripts/package-test.sh "$$(ls -t $(PACKAGE_BUILD)/tavimo_*.deb | head -n 1)"

bench: build
	./bench/run.sh $(BUILD)

# Unit, net and gui suites again under AddressSanitizer + UndefinedBehaviorSanitizer.
sanitize: setup
	@cmake -S . -B build-asan -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DTAVIMO_SANITIZE=address,undefined -DTAVIMO_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -L '$(SANITIZE_LABELS)'

SANITIZE_LABELS ?= unit

# The file getter's thread hand-off and the background pool under ThreadSanitizer. Debian's Qt
# is not built with it: races are looked for in our code only (Qt's own locks are futexes the
# sanitizer cannot see; tests/tsan-suppressions.txt says what that excuses in ours).
TSAN_RUN := TSAN_OPTIONS="halt_on_error=1 ignore_noninstrumented_modules=1 suppressions=$(CURDIR)/tests/tsan-suppressions.txt"
tsan: setup
	@cmake -S . -B build-tsan -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DTAVIMO_SANITIZE=thread -DTAVIMO_BENCH=OFF -DTAVIMO_FOLDERS="base;compat;platform;sources;net;detect;download" $(CMAKE_ARGS) >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target download_getter_tests platform_pool_tests
	$(TSAN_RUN) ./build-tsan/tests/download/download_getter_tests
	$(TSAN_RUN) ./build-tsan/tests/platform/platform_pool_tests

FUZZ_SECONDS ?= 60
fuzz:
	@TAVIMO_EXTRA_PACKAGES="clang libclang-rt-14-dev" ./scripts/setup.sh
	@cmake -S . -B build-fuzz -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVIMO_FUZZ=ON \
	  -DTAVIMO_TESTS=OFF -DTAVIMO_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" \
	  -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" $(CMAKE_ARGS) >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	./fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-tsan $(PACKAGE_BUILD)
