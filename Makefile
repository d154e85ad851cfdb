# The front door: `make run` composes the demo, `make check` runs every test.
SHELL := /bin/bash
BUILD_DIR  ?= build
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
NOTES      ?= C:2 E:1 G:1 C5:2
OUT        ?= chord.mid
INSTRUMENT ?= violin
BEATS      ?= 1.0

CONFIGURE = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all build build-tests run audio check check-run check-python check-js check-browser wasm web sweep check-main check-interop check-asan check-tsan check-fuzz check-windows check-dist dist \
        bench bench-against fuzz fuzz-build deps-build deps-check clean coverage check-coverage docs

all: build

# The library and the command alone: no tests, so nothing beyond cmake, make
# and g++ is needed. RUN_CMAKE_FLAGS adds configure options.
build: deps-build
	$(CONFIGURE) -DMIDICOMPOSE_BUILD_TESTS=OFF $(RUN_CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target midicompose midicompose_cli

# midicompose-audio beside the command, for --wav: FluidSynth and a General
# MIDI font are installed for it (make run needs neither).
audio: build
	@scripts/install-deps.sh audio
	$(CONFIGURE) -DMIDICOMPOSE_BUILD_TESTS=OFF $(RUN_CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target midicompose_audio

run: build
	./$(BUILD_DIR)/midicompose '$(subst ','\'',$(NOTES))' '$(subst ','\'',$(OUT))' \
	  '$(subst ','\'',$(INSTRUMENT))' '$(subst ','\'',$(BEATS))'

SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
                TSAN_OPTIONS=halt_on_error=1

FUZZ_SECONDS ?= 60
# FluidSynth's own leaks on malformed fonts are not the fuzzers' findings (fuzz/lsan.supp).
FUZZ_ENV = LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/lsan.supp
FUZZERS = compose_fuzzer parser_fuzzer batch_fuzzer render_fuzzer font_fuzzer

# Every part in turn, then one summary line a part (scripts/check.sh).
check: deps-check
	@scripts/check.sh

# make run as a machine without GoogleTest or Google Benchmark would see it;
# the demo must come out as the golden chord. (The build without tests never
# asks for either, which CMake would print a warning about.)
check-run:
	rm -rf $(BUILD_DIR)-run
	$(MAKE) --no-print-directory run BUILD_DIR=$(BUILD_DIR)-run OUT=$(BUILD_DIR)-run/chord.mid \
	  RUN_CMAKE_FLAGS="--no-warn-unused-cli -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON"
	cmp $(BUILD_DIR)-run/chord.mid tests/golden/chord.mid
	@echo "summary: the demo chord is byte-identical to tests/golden/chord.mid"

build-tests:
	$(CONFIGURE) -DMIDICOMPOSE_BUILD_TESTS=ON -DMIDICOMPOSE_WERROR=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)

check-main: build-tests
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -LE interop

# The Python package, installed into a fresh venv with pip.
check-python: build-tests
	scripts/check-python.sh $(BUILD_DIR)

# Independent readers on the library's files.
check-interop: build-tests
	ctest --test-dir $(BUILD_DIR) --output-on-failure --no-tests=error -L interop

# The unit and API tests under AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer; any finding fails the run.
check-asan:
	cmake -S . -B $(BUILD_DIR)-asan -DCMAKE_BUILD_TYPE=Debug -DMIDICOMPOSE_BUILD_TESTS=ON \
	  -DMIDICOMPOSE_SANITIZE=address,undefined
	cmake --build $(BUILD_DIR)-asan -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(BUILD_DIR)-asan --output-on-failure -j $(JOBS)

# Overlapping calls under ThreadSanitizer: compositions, batches, and renders.
check-tsan:
	cmake -S . -B $(BUILD_DIR)-tsan -DCMAKE_BUILD_TYPE=Debug -DMIDICOMPOSE_BUILD_TESTS=ON \
	  -DMIDICOMPOSE_SANITIZE=thread
	cmake --build $(BUILD_DIR)-tsan -j $(JOBS) --target midicompose_api_tests midicompose_audio_tests midicompose_cli_tests
	$(SANITIZER_ENV) $(BUILD_DIR)-tsan/tests/midicompose_api_tests --gtest_filter='Threads.*'
	@# FluidSynth decodes a font's samples on OpenMP threads, whose runtime TSan
	@# cannot see into: one thread loads, so the renders' own threads are what it
	@# checks (a batch with --wav renders too).
	OMP_NUM_THREADS=1 $(SANITIZER_ENV) $(BUILD_DIR)-tsan/tests/midicompose_cli_tests --gtest_filter='Batch.*'
	OMP_NUM_THREADS=1 $(SANITIZER_ENV) $(BUILD_DIR)-tsan/tests/midicompose_audio_tests \
	  --gtest_filter='*OnEveryCallAndThread'

# The facts in README.md, docs/ and the man page made anew from the code
# (make check fails where a page differs from what this writes).
docs: build
	python3 scripts/docs.py write --command $(BUILD_DIR)/midicompose

deps-build:
	@scripts/install-deps.sh build

deps-check:
	@scripts/install-deps.sh check

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-run $(BUILD_DIR)-wasm $(BUILD_DIR)-asan $(BUILD_DIR)-tsan $(BUILD_DIR)-fuzz $(BUILD_DIR)-mingw \
	  $(BUILD_DIR)-bench $(BUILD_DIR)-dist $(BUILD_DIR)-coverage dist

# Benchmarks: the library against the atomic-write floor, the writer alone,
# and the command as a process. Nothing here fails on time.
bench:
	@scripts/install-deps.sh bench
	cmake -S . -B $(BUILD_DIR)-bench -DCMAKE_BUILD_TYPE=Release -DMIDICOMPOSE_BENCH=ON -DMIDICOMPOSE_BUILD_TESTS=OFF
	cmake --build $(BUILD_DIR)-bench -j $(JOBS)
	$(BUILD_DIR)-bench/bench/compose_bench
	$(BUILD_DIR)-bench/bench/floor_bench
	scripts/bench-process.sh $(BUILD_DIR)-bench
	$(BUILD_DIR)-bench/bench/render_bench
	scripts/bench-audio.sh $(BUILD_DIR)-bench
	scripts/bench-batch.sh $(BUILD_DIR)-bench
	/usr/bin/python3 bench/play_bench.py $(BUILD_DIR)-bench/midicompose $(BUILD_DIR)-bench/libmidicompose-audio.so \
	  $(BUILD_DIR)-bench/libmidicompose.so python
	scripts/check-python.sh $(BUILD_DIR) --install-only && cd $(BUILD_DIR) && python-venv/bin/python ../bench/python_bench.py
	$(MAKE) --no-print-directory wasm >/dev/null && node bench/node_bench.mjs $(BUILD_DIR)-wasm/npm
	@# The playground's first visit at 10 Mbit/s and 40 ms, in Chromium.
	scripts/check-js.sh figures $(BUILD_DIR) $(BUILD_DIR)-wasm

# Another revision's library against this tree's, timed by one program in
# alternating runs: make bench-against REV=e2499ab
bench-against:
	@scripts/install-deps.sh bench
	cmake -S . -B $(BUILD_DIR)-bench -DCMAKE_BUILD_TYPE=Release -DMIDICOMPOSE_BENCH=ON -DMIDICOMPOSE_BUILD_TESTS=OFF
	cmake --build $(BUILD_DIR)-bench -j $(JOBS) --target floor_bench
	scripts/bench-against.sh '$(REV)' $(BUILD_DIR)-bench

# Every package a user installs without cloning, in dist/ (scripts/dist.sh).
dist:
	@scripts/install-deps.sh dist
	scripts/dist.sh dist $(BUILD_DIR)-dist

# The packages of make dist installed where nothing else is, and made twice
# to compare (scripts/check-dist.sh).
check-dist:
	scripts/check-dist.sh $(BUILD_DIR)-dist

# The engine as WebAssembly (Debian's emscripten): the npm package in
# $(BUILD_DIR)-wasm/npm and the playground in $(BUILD_DIR)-wasm/web.
wasm:
	@command -v emcc >/dev/null || { echo "no emcc: apt-get install emscripten (or make deps-check)"; exit 1; }
	@command -v esbuild >/dev/null || { echo "no esbuild: apt-get install esbuild (or make deps-check)"; exit 1; }
	cmake -S . -B $(BUILD_DIR)-wasm -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/emscripten.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DMIDICOMPOSE_BUILD_TESTS=OFF -DMIDICOMPOSE_WERROR=ON
	cmake --build $(BUILD_DIR)-wasm -j $(JOBS)

# Serves the playground on localhost and prints its address (PORT=0: any free port).
PORT ?= 8480
web: wasm
	node scripts/serve-web.mjs $(BUILD_DIR)-wasm/web $(PORT)

check-js: build-tests
	@if command -v emcc >/dev/null; then $(MAKE) --no-print-directory wasm; \
	 else scripts/skip-part.sh "no emcc (Debian package emscripten)"; exit $$?; fi
	@if command -v emcc >/dev/null; then scripts/check-js.sh package $(BUILD_DIR) $(BUILD_DIR)-wasm; fi

check-browser: build-tests
	@if command -v emcc >/dev/null; then $(MAKE) --no-print-directory wasm; \
	 else scripts/skip-part.sh "no emcc (Debian package emscripten)"; exit $$?; fi
	@if command -v emcc >/dev/null; then scripts/check-js.sh browser $(BUILD_DIR) $(BUILD_DIR)-wasm; fi

# The number reader and printer against strtod and printf over many more
# generated values than make check compares (SWEEP of each).
SWEEP ?= 20000000
sweep: build-tests
	MIDICOMPOSE_SWEEP=$(SWEEP) $(BUILD_DIR)/tests/midicompose_unit_tests \
	  --gtest_filter='ParseDecimal.*:FormatShortNumber.*'

# What the tests run of the code: C and C++ (gcovr; an HTML page in
# $(BUILD_DIR)-coverage/coverage/index.html), Python and JavaScript.
coverage: build-tests wasm
	scripts/coverage.sh $(BUILD_DIR)-coverage $(BUILD_DIR) $(BUILD_DIR)-wasm

check-coverage: build-tests
	@if command -v emcc >/dev/null; then $(MAKE) --no-print-directory coverage; \
	 else scripts/skip-part.sh "no emcc (Debian package emscripten)"; exit $$?; fi

# midicompose.dll cross-built with mingw-w64 and run under wine, where installed.
check-windows:
	scripts/check-windows.sh $(BUILD_DIR)-mingw

# libFuzzer with ASan and UBSan (clang).
fuzz-build:
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_DIR)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMIDICOMPOSE_BUILD_TESTS=OFF -DMIDICOMPOSE_FUZZ=ON -DMIDICOMPOSE_SANITIZE=address,undefined
	cmake --build $(BUILD_DIR)-fuzz -j $(JOBS) --target $(FUZZERS)

# Replays the seed corpus, then explores for FUZZ_SECONDS a target. New
# inputs go to a scratch corpus; crashes are written to $(BUILD_DIR)-fuzz.
fuzz: fuzz-build
	@set -e; runs=""; for f in $(FUZZERS); do \
	  corpus=fuzz/corpus/$${f%_fuzzer}; scratch=$(BUILD_DIR)-fuzz/corpus-$$f; mkdir -p $$scratch; \
	  echo "== $$f: $(FUZZ_SECONDS) s"; \
	  $(SANITIZER_ENV) $(FUZZ_ENV) $(BUILD_DIR)-fuzz/fuzz/$$f -close_fd_mask=3 -dict=fuzz/midicompose.dict \
	    -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 -artifact_prefix=$(BUILD_DIR)-fuzz/ \
	    $$scratch $$corpus 2>&1 | grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|==|SUMMARY|ERROR)|Done' \
	    | tee $(BUILD_DIR)-fuzz/$$f.log; \
	  test $${PIPESTATUS[0]} -eq 0; \
	  runs="$$runs, $${f%_fuzzer} $$(sed -n 's/^stat::number_of_executed_units: *//p' $(BUILD_DIR)-fuzz/$$f.log)"; \
	done; \
	echo "summary: $(words $(FUZZERS)) targets, $(FUZZ_SECONDS) s each, nothing found; runs: $${runs#, }"

check-fuzz: fuzz-build
	@for f in $(FUZZERS); do \
	  $(SANITIZER_ENV) $(FUZZ_ENV) $(BUILD_DIR)-fuzz/fuzz/$$f -close_fd_mask=3 -runs=0 fuzz/corpus/$${f%_fuzzer} 2>&1 | tail -1 || exit 1; \
	done
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(FUZZ_SECONDS)
