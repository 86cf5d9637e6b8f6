# The two commands of the README: `make demo` and `make test`. Both set up what a fresh machine
# lacks (the project's .venv, and Debian packages for the C++ side when run as root).
PYTHON ?= python3
VENV := .venv
PY := $(VENV)/bin/python
BUILD := build
ASAN_BUILD := build-asan
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CMAKE_CONFIGURE = cmake -S . $(GENERATOR) -DPython_EXECUTABLE=$(abspath $(PY))

.PHONY: all demo test setup system-deps venv build test-core test-python test-asan tables clean \
  format fuzz fuzz-build fuzz-short bench test-install test-portable web test-web

all: build

setup: system-deps venv

system-deps:
	@sh tools/install_system_deps.sh

venv: $(VENV)/.ready
$(VENV)/.ready: requirements-dev.txt
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install --quiet --disable-pip-version-check -r requirements-dev.txt
	touch $@

# The development builds count the work of index searches, which the bounds tests bound; the
# benchmarks and the wheel do not.
build: setup
	$(CMAKE_CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DGLYPHLOOM_COUNT_WORK=ON
	cmake --build $(BUILD) -j2

demo: build
	PYTHONPATH=$(BUILD)/python:python $(PY) examples/demo.py

# Everything: the core and the module; a user's program against the installed tree; the core
# over the generated-source image; the playground in a browser; all again under AddressSanitizer
# and UBSan, and a short run of every fuzz target from its seeds.
test: build test-core test-python test-install test-portable test-web test-asan fuzz-short

test-core: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

test-python: build
	PYTHONPATH=$(BUILD)/python:python $(PY) -m pytest tests/python -q

# A user's program built against `cmake --install` of the build: through find_package and
# through pkg-config.
INSTALL_TEST := build-install
test-install: build
	sh tools/test_install.sh $(BUILD) $(INSTALL_TEST)

# The core tests over the default image embedded as a generated C++ source, the way MSVC and
# macOS builds embed it (the core tests only: the module reads the image through the same
# function).
PORTABLE_BUILD := build-portable
test-portable: setup
	$(CMAKE_CONFIGURE) -B $(PORTABLE_BUILD) -DCMAKE_BUILD_TYPE=Release -DGLYPHLOOM_EMBED=source \
	  -DGLYPHLOOM_BUILD_PYTHON=OFF -DGLYPHLOOM_COUNT_WORK=ON
	cmake --build $(PORTABLE_BUILD) -j2 --target glyphloom_core_tests
	$(PORTABLE_BUILD)/glyphloom_core_tests --gtest_brief=1

# The core as WebAssembly, the index in chunks and the playground, in web/dist/ (see web/Makefile).
web:
	$(MAKE) -C web -j2

# The playground in headless Chromium, against the Python package; skipped without emscripten
# or chromium.
test-web: build
	@if command -v em++ >/dev/null && command -v chromium >/dev/null; then $(MAKE) web && \
	  PYTHONPATH=$(BUILD)/python:python $(PY) -m pytest tests/web -q; \
	else echo "test-web: skipped (needs emscripten and chromium)"; fi

# The core tests and the module's tests again, built with AddressSanitizer and UBSan. Python
# itself is not instrumented, so the sanitizer runtime (and the C++ runtime whose exceptions it
# intercepts) is preloaded; leaks are left to the leak tests, as the interpreter keeps memory
# until exit by design.
ASAN_PRELOAD = $(shell gcc -print-file-name=libasan.so) $(shell gcc -print-file-name=libstdc++.so)
test-asan: setup
	$(CMAKE_CONFIGURE) -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DGLYPHLOOM_SANITIZE=ON \
	  -DGLYPHLOOM_COUNT_WORK=ON
	cmake --build $(ASAN_BUILD) -j2
	$(ASAN_BUILD)/glyphloom_core_tests --gtest_brief=1
	LD_PRELOAD="$(ASAN_PRELOAD)" ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1 \
	  PYTHONPATH=$(ASAN_BUILD)/python:python $(PY) -m pytest tests/python -q -s -p no:cacheprovider \
	  -m "not wheel"

# Fuzzing with libFuzzer (clang): `make fuzz FUZZ_SECONDS=600` for a long run.
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60
fuzz-build: setup
	CC=clang-14 CXX=clang++-14 cmake -S . $(GENERATOR) -B $(FUZZ_BUILD) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYPHLOOM_BUILD_FUZZ=ON -DGLYPHLOOM_SANITIZE=ON \
	  -DGLYPHLOOM_BUILD_TESTS=OFF -DGLYPHLOOM_BUILD_PYTHON=OFF
	cmake --build $(FUZZ_BUILD) -j2

fuzz: fuzz-build
	sh tools/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# About a minute in all: a regression that any seed reaches fails the build.
fuzz-short: fuzz-build
	sh tools/run_fuzzers.sh $(FUZZ_BUILD) 12

# Regenerates the default image's table files from the vendored sources.
tables: venv
	$(PY) tools/generate_tables.py

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp')

# Benchmarks: Google Benchmark over the core (bytes per second, allocations per call), then the
# module side by side with what users would use instead (bench/compare.py), then the package's
# search (bench/search.py). A Release build of
# its own, with the benchmarks, and `emoji` in the project's .venv for the comparison.
BENCH_BUILD := build-bench
BENCH_MIN_TIME ?= 0.2
$(VENV)/.bench-ready: requirements-bench.txt $(VENV)/.ready
	$(PY) -m pip install --quiet --disable-pip-version-check -r requirements-bench.txt
	touch $@

bench: setup $(VENV)/.bench-ready
	$(CMAKE_CONFIGURE) -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DGLYPHLOOM_BUILD_BENCH=ON
	cmake --build $(BENCH_BUILD) -j2 --target glyphloom_bench _glyphloom glyphloom_native \
	  glyphloom_search_data
	$(BENCH_BUILD)/glyphloom_bench --benchmark_min_time=$(BENCH_MIN_TIME)
	PYTHONPATH=$(BENCH_BUILD)/python:python $(PY) bench/compare.py
	PYTHONPATH=$(BENCH_BUILD)/python:python $(PY) bench/short_calls.py
	PYTHONPATH=$(BENCH_BUILD)/python:python $(PY) bench/search.py

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(PORTABLE_BUILD) $(INSTALL_TEST) \
	  build-wheel
