# The two front-door commands: `make demo` and `make test`; `make bench` for the figures.
# Both first install what a fresh Debian 12 machine lacks.

# The window's toolkit, a virtual X server (with its authority tool and a font) for the tests
# that draw, the desktop files' validators, what the package step needs, and clang's libFuzzer
# (on Debian 12 libclang-rt-14-dev holds libclang_rt.fuzzer); the Windows build's cross-compiler,
# and Wine to run its programs (wine64 is Wine itself, wine its wine, wineboot and wineserver
# commands); icoutils makes the Windows window's icon, NSIS and zip its installer and zip, unzip
# their test, ImageMagick cuts the window's picture out of the virtual display, and the tests read
# the loader's JSON stream with nlohmann-json3-dev. The kernel harness boots Debian's own kernel
# (linux-image-amd64, its modules found by kmod's modinfo) under QEMU (qemu-system-x86), with an
# initramfs made of busybox-static. Printers behind a serial device server are loaded through
# Debian's own ser2net. The manual pages are written in scdoc and checked with groff; the
# package is checked by lintian, the completion in bash with bash-completion.
PACKAGES := cmake g++ make libgtest-dev googletest libwxgtk3.2-dev xvfb xauth fonts-dejavu-core \
  desktop-file-utils appstream dpkg-dev clang libclang-rt-14-dev \
  g++-mingw-w64-x86-64 wine64 wine icoutils nsis zip unzip imagemagick nlohmann-json3-dev \
  qemu-system-x86 linux-image-amd64 busybox-static kmod ser2net \
  scdoc groff-base lintian bash-completion
VERSION := $(shell sed -nE 's/^project.velmar VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CTEST_FLAGS ?= --output-on-failure --timeout 300 -j2

.PHONY: all deps demo bench bench-windows package test-package screenshot test test-release test-asan test-tsan test-fuzz build clean format \
  opt windows windows-package test-windows screenshot-windows test-kernel

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

# With a display: the window, its port list's COM1 leading to the emulated printer paced at
# 115200, the sample program in the path edit; press "Загрузить". Without one: the loader.
demo: build
	@dir=$$(mktemp -d); link=$$dir/printer; \
	if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ] && [ -x build/release/window_wx/velmar ]; then \
	  build/release/emulator/velmar-printer --link $$link --baud 115200 > $$dir/printer.out & pid=$$!; \
	  for i in $$(seq 100); do [ -e $$link ] && break; sleep 0.1; done; \
	  mkdir -p $$dir/config/velmar/ports; ln -s $$link $$dir/config/velmar/ports/COM1; \
	  XDG_CONFIG_HOME=$$dir/config build/release/window_wx/velmar build/release/samples/sample.bin; \
	  status=$$?; kill $$pid; wait $$pid; \
	else \
	  build/release/emulator/velmar-printer --link $$link --loads 1 > $$dir/printer.out & pid=$$!; \
	  for i in $$(seq 100); do [ -e $$link ] && break; sleep 0.1; done; \
	  build/release/cli/velmar-load -p $$link build/release/samples/sample.bin; status=$$?; \
	  wait $$pid; \
	fi; \
	tail -n +2 $$dir/printer.out; rm -rf $$dir; exit $$status

# A Debian package of the three programs with their manual pages and completion, the desktop
# entry, icons and metainfo, and velmar-dbgsym with their debug symbols.
package: build
	cd build/release && cpack -G DEB

# The same package made from the optimised build that the tests built, with its debug symbols,
# through lintian: any error fails; warnings and notes show (about half a minute once built).
test-package: opt
	cd build/opt && cpack -G DEB
	lintian --fail-on error -I --tag-display-limit 0 \
	  build/opt/velmar_$(VERSION)_amd64.deb build/opt/velmar-dbgsym_$(VERSION)_amd64.ddeb

# The README's picture of the window: taken under Xvfb during a program load into the emulator.
screenshot: test-release
	VELMAR_SCREENSHOT=$(CURDIR)/docs/window.png xvfb-run -a --server-args="-screen 0 1024x768x24" \
	  build/opt/tests/window_wx/wx_window_test --gtest_filter='Samples/WxLoadTest.*/Program'

# About 3 minutes: loads into the emulator paced at real line rates, a station's wake-ups and
# idle CPU; prints the README's tables.
bench: build
	build/release/bench/velmar-bench

# The same cases through velmar-load.exe under Wine, on a pseudo-terminal named COM20 there.
bench-windows: build windows
	bench/wine_bench.sh build/windows build/release

# The optimised build with its tests and no sanitizer, so that optimiser-only warnings and
# timing faults show; the Windows tests load into its emulator. Its tests include loads through
# Debian's ser2net (ctest -L ser2net, about 15 s), which the sanitizer builds leave out.
opt: deps
	cmake -S . -B build/opt -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/opt -j $(JOBS)

test-release: opt
	cd build/opt && ctest $(CTEST_FLAGS) -LE kernel

# velmar-load in a QEMU guest on Debian's own kernel and serial drivers (8250 on a 16550A,
# ftdi_sio on QEMU's FTDI adapter) against build/opt's emulated printer: one boot runs the whole
# scenario table of tests/kernel (about a minute; as root, who may read the kernel in /boot).
test-kernel: opt
	cd build/opt && ctest $(CTEST_FLAGS) -L kernel -V

# velmar-load.exe, the window velmar.exe and the core's tests for 64-bit Windows, cross-built
# with mingw-w64.
windows: deps
	cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/windows -j $(JOBS)

# The installer build/windows/velmar-VERSION-win64-setup.exe (NSIS; /S installs silently) and
# the portable build/windows/velmar-VERSION-win64.zip, from installer/.
windows-package: windows
	cmake --build build/windows --target velmar-package

# The Windows build's tests under Wine, then loads through velmar-load.exe into the emulator
# that the optimised Linux build made, then the installer and zip (about a minute and a quarter
# once both are built).
test-windows: windows-package opt
	tests/windows/run.sh build/windows build/opt

# The README's picture of the Windows window: velmar.exe under Wine on Xvfb, mid-load into
# the emulator.
screenshot-windows: windows-package opt
	VELMAR_SCREENSHOT=$(CURDIR)/docs/window-windows.png tests/windows/run.sh build/windows build/opt

test-asan: deps
	cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DVELMAR_SANITIZE=address
	cmake --build build/asan -j $(JOBS)
	cd build/asan && ctest $(CTEST_FLAGS) -LE 'reliability|kernel|ser2net'

test-tsan: deps
	cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DVELMAR_SANITIZE=thread
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest $(CTEST_FLAGS) -LE 'reliability|kernel|ser2net'

# Builds the fuzz targets with clang under ASan+UBSan, replays their seeds and kept regressions,
# then fuzzes each for FUZZ_SECONDS, two at a time (about 2.5 minutes).
test-fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh

test: test-release test-kernel test-windows test-package test-asan test-tsan test-fuzz

format:
	find platform datafile transport engine texts settings ui app window_wx window_win32 cli emulator tests bench fuzz \
	  -name '*.cpp' -o -name '*.h' | xargs -r clang-format -i

clean:
	rm -rf build
