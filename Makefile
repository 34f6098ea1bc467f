# make test: install what is missing, configure, build, run every test under Wine.
# make demo: build, then run ryftp on a sample session against a local FTP server it starts.
# make screenshots: build, then take the Explorer's pictures in docs/ again.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS = -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-i686-mingw.cmake -DCMAKE_BUILD_TYPE=Release
# TEST_NET=127.9.0 puts the build's FTP servers on other loopback addresses (kept in the
# build's cache), so two build trees can run their tests at once.
ifdef TEST_NET
CMAKE_FLAGS += -DRYINET_TEST_NET=$(TEST_NET)
endif

.PHONY: all deps configure build test demo bench bench-get screenshots clean

all: build

deps:
	@sh cmake/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure

demo: build
	sh tools/demo.sh $(BUILD)

bench: build
	sh bench/run.sh $(BUILD)

bench-get: build
	sh bench/ryftp_get.sh $(BUILD)

screenshots: build
	sh examples/explorer/screenshots.sh $(BUILD)

clean:
	rm -rf $(BUILD)
