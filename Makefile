# The two set-up commands of the README (make demo, make test) and a few more.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= 2
DEMO       ?= demo-output

.PHONY: all deps build demo test sanitize bench clean

all: build

deps:
	@bash setup/install-deps.sh
	@bash setup/install-node-packages.sh

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

# The benchmark table, pinned to one core so that numbers compare across machines and runs.
bench: build
	taskset -c 0 $(BUILD)/bench/quillgate_bench --benchmark_min_time=0.2

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(DEMO)
