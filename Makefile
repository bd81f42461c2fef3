# Quick start: `make demo` and `make test`. Both first install what is missing
# from Debian's packages (as root; otherwise they print the apt-get line).

BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
TSAN_BUILD ?= build-tsan
JOBS ?= 2
FUZZ_SECONDS ?= 20
# --no-history: Octave 7 otherwise prints an "error:" line at every exit.
OCTAVE = octave-cli --no-gui --norc --quiet --no-window-system --no-history

PACKAGES = g++ make cmake libgtest-dev libgmock-dev libbenchmark-dev octave octave-dev gnuplot-nox \
           clang libclang-rt-14-dev clang-format g++-aarch64-linux-gnu qemu-user \
           pybind11-dev python3-dev python3-numpy python3-pytest python3-setuptools python3-pip \
           python3-wheel python3-venv python3-matplotlib python3-dask python3-distributed \
           python3-sklearn libmpfr-dev g++-mingw-w64-x86-64-posix wine64 g++-i686-linux-gnu

.PHONY: all demo test setup configure build plugins dist sanitize tsan fuzz mutate valgrind bench bench-sysid crcheck clean

all: build

setup:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' \
	    || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" -eq 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
	  else \
	    echo "Missing packages. Install them with:"; \
	    echo "  sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

# What the demo needs and no more: a compiler, CMake and Octave.
DEMO_PACKAGES = g++ make cmake octave octave-dev gnuplot-nox

# The project's own code builds with warnings as errors here (and so in CI).
configure: setup
	cmake -S . -B $(BUILD) -DLOCALMODELS_WERROR=ON -DBUILD_TESTS=ON -DBUILD_BENCHMARKS=ON \
	  -DBUILD_PYTHON=ON

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The plug-ins and the toolbox's M-files.
plugins: configure
	cmake --build $(BUILD) -j $(JOBS) --target plugins

# The demo installs and builds only what it runs: no tests, benchmarks or
# Python (a later `make build` or `make test` configures them back).
demo:
	$(MAKE) --no-print-directory setup PACKAGES="$(DEMO_PACKAGES)"
	cmake -S . -B $(BUILD) -DLOCALMODELS_WERROR=ON -DBUILD_TESTS=OFF -DBUILD_BENCHMARKS=OFF \
	  -DBUILD_PYTHON=OFF
	cmake --build $(BUILD) -j $(JOBS) --target plugins
	$(OCTAVE) --eval "addpath('$(CURDIR)/$(BUILD)/octave'); addpath('$(CURDIR)/demo'); \
	  identify_system(struct('figure', '$(CURDIR)/$(BUILD)/identify_system.png'));"

# The Octave package: build/localmodels-<version>.tar.gz, for pkg install.
dist:
	sh tools/make_dist.sh $(CURDIR)/$(BUILD)

# The standalone tests again under AddressSanitizer and UndefinedBehavior-
# Sanitizer, and each fuzz target for FUZZ_SECONDS (Clang and libFuzzer).
# Asserts stay on here (no NDEBUG).
sanitize: setup
	CC=clang CXX=clang++ cmake -S . -B $(SANITIZE_BUILD) -DBUILD_FUZZERS=ON \
	  -DBUILD_OCTAVE_PLUGINS=OFF -DBUILD_BENCHMARKS=OFF -DFUZZ_SECONDS=$(FUZZ_SECONDS) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
	  -DLOCALMODELS_WERROR=ON
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)

# The two GoogleTest suites under ThreadSanitizer (Clang): test_threads.cpp
# runs every threaded worker on 2, 3 and 7 threads, and `make test` sets
# LOCALMODELS_THREADS=3 so that the plug-ins' calls run threaded too.
tsan: setup
	CC=clang CXX=clang++ cmake -S . -B $(TSAN_BUILD) -DTHREAD_SANITIZE=ON \
	  -DBUILD_OCTAVE_PLUGINS=OFF -DBUILD_BENCHMARKS=OFF \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
	  -DLOCALMODELS_WERROR=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target core_tests plugin_tests

test: build sanitize tsan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(TSAN_BUILD) && LOCALMODELS_THREADS=3 TSAN_OPTIONS=halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) -L gtest

# A longer fuzzing run: make fuzz FUZZ_SECONDS=600
fuzz: sanitize
	cd $(SANITIZE_BUILD) && ctest -R '^fuzz_' --output-on-failure -j $(JOBS)

# Plants each mutant of tools/mutants.txt in the core, reruns the GoogleTest suites, restores it.
mutate: setup
	python3 tools/mutate.py

# The Octave test scripts once under valgrind (a few minutes); the summary
# names every report, and none may come from a .mex file.
valgrind: build
	valgrind --leak-check=full --errors-for-leak-kinds=definite --num-callers=40 \
	  --log-file=$(BUILD)/valgrind.log $(OCTAVE) --eval "addpath('$(CURDIR)/$(BUILD)/octave'); \
	  addpath('$(CURDIR)/demo'); addpath('$(CURDIR)/tests/octave'); \
	  test_nearpoly; test_network; test_gridval; test_demo"
	@grep -E 'ERROR SUMMARY|definitely lost:' $(BUILD)/valgrind.log
	@! grep -E 'Invalid (read|write)|uninitialised' $(BUILD)/valgrind.log
	@! grep -E '\.mex' $(BUILD)/valgrind.log

# Benchmarks: every workload in Google Benchmark (medians of
# BENCH_REPETITIONS), then the plug-ins timed from Octave, the one-point calls
# from Python against them, then the peers in Python when scipy and
# scikit-learn import; each prints its ratios.
BENCH_REPETITIONS ?= 7
DATA ?= ../shared/data
SYSID_BENCH ?=
bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target bench_programs plugins localmodels_python
	for p in bench_gridval bench_netsim bench_calls bench_nearpoly bench_narx bench_training; do \
	  $(BUILD)/bench/$$p --benchmark_repetitions=$(BENCH_REPETITIONS) \
	    --benchmark_report_aggregates_only=true || exit 1; \
	done
	$(OCTAVE) --eval "addpath('$(CURDIR)/bench'); octave_bench('$(CURDIR)/$(BUILD)', $(BENCH_REPETITIONS))"
	PYTHONPATH=$(CURDIR)/$(BUILD)/python /usr/bin/python3 bench/python_calls.py $(BUILD) $(BENCH_REPETITIONS)
	@if /usr/bin/python3 -c 'import scipy, sklearn' 2>/dev/null; then \
	  /usr/bin/python3 bench/peers.py $(BUILD) $(BENCH_REPETITIONS); \
	else \
	  echo "Peers skipped: install python3-scipy and python3-sklearn to time them."; \
	fi
	$(MAKE) --no-print-directory bench-sysid

# Identification on the real records of DATA only, in Python and Octave
# (several minutes; SYSID_BENCH=--quick for a small grid in Python).
bench-sysid: build
	/usr/bin/python3 bench/sysid_benchmark.py $(DATA) $(SYSID_BENCH)
	$(OCTAVE) --eval "addpath('$(CURDIR)/$(BUILD)/octave'); addpath('$(CURDIR)/bench'); \
	  sysid_benchmark('$(DATA)', true);"

# The core's exp and pow against GNU MPFR on 10^7 arguments each (about a
# minute on two cores; CRCHECK_COUNT changes the count).
CRCHECK_COUNT ?= 10000000
crcheck: configure
	cmake --build $(BUILD) -j $(JOBS) --target crcheck
	$(BUILD)/tests/crcheck $(CRCHECK_COUNT)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD)
