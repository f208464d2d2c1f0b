# The newcomer's entry points. Each one installs what it needs first.
PRESETS := i686 x86_64

.PHONY: setup build test demo bench dist clean

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

# The shipped i686 DLL, stripped, with its debug file, type library, IDL, header and host text.
dist: setup
	@scripts/dist

clean:
	rm -rf build dist
