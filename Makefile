# The two commands: `make run` and `make test` (see README.md).
SHELL := /bin/bash
PRESETS := host win32 win64

.PHONY: all setup build test run bench clean

all: build

setup:
	@./scripts/setup

build: setup
	@for p in $(PRESETS); do \
	  [ -f build/$$p/build.ninja ] || cmake --preset $$p >/dev/null || exit 1; \
	  cmake --build --preset $$p || exit 1; \
	done

test: build
	@./scripts/test-all

run: setup
	@[ -f build/win64/build.ninja ] || cmake --preset win64 >/dev/null
	@cmake --build --preset win64 --target lumorex lxshow
	@./scripts/run-program

bench: build
	@./scripts/bench

clean:
	rm -rf build
