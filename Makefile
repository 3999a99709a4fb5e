# Two build trees: native (core, mksetup, native tests) and Windows (Setup.exe
# and the tests that run under Wine). Every target sets the machine up first.
NATIVE := out/build-native
WIN    := out/build-win
JOBS   ?= $(shell nproc)

.PHONY: all bootstrap build native windows test test-native test-windows demo bench clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

build: bootstrap
	@$(MAKE) --no-print-directory native windows

native:
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

windows:
	@cmake -S . -B $(WIN) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
	  -DCMAKE_CROSSCOMPILING_EMULATOR=$(CURDIR)/scripts/wine-run.sh >/dev/null
	@cmake --build $(WIN) -j $(JOBS)

test: build
	@$(MAKE) --no-print-directory test-native test-windows

test-native:
	@ctest --test-dir $(NATIVE) --output-on-failure

test-windows:
	@bash scripts/with-display.sh ctest --test-dir $(WIN) --output-on-failure

demo: build
	@bash scripts/demo.sh

clean:
	rm -rf out

bench: build
	@bash scripts/with-display.sh python3 bench/run_bench.py
