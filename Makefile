# The two commands of the README: `make run` and `make test`. Both install what is missing
# from Debian first, then configure and build in build/.
SHELL := /bin/bash
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Warnings as errors in the project's own builds (CI's and a developer's); a packager's plain
# cmake build leaves them off.
WERROR ?= ON

PACKAGES := cmake make g++ pkg-config qt6-base-dev libgl-dev libjpeg62-turbo-dev libnova-dev \
            libexif-dev \
            libjpeg-turbo-progs libgtest-dev libbenchmark-dev fonts-dejavu-core \
            dpkg-dev lintian desktop-file-utils appstream clang-format
FUZZ_PACKAGES := clang libclang-rt-14-dev
# The real Moon's albedo map some precision tests render with; alone, without the planetarium
# program its package recommends.
TEST_DATA_PACKAGES := stellarium-data
DESKTOP_PACKAGES := xvfb x11-utils xdotool dbus at-spi2-core python3-pyatspi

# Installs the missing ones among the packages given (with the apt-get options given second): as
# root with apt-get, else through sudo.
define install_packages
	@missing=$$(for p in $(1); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing Debian packages:" $$missing; \
	  if [ "$$(id -u)" = 0 ]; then sudo=; \
	  elif command -v sudo >/dev/null 2>&1; then sudo=sudo; \
	  else echo "error: missing packages:" $$missing "- run as root or install sudo, or install them yourself." >&2; exit 1; fi; \
	  $$sudo apt-get update -q && \
	  $$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $(2) $$missing || \
	  { echo "error: could not install:" $$missing >&2; exit 1; }; \
	fi
endef

.PHONY: all deps build run test deb sanitize format-check fuzz fuzz-run bench check-desktop screenshots install clean

all: build

deps:
	$(call install_packages,$(PACKAGES))

build: deps
	cmake -S . -B $(BUILD) -DKORVALEN_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/app/korvalen

test: build
	$(call install_packages,$(TEST_DATA_PACKAGES),--no-install-recommends)
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The Debian package $(BUILD)/korvalen_<version>_amd64.deb, made by CPack from the install rules.
deb: build
	cd $(BUILD) && cpack -G DEB

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, in its own tree.
# Warnings stay warnings there: the sanitizers change what the optimiser sees, and with it what
# g++ warns about, while the code is the one the plain build already checks.
sanitize:
	$(MAKE) test BUILD=build-sanitize WERROR=OFF CMAKE_FLAGS="-DKORVALEN_SANITIZE=ON -DKORVALEN_BENCHMARKS=OFF"

# Every tracked C++ file as the repository's .clang-format has it; lists the ones that differ.
format-check: deps
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

# libFuzzer programs for the picture readers, with the readers themselves instrumented for
# coverage (fuzzer-no-link); only the fuzz targets are built. `make fuzz-run` runs them all;
# one alone with e.g. (new inputs go to the first folder, the committed corpus is only read)
#   build-fuzz/tests/fuzz/fuzz_jpeg -max_total_time=300 /tmp/new tests/fuzz/corpus/fuzz_jpeg
fuzz:
	$(call install_packages,$(PACKAGES) $(FUZZ_PACKAGES))
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKORVALEN_FUZZ=ON -DKORVALEN_BENCHMARKS=OFF \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link"
	cmake --build build-fuzz -j $(JOBS) --target fuzzers

# Each fuzz program for FUZZ_SECONDS on its corpus; fails on any finding and prints the
# executions and the coverage per program.
FUZZ_SECONDS ?= 600
fuzz-run: fuzz
	tests/fuzz/run_fuzzers.sh build-fuzz $(FUZZ_SECONDS)

# Each benchmark program once; the build's *_autogen folders match the pattern too.
bench: build
	@ran=0; for b in $(BUILD)/tests/bench/bench_*; do \
	  [ -f "$$b" ] && [ -x "$$b" ] || continue; \
	  echo "== $$b"; QT_QPA_PLATFORM=offscreen "$$b" || exit 1; ran=$$((ran + 1)); \
	done; \
	[ "$$ran" -gt 0 ] || { echo "error: no benchmark program in $(BUILD)/tests/bench" >&2; exit 1; }; \
	echo "$$ran benchmark programs ran"

# Checks that need a real X server (Xvfb): the window's icon name as task lists read it, and
# the texts of both pages and of the open dialog as a screen reader reads them (AT-SPI).
check-desktop: build
	$(call install_packages,$(DESKTOP_PACKAGES))
	tests/scripts/check_icon_name.sh $(BUILD)/app/korvalen
	tests/scripts/check_atspi.sh $(BUILD)/app/korvalen

# Retakes the README's screenshots in docs/ under Xvfb, on synthsample's photograph.
SCREENSHOT_PACKAGES := xvfb xdotool imagemagick xclip
screenshots: build
	$(call install_packages,$(SCREENSHOT_PACKAGES))
	docs/screenshots.sh $(BUILD)/app/korvalen $(BUILD)/tests/synth/synthsample

PREFIX ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf build build-sanitize build-fuzz
