# The newcomer's entry points. Each one installs what it needs first.
PRESETS := i686 x86_64

.PHONY: setup build test demo bench clean

setup:
	@scripts/setup

build: setup
	@for p in $(PRESETS); do \
	  cmake --preset $$p >/dev/null && cmake --build --preset $$p || exit 1; \
	done

test: build
	@scripts/run-tests

demo: build
	@scripts/demo

bench: build
	@scripts/bench

clean:
	rm -rf build
