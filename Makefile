# make test: install what is missing, configure, build, run every test under Wine.
# make test-wine10: build, then run the DLL's families, ryftp's and the demo under Wine 10
#   in a Debian 13 root made once under the build tree (see docs/platforms.md).
# make test-fresh: the README's make demo and make test in a fresh Debian 12 root made with
#   debootstrap, from a clean clone, on each route the kernel allows; prints each verdict.
# make demo: build what the demo runs, then run ryftp on a sample session against a local FTP
#   server it starts.
# make demo-automation: build, then run the VBScript example through the automation server
#   (RyInet.Session) against a local FTP server it starts.
# make dist: the release, from a build tree of its own without the test bench:
#   dist/ryinet-VERSION-win32.zip and dist/SHA256SUMS. With SIGN_CERT=cert.pem
#   SIGN_KEY=key.pem the DLL and programs are signed (Authenticode SHA-256) first.
# make screenshots: build, then take the Explorer's pictures in docs/ again.
# make fuzz: build the fuzz targets natively with clang and run each for FUZZ_SECONDS.
# make soak: build, then run the whole suite N times (3 by default), each time on fresh
#   Wine prefixes, and name each test that did not pass every time (not part of CI).
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS = -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-i686-mingw.cmake -DCMAKE_BUILD_TYPE=Release
# TEST_NET=127.9.0 puts the build's FTP servers on other loopback addresses (kept in the
# build's cache), so two build trees can run their tests at once.
ifdef TEST_NET
CMAKE_FLAGS += -DRYINET_TEST_NET=$(TEST_NET)
endif

DIST ?= dist
RELEASE_BUILD ?= $(BUILD)/release
ifdef SIGN_CERT
SIGN_FLAGS = --sign-cert $(SIGN_CERT) --sign-key $(SIGN_KEY)
endif

FUZZ_SECONDS ?= 150
FUZZ_TARGETS = listing command_line phonebook kit

.PHONY: all deps configure build test test-wine10 test-fresh soak demo demo-automation bench bench-transfers dist screenshots fuzz clean

all: build

deps:
	@sh cmake/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Runs a command on the way 32-bit code runs here (native, or emulated by qemu-user;
# RYINET_I386=emulated chooses emulation for that command alone), after one line naming
# it: emulated timings are not comparable with native ones.
ROUTE = @sh cmake/i386-route.sh with

test: build
	$(ROUTE) sh -c 'cd $(BUILD) && ctest --output-on-failure'

# The second platform: Wine 10 of Debian 13, in a root kept under the build tree and made
# again only when its package list changes (cmake/wine-root.sh); wine-run.sh runs Wine
# there when RYINET_WINE_ROOT names it.
WINE10_ROOT = $(abspath $(BUILD))/wine10-root
WINE10_TESTS = ^(frame_test|listing_test|remote_ops_test|no_internet_test|missing_entry_test|netinfo_test|dialup_test|boxes_e2e_test|ryftp_test|ryftp_launcher|explorer_test|automation_test)$$

test-wine10: build
	sh cmake/wine-root.sh $(WINE10_ROOT)
	$(ROUTE) env RYINET_WINE_ROOT=$(WINE10_ROOT) sh -c 'sh cmake/wine-run.sh --build $(BUILD) --version && \
		(cd $(BUILD) && ctest --output-on-failure -R "$(WINE10_TESTS)") && sh tools/demo.sh $(BUILD)'

N ?= 3
soak: build
	$(ROUTE) sh tests/soak.sh $(BUILD) $(N)

# The demo builds what it runs (ryftp, the library, the stand-ins), not the test bench.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target demo_programs
	$(ROUTE) sh tools/demo.sh $(BUILD)

demo-automation: build
	$(ROUTE) sh tools/automation/demo.sh $(BUILD)

bench: build
	$(ROUTE) sh bench/run.sh $(BUILD)

# The README's two commands on a fresh Debian 12 root from a clean clone of HEAD, on each
# route this kernel allows (not part of CI: about as long as make test, twice natively).
test-fresh: deps
	sh tests/fresh/test_fresh.sh . $(BUILD)

bench-transfers: build
	sh bench/ryftp_transfers.sh $(BUILD)

screenshots: build
	sh tools/screenshots/screenshots.sh $(BUILD)

fuzz: deps
	cmake -S tests/fuzz -B $(BUILD)/fuzz -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	for t in $(FUZZ_TARGETS); do sh tests/fuzz/run.sh $(BUILD)/fuzz $$t $(FUZZ_SECONDS) || exit 1; done

dist: deps
	cmake -S . -B $(RELEASE_BUILD) $(CMAKE_FLAGS) -DRYINET_TESTS=OFF
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	python3 cmake/dist.py $(RELEASE_BUILD) $(DIST) $(SIGN_FLAGS)

clean:
	rm -rf $(BUILD) $(DIST)
