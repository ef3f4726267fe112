# kavo: build and test on Debian.
#   make run    install what is missing, build, start kavo.exe under Wine
#   make test   install what is missing, build, run every test (native and under Wine)
#   make bench  measurements of the service under Wine (not part of the tests)
#   make fuzz   fuzz the portable core (FUZZ_SECONDS per target)

BUILD ?= build
NATIVE := $(BUILD)/native
WINDOWS := $(BUILD)/win32
JOBS ?= 2
FUZZ_SECONDS ?= 60

.PHONY: all setup build test run bench fuzz clean

all: build

setup:
	@scripts/setup-debian.sh

$(NATIVE)/CMakeCache.txt:
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

$(WINDOWS)/CMakeCache.txt:
	cmake -S . -B $(WINDOWS) -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake

build: setup $(NATIVE)/CMakeCache.txt $(WINDOWS)/CMakeCache.txt
	cmake --build $(NATIVE) -j $(JOBS)
	cmake --build $(WINDOWS) -j $(JOBS)

test: build
	cd $(NATIVE) && ctest -j $(JOBS) --output-on-failure
	cd $(WINDOWS) && ctest -j $(JOBS) --output-on-failure

fuzz: setup $(NATIVE)/CMakeCache.txt
	cmake --build $(NATIVE) -j $(JOBS)
	cmake --build $(NATIVE) -j $(JOBS) --target fuzz_coverage
	fuzz/run.sh $(NATIVE)/fuzz $(FUZZ_SECONDS)

run: build
	@scripts/run-demo.sh $(WINDOWS)

bench: build
	cmake --build $(WINDOWS) -j $(JOBS) --target kavo_bench
	@scripts/bench.sh $(WINDOWS)

clean:
	rm -rf $(BUILD)
