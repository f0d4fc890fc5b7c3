# The two front-door commands: `make demo` and `make test`; `make bench` for the figures.
# Both first install what a fresh Debian 12 machine lacks.

# The window's toolkit, a virtual X server (with its authority tool and a font) for the tests
# that draw, the desktop files' validators, and what the package step needs.
PACKAGES := cmake g++ make libgtest-dev googletest libwxgtk3.2-dev xvfb xauth fonts-dejavu-core \
  desktop-file-utils appstream dpkg-dev
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CTEST_FLAGS ?= --output-on-failure --timeout 300 -j2

.PHONY: all deps demo bench package test test-release test-asan test-tsan build clean format

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" != 0 ]; then \
	    echo "missing packages:$$missing; run as root, or: sudo apt-get install -y$$missing" >&2; exit 1; \
	  fi; \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

build: deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_BUILD_TESTS=OFF
	cmake --build build/release -j $(JOBS)

demo: build
	@dir=$$(mktemp -d); link=$$dir/printer; \
	build/release/emulator/velmar-printer --link $$link --loads 1 > $$dir/printer.out & pid=$$!; \
	for i in $$(seq 100); do [ -e $$link ] && break; sleep 0.1; done; \
	build/release/cli/velmar-load -p $$link build/release/samples/sample.bin; status=$$?; \
	wait $$pid; tail -n +2 $$dir/printer.out; rm -rf $$dir; exit $$status

# A Debian package of the three programs, the desktop entry, icons and metainfo.
package: build
	cd build/release && cpack -G DEB

# About 90 s: loads into the emulator paced at real line rates; prints the README's table.
bench: build
	build/release/bench/velmar-bench

# The optimised build with its tests and no sanitizer, so that optimiser-only warnings and
# timing faults show.
test-release: deps
	cmake -S . -B build/opt -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/opt -j $(JOBS)
	cd build/opt && ctest $(CTEST_FLAGS)

test-asan: deps
	cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DVELMAR_SANITIZE=address
	cmake --build build/asan -j $(JOBS)
	cd build/asan && ctest $(CTEST_FLAGS)

test-tsan: deps
	cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DVELMAR_SANITIZE=thread
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest $(CTEST_FLAGS)

test: test-release test-asan test-tsan

format:
	find platform datafile transport engine ui app cli emulator tests bench fuzz \
	  -name '*.cpp' -o -name '*.h' | xargs -r clang-format -i

clean:
	rm -rf build
