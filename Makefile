# Two commands do all the set-up on a fresh Debian 12 machine:
#   make demo   installs what is missing, builds, and runs the example program
#   make gui-demo  the same tests in the windowed runner (needs a display, or
#               QT_QPA_PLATFORM=offscreen)
#   make test   installs what is missing (and the readers of the reports),
#               builds, and runs every test through CTest
#   make bench  installs the peer frameworks and measures Tessel against them
#               (bench/README.md; BENCH_FULL=1 for the full size)
# The build's own output goes to $(BUILD)/configure.log and $(BUILD)/build.log,
# shown when a step fails; what the terminal shows is the programs' output.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
MAKEFLAGS += --no-print-directory
SHELL := /bin/bash

# Qt wants a private run-time folder and says so once per program without
# one; a desktop session has its own.
export XDG_RUNTIME_DIR ?= $(abspath $(BUILD))/xdg-runtime

.PHONY: all deps test-deps configure build demo gui-demo test bench clean runtime-dir

all: build

deps:
	@scripts/install-deps.sh build

test-deps:
	@scripts/install-deps.sh test

configure: deps
	@mkdir -p $(BUILD)
	@echo "Configuring $(BUILD)/ (log: $(BUILD)/configure.log)"
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) > $(BUILD)/configure.log 2>&1 || \
	  { cat $(BUILD)/configure.log; exit 1; }
	@grep -h "^-- Tessel:" $(BUILD)/configure.log || true

build: configure
	@echo "Building with $(JOBS) jobs (log: $(BUILD)/build.log; some minutes the first time)"
	@cmake --build $(BUILD) -j $(JOBS) > $(BUILD)/build.log 2>&1 || \
	  { tail -n 60 $(BUILD)/build.log; echo "The build failed: $(BUILD)/build.log has all of its output."; exit 1; }

runtime-dir:
	@[ -d "$(XDG_RUNTIME_DIR)" ] || install -d -m 700 "$(XDG_RUNTIME_DIR)"

# The demo target's dependencies are built already: the lines that say so
# are left out.
demo: build runtime-dir
	@set -o pipefail; cmake --build $(BUILD) --target demo 2>&1 | \
	  grep --line-buffered -v -E '^\[ *[0-9]+%\] (Built target|Automatic .+ for target) '

gui-demo: build runtime-dir
	@cd $(BUILD)/examples && ./tessel_gui_demo

test: test-deps build runtime-dir
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	@scripts/install-deps.sh bench
	python3 bench/bench.py

clean:
	rm -rf $(BUILD)
