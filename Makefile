# The set-up and the everyday commands; see README.md.
#   make          build the programs (Release) into build/bin/
#   make demo     install what is missing, build, render examples/ to build/demo/
#   make test     install what is missing, build with sanitizers, run every test
#   make bench    measure the programs against plain libical work
#   make fuzz     build the fuzz targets with clang and run each (FUZZ_SECONDS)
#   make install  install programs, manual pages and style sheet (PREFIX, DESTDIR)
#   make package  build a Debian package with CPack

PREFIX ?= /usr/local
DESTDIR ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60
BUILD_PACKAGES = g++ cmake make pkg-config libical-dev libicu-dev
TEST_PACKAGES = $(BUILD_PACKAGES) googletest libgtest-dev groff-base clang libclang-rt-14-dev \
  lintian python3 python3-icalendar
# The browser test's; without Chromium that one test is skipped, so a failed
# install does not stop the others.
BROWSER_PACKAGES = chromium fonts-dejavu-core
SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all build demo test bench fuzz install package screenshot clean deps test-deps

all: build

# Installs the Debian packages named in PACKAGES that are not installed yet.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(BUILD_PACKAGES))

test-deps:
	$(call install_missing,$(TEST_PACKAGES))
	-$(call install_missing,$(BROWSER_PACKAGES))
	@# Node.js may come from elsewhere than Debian, with its own npm: look
	@# for the commands, not for Debian's packages.
	-@command -v node >/dev/null && command -v npm >/dev/null || { \
	  echo "Installing: nodejs npm"; $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends nodejs npm; }
	-@[ -d tests/browser/node_modules/puppeteer-core ] && [ -d tests/browser/node_modules/axe-core ] || \
	  { cd tests/browser && npm ci --no-audit --no-fund --loglevel=error; }
	-@[ -d tests/roundtrip/node_modules/ical.js ] || \
	  { cd tests/roundtrip && npm ci --no-audit --no-fund --loglevel=error; }

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	cmake --build build -j $(JOBS)

# The demo page is made as the README's publishing script makes a page.
demo: deps build
	sh examples/demo.sh build/bin/evtable build/demo
	@echo "Open $(CURDIR)/build/demo/calendar.html"

# The test build is clang's: one build serves the programs, the unit tests
# and the fuzz targets (EVTOOLS_FUZZ), all with the sanitizers, the code under
# test at -O1 as the sanitizers advise. A test checks the programs' sources
# with g++, the compiler of a plain build, as well. The debugging information
# is the line tables the sanitizers' reports need (an eighth of the build's
# time less); configure a build of your own for a debugger.
test: test-deps
	@# A test build folder of another compiler (before clang's) starts afresh.
	@if [ -f build/test/CMakeCache.txt ] && \
	  ! grep -q '^CMAKE_CXX_COMPILER:.*clang++$$' build/test/CMakeCache.txt; then \
	  echo "build/test was configured for another compiler: starting it afresh"; rm -rf build/test; fi
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS_DEBUG="-gline-tables-only -O1" \
	  -DEVTOOLS_SANITIZE=ON -DEVTOOLS_WERROR=ON -DEVTOOLS_FUZZ=ON >/dev/null
	cmake --build build/test -j $(JOBS)
	cd build/test && ctest --output-on-failure -j $(JOBS)

bench: deps build
	cmake --build build -j $(JOBS) --target bench_programs
	bash bench/run.sh

fuzz: test-deps
	bash fuzz/run.sh $(FUZZ_SECONDS)

install: deps build
	DESTDIR=$(DESTDIR) cmake --install build --prefix $(PREFIX)

package: deps build
	cd build && cpack -G DEB

screenshot: demo
	bash tests/screenshot.sh build/demo/calendar.html doc/demo.png
	SCREENSHOT_WIDTH=390 SCREENSHOT_HEIGHT=844 \
	  bash tests/screenshot.sh build/demo/calendar.html doc/demo-phone.png

clean:
	rm -rf build
