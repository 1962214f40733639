# Two commands do all the set-up on a fresh Debian 12 machine:
#   make demo   installs what is missing, builds, and runs the example program
#   make gui-demo  the same tests in the windowed runner (needs a display, or
#               QT_QPA_PLATFORM=offscreen)
#   make test   installs what is missing, builds, and runs every test through CTest
#   make bench  installs the peer frameworks and measures Tessel against them
#               (bench/README.md; BENCH_FULL=1 for the full size)
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build demo gui-demo test bench clean

all: build

deps:
	@scripts/install-deps.sh test

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	cmake --build $(BUILD) --target demo

gui-demo: build
	@cd $(BUILD)/examples && ./tessel_gui_demo

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	@scripts/install-deps.sh bench
	python3 bench/bench.py

clean:
	rm -rf $(BUILD)
