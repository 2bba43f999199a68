# Front door of the build. Every target installs missing packages first, so `make demo` and
# `make test` are all a fresh Debian 12 machine needs.
JOBS         ?= $(shell nproc)
BUILD        ?= build
FUZZ_SECONDS ?= 60
CMAKE_GEN    := -G Ninja
CTEST_LABELS := 'unit|integration|gui'

.PHONY: deps build demo demo-headless test test-asan test-tsan fuzz bench test-crash clean format screenshots bench-results

deps:
	@scripts/deps.sh

# Release with assertions kept (the project's CMake drops NDEBUG).
build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# With a display LX9 opens on the simulator; without one the scripted demonstration runs.
demo: build
	@scripts/demo.sh $(BUILD)

demo-headless: build
	@scripts/demo.sh $(BUILD) --headless

test: build
	@cd $(BUILD) && ctest -L $(CTEST_LABELS) -j $(JOBS) --output-on-failure

test-asan: deps
	@cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DLX9_SANITIZE=address >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && LSAN_OPTIONS="suppressions=$(CURDIR)/scripts/lsan.supp $$LSAN_OPTIONS" \
		ctest -L $(CTEST_LABELS) -j $(JOBS) --output-on-failure

test-tsan: deps
	@cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX9_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && TSAN_OPTIONS="suppressions=$(CURDIR)/scripts/tsan.supp $$TSAN_OPTIONS" \
		ctest -L $(CTEST_LABELS) -j $(JOBS) --output-on-failure

# Long checks stay out of `make test`.
test-crash: build
	@cd $(BUILD) && ctest -L crash --output-on-failure

fuzz: deps build
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX9_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

# Prints figures only: a plain run never rewrites a tracked file.
bench: build
	@scripts/bench.sh $(BUILD)

# Rewrites the kept results that depend only on fixed seeds (bench/results/README.md).
bench-results: build
	@$(BUILD)/bench/analysis/bench_pick_accuracy --out bench/results/pick_accuracy.md

# Every window and dialog drawn headless into build/screenshots/NAME.png: look at them.
screenshots: build
	@$(BUILD)/tools/screenshots/lx9-screenshots $(BUILD)/screenshots

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) build-asan build-tsan build-fuzz
