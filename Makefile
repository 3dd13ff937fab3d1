# The two set-up commands of the README (make demo, make test) and a few more.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-tsan
# Seconds each fuzz harness runs for in `make fuzz`.
FUZZ_SECONDS ?= 30
STRESS_SECONDS ?= 5
TSAN_RUN_OPTIONS := halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp
JOBS       ?= 2
DEMO       ?= demo-output

# Where `make install` puts the command, the libraries and the headers: no root needed.
PREFIX     ?= $(HOME)/.local

.PHONY: all deps test-deps build demo test install package sanitize tsan fuzz bench clean

all: build

# What building needs; test-deps adds what the tests, benchmarks and fuzzing need.
deps:
	@bash setup/install-deps.sh
test-deps:
	@bash setup/install-deps.sh --tests
	@bash setup/install-node-packages.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

# Makes a CAPTCHA with the default settings: the image, its code and hash, and the code spoken.
# Only the command and the component library beside it (which its register command loads)
# are built: a configured build on a machine with GoogleTest also holds every test program,
# which this job never runs.
demo: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS) --target quillgate quillgate_module
	@mkdir -p $(DEMO)
	@report=$$($(BUILD)/quillgate image -o $(DEMO)/captcha.jpg) && echo "$$report" && \
	  echo "Image: $(DEMO)/captcha.jpg" && \
	  $(BUILD)/quillgate sound --code "$$(echo "$$report" | sed -n 's/^Code: //p')" \
	    -o $(DEMO)/captcha.wav && \
	  echo "Sound: $(DEMO)/captcha.wav"

# Configured again, so that tests and benchmarks whose libraries were just installed are built.
test: test-deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLGATE_TESTS=ON -DQUILLGATE_BENCHMARKS=ON
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The command, both libraries, the headers and the CMake and pkg-config files under PREFIX.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, quillgate_<version>_amd64.deb, in $(BUILD).
package: build
	cd $(BUILD) && cpack -G DEB

# The tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: test-deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUILLGATE_SANITIZE=ON -DQUILLGATE_TESTS=ON -DQUILLGATE_BENCHMARKS=OFF
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j$(JOBS)

# The libFuzzer harnesses of fuzz/, built with clang, each run for FUZZ_SECONDS from its
# committed corpus. New inputs go to $(FUZZ_BUILD)/corpus; a crash stops the run and is
# saved in $(FUZZ_BUILD)/crashes: fix it, then add it to fuzz/<harness>/corpus.
FUZZ_HARNESSES = registrar_script registry_file type_library invoke image_settings service_input
fuzz: test-deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUILLGATE_FUZZ=ON -DQUILLGATE_BENCHMARKS=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz_harnesses
	@set -e; for h in $(FUZZ_HARNESSES); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$h $(FUZZ_BUILD)/crashes/$$h; \
	  echo "fuzz: $$h for $(FUZZ_SECONDS) s"; \
	  log=$(FUZZ_BUILD)/fuzz-$$h.log; \
	  if ! LSAN_OPTIONS=suppressions=fuzz/lsan.supp $(FUZZ_BUILD)/fuzz/fuzz_$$h -max_total_time=$(FUZZ_SECONDS) -timeout=20 \
	      -rss_limit_mb=4096 -max_len=4096 -print_final_stats=1 \
	      -artifact_prefix=$(FUZZ_BUILD)/crashes/$$h/ \
	      $(FUZZ_BUILD)/corpus/$$h fuzz/$$h/corpus >$$log 2>&1; then \
	    tail -n 60 $$log; echo "fuzz: $$h failed (input saved in $(FUZZ_BUILD)/crashes/$$h)"; exit 1; \
	  fi; \
	  grep -E '^stat::number_of_executed_units|^Done' $$log; \
	done
# The concurrency tests under ThreadSanitizer: eight threads calling every member of
# Captcha objects for STRESS_SECONDS, objects released while another thread frees unused
# libraries, the engine's own concurrency tests, and the service's
# tests (its I/O threads, render pool and stores answer from several threads at once).
tsan: test-deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLGATE_TSAN=ON -DQUILLGATE_TESTS=ON -DQUILLGATE_BENCHMARKS=OFF
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target tests_Component tests_Engine tests_Service
	QUILLGATE_STRESS_SECONDS=$(STRESS_SECONDS) TSAN_OPTIONS="$(TSAN_RUN_OPTIONS)" \
	  $(TSAN_BUILD)/tests/tests_Component --gtest_filter='CaptchaStress.*:Runtime.Freeing*'
	TSAN_OPTIONS="$(TSAN_RUN_OPTIONS)" $(TSAN_BUILD)/tests/tests_Engine --gtest_filter='*Concurrency*'
	TSAN_OPTIONS="$(TSAN_RUN_OPTIONS)" $(TSAN_BUILD)/tests/tests_Service

# The benchmark table, pinned to one core so that numbers compare across machines and runs.
bench: test-deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLGATE_BENCHMARKS=ON
	cmake --build $(BUILD) -j$(JOBS) --target quillgate_bench
	taskset -c 0 $(BUILD)/bench/quillgate_bench --benchmark_min_time=0.2

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(DEMO)
