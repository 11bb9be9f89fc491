# The two commands of the README, and the sanitizer and benchmark builds.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test test-plain test-asan test-tsan demo bench soak screenshots fuzz fuzz-smoke docs clean

all: build

deps:
	@scripts/install-deps

build/build.ninja: | deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVAD_WERROR=ON $(CMAKE_FLAGS)

build: deps build/build.ninja
	cmake --build build -j $(JOBS)

# make test: the whole suite, built with AddressSanitizer and UndefinedBehaviorSanitizer,
# then again under ThreadSanitizer. The engine tests (label webkit) run on a display, a
# private Xvfb when DISPLAY is unset, and only in the first run: GTK and the engine are
# not built for the thread checker. Then a 20-second run of every fuzz target.
test: deps
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-tsan
	@$(MAKE) --no-print-directory fuzz-smoke

test-plain: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQVAD_WERROR=ON -DQVAD_SANITIZE=address -DQVAD_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQVAD_WERROR=ON -DQVAD_SANITIZE=thread -DQVAD_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp \
	  ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -LE webkit

# The demo runs on the desktop backend (GTK window, real web engine), in a build of its own.
build-demo/build.ninja: | deps
	cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVAD_WERROR=ON -DQVAD_BACKEND=gtk \
	  -DQVAD_BUILD_TESTS=OFF -DQVAD_BUILD_BENCH=OFF $(CMAKE_FLAGS)

demo: deps build-demo/build.ninja
	cmake --build build-demo -j $(JOBS) --target qvadctl qvad-sandbox qvad-demo
	@scripts/demo

# The full soak (5,000 start-ups and queries, 2,000 badges, 10,000 tracking reports in one
# process) in the optimised build; it fails when memory, descriptors or threads grow.
soak: build
	build/tests/qvad_soak 1


# make bench: the optimised build (RelWithDebInfo: -O2, NDEBUG, symbols for the
# profilers), only the benchmark targets, then every comparison and one table; the rows
# land in build/bench/results.json. Timings are medians of alternating rounds.
BENCH_TARGETS := bench_table signing_bench gif_bench tracker_bench start_bench bridge_bench qvad_core_size qvad_shared
bench: deps build/build.ninja
	cmake --build build -j $(JOBS) --target $(BENCH_TARGETS)
	scripts/bench build

# Screenshots of a toast and of the network error view over a host controller, and of
# the floating badge and its in-app browser against the sandbox.
screenshots: build
	mkdir -p out/screenshots
	QVAD_SCREENSHOT_DIR=$(CURDIR)/out/screenshots build/tests/qvad_unit_tests --gtest_filter='RenderTest.*' >/dev/null
	QVAD_SCREENSHOT_DIR=$(CURDIR)/out/screenshots build/tests/qvad_integration_tests --gtest_filter='FloatingSandboxTest.*' >/dev/null
	@echo "written: out/screenshots/toast.png out/screenshots/network_error.png out/screenshots/floating_badge.png out/screenshots/floating_browser.png"

# libFuzzer on what strangers send (reply bodies, page URLs and options, page messages, GIF
# files, navigations, reply scripts, the defaults and identifier files, the sandbox's request
# targets), FUZZ_SECONDS each, seeded from fuzz/corpus/. Everything a run makes stays in
# build-fuzz/: new corpus entries in build-fuzz/corpus/, crash inputs as
# build-fuzz/crash-<target>-* (keep those in fuzz/corpus/<target>/). A crash, a hang past
# FUZZ_TIMEOUT seconds or a sanitizer report fails the run.
FUZZ_SECONDS ?= 60
FUZZ_TIMEOUT ?= 10
# A 32 MB quarantine, not the default 256 MB: every input allocates and frees, and cycling
# through 256 MB of fresh pages spent about half of each run in page faults. A use after
# free within the last 32 MB of frees (many inputs back) is still caught.
FUZZ_ASAN_OPTIONS ?= quarantine_size_mb=32
# Inputs up to 4 KiB: the deep-nesting seeds (40 and 100 KB) would otherwise set the limit
# and slow every input; they are replayed whole by the unit tests.
FUZZ_MAX_LEN ?= 4096
# FUZZ_RUNS=N stops each target after N inputs instead (with FUZZ_SECONDS=0: no time limit).
FUZZ_RUNS ?=
FUZZ_TARGETS := reply_body page_url page_message gif page_options navigation reply_script \
  defaults_file identifier_file request_verifier
build-fuzz/build.ninja:
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQVAD_SANITIZE=address -DQVAD_BUILD_FUZZ=ON -DQVAD_BUILD_TESTS=OFF -DQVAD_BUILD_TOOLS=OFF -DQVAD_BUILD_BENCH=OFF $(CMAKE_FLAGS)

fuzz:
	@scripts/install-deps --fuzz
	@$(MAKE) --no-print-directory build-fuzz/build.ninja
	cmake --build build-fuzz -j $(JOBS) --target $(addsuffix _fuzz,$(FUZZ_TARGETS))
	set -e; for f in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$f; cp -n fuzz/corpus/$$f/* build-fuzz/corpus/$$f/ 2>/dev/null || true; \
	  (cd build-fuzz && ASAN_OPTIONS=$(FUZZ_ASAN_OPTIONS) UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 fuzz/$${f}_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) \
	    $(if $(FUZZ_RUNS),-runs=$(FUZZ_RUNS)) \
	    -timeout=$(FUZZ_TIMEOUT) -print_final_stats=1 -artifact_prefix=crash-$$f- corpus/$$f); \
	done; \
	echo "fuzz: $(words $(FUZZ_TARGETS)) passed, 0 failed"

# The short run of every target that make test ends with.
fuzz-smoke:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=20

# The API reference of the public headers, when doxygen is installed (not part of make test).
docs:
	@command -v doxygen >/dev/null || { echo "make docs needs doxygen: apt-get install doxygen" >&2; exit 1; }
	mkdir -p build/docs
	doxygen docs/Doxyfile
	@echo "written: build/docs/html/index.html"

clean:
	rm -rf build build-asan build-tsan build-fuzz build-demo out/demo
