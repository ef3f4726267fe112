# kavo: build and test on Debian.
#   make run    install what is missing, build, start kavo.exe under Wine
#   make test   install what is missing, build, run every test (native and under Wine)
#   make bench  measurements of the service under Wine (not part of the tests)
#   make fuzz   fuzz the portable core (FUZZ_SECONDS per target)
#   make test-repeat N=20   the Wine suites N times on fresh prefixes, failures tallied
#   make dist   the release, dist/kavo-<version>.zip, and its checksums
#
# Both Windows builds are always made: build/win32 (the product, 32-bit) and
# build/win64 (the same sources for x86-64). The 64-bit build runs under 64-bit
# Wine on every kernel; the 32-bit one runs only where the kernel can run 32-bit
# programs. KAVO_WIN32=off skips running it anywhere (it is still checked
# statically from the 64-bit build).

BUILD ?= build
NATIVE := $(BUILD)/native
WINDOWS := $(BUILD)/win32
WIN64 := $(BUILD)/win64
JOBS ?= 2
FUZZ_SECONDS ?= 60
# on where Wine's 32-bit loader runs here; asked when a recipe first needs it.
KAVO_WIN32 ?= $(shell /usr/lib/wine/wine --version > /dev/null 2>&1 && echo on || echo off)
WIN32_OFF_REASON = $(if $(filter file,$(origin KAVO_WIN32)),this kernel cannot run 32-bit programs,KAVO_WIN32=off)
# Said before the Wine suites run: what of them cannot run here. The bench turns
# off address randomisation (tests/wine/winerun.sh.in) where the system allows;
# where it refuses, a rare test failure may follow from that.
define wine_notes
@[ "$(KAVO_WIN32)" = on ] || echo "The 32-bit Wine suite does not run ($(WIN32_OFF_REASON)): $(WINDOWS)/kavo.exe was built and checked statically only."
@[ "$$(id -u)" = 0 ] || echo "Not run as root: Wine shows root's folders (/ and the like) as owned by ANONYMOUS LOGON, and kavo starts nothing below folders others own, so the Wine suites fail."
@setarch $$(uname -m) -R true > /dev/null 2>&1 || echo "This system refuses setarch -R, so Wine runs with address randomisation: about one Wine process start in 1,500 may die before it runs (error 1359)."
endef

.PHONY: all setup build test run bench fuzz clean

all: build

setup:
	@scripts/setup-debian.sh

$(NATIVE)/CMakeCache.txt:
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

$(WINDOWS)/CMakeCache.txt:
	cmake -S . -B $(WINDOWS) -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake

$(WIN64)/CMakeCache.txt:
	cmake -S . -B $(WIN64) -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
		-DKAVO_WIN32_EXE=$(abspath $(WINDOWS))/kavo.exe

build: setup $(NATIVE)/CMakeCache.txt $(WINDOWS)/CMakeCache.txt $(WIN64)/CMakeCache.txt
	cmake --build $(NATIVE) -j $(JOBS)
	cmake --build $(WINDOWS) -j $(JOBS)
	cmake --build $(WIN64) -j $(JOBS)

test: build
	$(wine_notes)
	cd $(NATIVE) && ctest -j $(JOBS) --output-on-failure
	cd $(WIN64) && ctest -j $(JOBS) --output-on-failure
	if [ "$(KAVO_WIN32)" = on ]; then cd $(WINDOWS) && ctest -j $(JOBS) --output-on-failure; fi

# Not part of the tests: the Wine suites N times (WIN32_N for the 32-bit one),
# each run on a fresh prefix, and how often each test failed.
N ?= 10
WIN32_N ?= $(N)
.PHONY: test-repeat
test-repeat: build
	$(wine_notes)
	tests/repeat.sh $(WIN64) $(N) $(JOBS)
	if [ "$(KAVO_WIN32)" = on ]; then tests/repeat.sh $(WINDOWS) $(WIN32_N) $(JOBS); fi

fuzz: setup $(NATIVE)/CMakeCache.txt
	cmake --build $(NATIVE) -j $(JOBS)
	cmake --build $(NATIVE) -j $(JOBS) --target fuzz_coverage
	fuzz/run.sh $(NATIVE)/fuzz $(FUZZ_SECONDS)

# The 32-bit kavo where it can run, otherwise the 64-bit one.
RUN_BUILD = $(if $(filter on,$(KAVO_WIN32)),$(WINDOWS),$(WIN64))

run: build
	@[ "$(KAVO_WIN32)" = on ] || echo "The 32-bit kavo.exe does not run ($(WIN32_OFF_REASON)): starting the 64-bit one instead."
	@scripts/run-demo.sh $(RUN_BUILD)

bench: build
	cmake --build $(RUN_BUILD) -j $(JOBS) --target kavo_bench
	@scripts/bench.sh $(RUN_BUILD)

# Not part of the tests: make test builds and checks what the release needs.
.PHONY: dist
dist: build
	@scripts/dist.sh $(WINDOWS) $(WIN64)

clean:
	rm -rf $(BUILD)
