# The front door: `make run` composes the demo, `make check` runs every test.
BUILD_DIR  ?= build
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
NOTES      ?= C:2 E:1 G:1 C5:2
OUT        ?= chord.mid
INSTRUMENT ?= violin
BEATS      ?= 1.0

CONFIGURE = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all build run check deps-build deps-check clean

all: build

build: deps-build
	$(CONFIGURE)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/midicompose '$(subst ','\'',$(NOTES))' '$(subst ','\'',$(OUT))' \
	  '$(subst ','\'',$(INSTRUMENT))' '$(subst ','\'',$(BEATS))'

check: deps-check
	$(CONFIGURE) -DMIDICOMPOSE_BUILD_TESTS=ON -DMIDICOMPOSE_WERROR=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

deps-build:
	@scripts/install-deps.sh build

deps-check:
	@scripts/install-deps.sh check

clean:
	rm -rf $(BUILD_DIR)
