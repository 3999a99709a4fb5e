# Two build trees: native (core, mksetup, native tests) and Windows (Setup.exe
# and the tests that run under Wine). Every target sets the machine up first.
NATIVE := out/build-native
WIN    := out/build-win
ASAN   := out/build-asan
FUZZ   := out/build-fuzz
FUZZ_SECONDS ?= 180
JOBS   ?= $(shell nproc)

TOOLS  := out/tools
VERSION := $(shell cat VERSION)

.PHONY: all bootstrap build native windows test test-native test-sanitize test-windows demo bench fuzz lint clean tools dist

all: build

bootstrap:
	@bash scripts/bootstrap.sh

build: bootstrap
	@$(MAKE) --no-print-directory native windows

native:
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

windows:
	@cmake -S . -B $(WIN) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
	  -DCMAKE_CROSSCOMPILING_EMULATOR=$(CURDIR)/scripts/wine-run.sh >/dev/null
	@cmake --build $(WIN) -j $(JOBS)

test: build
	@$(MAKE) --no-print-directory test-native test-sanitize test-windows

test-native:
	@ctest --test-dir $(NATIVE) --output-on-failure

# The native tests and the fuzz corpus replay again, under AddressSanitizer
# and UndefinedBehaviorSanitizer.
SANITIZE := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
test-sanitize:
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS="$(SANITIZE)" -DCMAKE_CXX_FLAGS="$(SANITIZE)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE)" -DSETUP_OUTPUT_DIR=$(CURDIR)/$(ASAN)/bin >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@ctest --test-dir $(ASAN) --output-on-failure

# libFuzzer on every target for FUZZ_SECONDS each; new crash inputs land in
# fuzz/crashes/<target>/, which the replay then runs for good.
fuzz: bootstrap
	@bash scripts/fuzz.sh $(FUZZ) $(FUZZ_SECONDS)

test-windows:
	@bash scripts/with-display.sh ctest --test-dir $(WIN) --output-on-failure

demo: build
	@bash scripts/demo.sh

clean:
	rm -rf out

# Only what we ship, without the tests: the Linux mksetup, mksetup.exe and the
# bare Setup.exe, in out/tools/bin. `dist` packs them with the docs, the example
# product and a CI recipe into out/dist/plugin-setup-tools-VERSION.tar.gz.
tools:
	@bash scripts/bootstrap.sh --tools
	@cmake -S . -B $(TOOLS)/native -DCMAKE_BUILD_TYPE=Release -DSETUP_TESTS=OFF -DSETUP_OUTPUT_DIR=$(CURDIR)/$(TOOLS)/bin >/dev/null
	@cmake --build $(TOOLS)/native -j $(JOBS) --target mksetup
	@cmake -S . -B $(TOOLS)/windows -DCMAKE_BUILD_TYPE=Release -DSETUP_TESTS=OFF -DSETUP_OUTPUT_DIR=$(CURDIR)/$(TOOLS)/bin \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(TOOLS)/windows -j $(JOBS) --target Setup mksetup
	@echo "tools: $(TOOLS)/bin: mksetup, mksetup.exe, Setup.exe ($(VERSION))"

dist: tools
	@bash scripts/dist.sh $(TOOLS)/bin out/dist

bench: build
	@bash scripts/with-display.sh python3 bench/run_bench.py

# Static checks: each room of the sources includes only the rooms below it
# (scripts/check-rooms.py), cppcheck on every source of ours (the Windows layer included),
# clang-tidy with .clang-tidy on what the native tree compiles. A finding that
# is cppcheck's mistake is suppressed on its line, with the reason beside it
# (// cppcheck-suppress <id> ; why).
lint: bootstrap
	@$(MAKE) --no-print-directory native
	@python3 scripts/check-rooms.py
	@cppcheck --quiet --error-exitcode=1 --inline-suppr --enable=warning,performance,portability --std=c++17 \
	  -D_WIN32 -DWIN32 $(addprefix -I ,$(wildcard src/core/*/ src/windows/*/)) -I src/ui src tools fuzz
	@run-clang-tidy -quiet -p $(NATIVE) "$(CURDIR)/(src|tools|fuzz)/" >out/clang-tidy.log 2>&1 || \
	  { grep -E -A3 'warning:|error:' out/clang-tidy.log; exit 1; }
	@echo "lint: clean"
