# The front door: `make run` composes the demo, `make check` runs every test.
BUILD_DIR  ?= build
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
NOTES      ?= C:2 E:1 G:1 C5:2
OUT        ?= chord.mid
INSTRUMENT ?= violin
BEATS      ?= 1.0

CONFIGURE = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all build run check check-main check-asan check-tsan deps-build deps-check clean

all: build

build: deps-build
	$(CONFIGURE)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/midicompose '$(subst ','\'',$(NOTES))' '$(subst ','\'',$(OUT))' \
	  '$(subst ','\'',$(INSTRUMENT))' '$(subst ','\'',$(BEATS))'

SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
                TSAN_OPTIONS=halt_on_error=1

check: check-main check-asan check-tsan

check-main: deps-check
	$(CONFIGURE) -DMIDICOMPOSE_BUILD_TESTS=ON -DMIDICOMPOSE_WERROR=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The unit and API tests under AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer; any finding fails the run.
check-asan: deps-check
	cmake -S . -B $(BUILD_DIR)-asan -DCMAKE_BUILD_TYPE=Debug -DMIDICOMPOSE_BUILD_TESTS=ON \
	  -DMIDICOMPOSE_SANITIZE=address,undefined
	cmake --build $(BUILD_DIR)-asan -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(BUILD_DIR)-asan --output-on-failure -j $(JOBS)

# Overlapping calls under ThreadSanitizer.
check-tsan: deps-check
	cmake -S . -B $(BUILD_DIR)-tsan -DCMAKE_BUILD_TYPE=Debug -DMIDICOMPOSE_BUILD_TESTS=ON \
	  -DMIDICOMPOSE_SANITIZE=thread
	cmake --build $(BUILD_DIR)-tsan -j $(JOBS) --target midicompose_api_tests
	$(SANITIZER_ENV) $(BUILD_DIR)-tsan/tests/midicompose_api_tests --gtest_filter='Threads.*'

deps-build:
	@scripts/install-deps.sh build

deps-check:
	@scripts/install-deps.sh check

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-asan $(BUILD_DIR)-tsan $(BUILD_DIR)-fuzz
