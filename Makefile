# The two commands of the README, and the sanitizer and benchmark builds.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test test-plain test-asan test-tsan demo bench soak screenshots fuzz docs clean

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
# not built for the thread checker.
test: deps
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-tsan

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
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
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

# libFuzzer on what strangers send (reply bodies, page URLs, page messages, GIF files), FUZZ_SECONDS each, seeded
# from fuzz/corpus/; new crash inputs land in build-fuzz/ (keep them in fuzz/corpus/).
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps --fuzz
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQVAD_SANITIZE=address -DQVAD_BUILD_FUZZ=ON -DQVAD_BUILD_TESTS=OFF -DQVAD_BUILD_TOOLS=OFF -DQVAD_BUILD_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS)
	set -e; for f in reply_body page_url page_message gif; do \
	  mkdir -p build-fuzz/corpus/$$f; cp -n fuzz/corpus/$$f/* build-fuzz/corpus/$$f/; \
	  build-fuzz/fuzz/$${f}_fuzz -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=build-fuzz/crash-$$f- build-fuzz/corpus/$$f; \
	done

# The API reference of the public headers, when doxygen is installed (not part of make test).
docs:
	@command -v doxygen >/dev/null || { echo "make docs needs doxygen: apt-get install doxygen" >&2; exit 1; }
	mkdir -p build/docs
	doxygen docs/Doxyfile
	@echo "written: build/docs/html/index.html"

clean:
	rm -rf build build-asan build-tsan build-fuzz build-demo out/demo
