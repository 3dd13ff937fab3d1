# The two set-up commands of the README (make demo, make test) and a few more.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
STRESS_SECONDS ?= 5
TSAN_RUN_OPTIONS := halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp
JOBS       ?= 2
DEMO       ?= demo-output

.PHONY: all deps build demo test sanitize tsan bench clean

all: build

deps:
	@bash setup/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

# Makes a CAPTCHA with the default settings: the image, its code and hash, and the code spoken.
demo: build
	@mkdir -p $(DEMO)
	@report=$$($(BUILD)/quillgate image -o $(DEMO)/captcha.jpg) && echo "$$report" && \
	  echo "Image: $(DEMO)/captcha.jpg" && \
	  $(BUILD)/quillgate sound --code "$$(echo "$$report" | sed -n 's/^Code: //p')" \
	    -o $(DEMO)/captcha.wav && \
	  echo "Sound: $(DEMO)/captcha.wav"

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUILLGATE_SANITIZE=ON -DQUILLGATE_BENCHMARKS=OFF
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j$(JOBS)

# The concurrency tests under ThreadSanitizer: eight threads calling every member of
# Captcha objects for STRESS_SECONDS, and the engine's own concurrency tests.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLGATE_TSAN=ON -DQUILLGATE_BENCHMARKS=OFF
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target tests_Component tests_Engine
	QUILLGATE_STRESS_SECONDS=$(STRESS_SECONDS) TSAN_OPTIONS="$(TSAN_RUN_OPTIONS)" \
	  $(TSAN_BUILD)/tests/tests_Component --gtest_filter='CaptchaStress.*'
	TSAN_OPTIONS="$(TSAN_RUN_OPTIONS)" $(TSAN_BUILD)/tests/tests_Engine --gtest_filter='*Concurrency*'

# The benchmark table, pinned to one core so that numbers compare across machines and runs.
bench: build
	taskset -c 0 $(BUILD)/bench/quillgate_bench --benchmark_min_time=0.2

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(DEMO)
