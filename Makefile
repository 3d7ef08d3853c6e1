# larkbell: `make run` shows the notifier, `make test` builds and runs every test,
# `make dist` packs the release zip, `make screenshots` retakes the guide's pictures.
BUILD := build
CMAKE_FLAGS := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
JOBS := $(shell nproc)

.PHONY: all setup build programs run test bench dist screenshots clean fresh-check

all: build

setup:
	@scripts/setup $(BUILD)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The two programs alone, without the tests and benchmarks.
programs: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target larkbell larkbellctl

run: programs
	scripts/run-notifier

test: build
	scripts/with-display --own-xvfb ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# BENCH_FLAGS="--baseline OLD/larkbell.exe" measures an older build's idle
# cost beside this one's.
bench: build
	scripts/with-display --own-xvfb scripts/run-benchmarks $(BENCH_FLAGS)

dist: programs
	scripts/make-dist $(BUILD) dist

screenshots: build
	scripts/make-screenshots $(BUILD)

# `make test` on a fresh Debian bookworm with a clone of main: takes many
# minutes and root, so it is not part of `make test`. REF=BRANCH checks
# another branch; FRESH_CHECK_FLAGS passes --lock FILE, --dir or --keep.
fresh-check:
	scripts/fresh-check --ref $(or $(REF),main) $(FRESH_CHECK_FLAGS)

clean:
	rm -rf $(BUILD)
