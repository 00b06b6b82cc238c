# The two commands: `make play` builds and starts the game, `make test` builds and runs every test.
# `make test` also builds the game and its tests with the sanitizers (SANITIZE_BUILD) and the fuzz
# targets with clang (FUZZ_BUILD); `make fuzz` and `make soak` are the long runs on demand.
BUILD ?= build
SANITIZE_BUILD ?= $(BUILD)-asan
FUZZ_BUILD ?= $(BUILD)-fuzz
FUZZ_SECONDS ?= 45
JOBS ?= $(shell nproc)
export FUZZ_SECONDS SOAK_MATCHES SOAK_SECONDS

.PHONY: deps configure build sanitize-build fuzz-build play test fuzz soak bench clean

deps:
	./tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# AddressSanitizer with LeakSanitizer, and UndefinedBehaviorSanitizer.
sanitize-build: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELUNE_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)

fuzz-build: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELUNE_FUZZ=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

# Only the game and its run directory: playing does not wait for the tests to compile.
play: configure
	cmake --build $(BUILD) -j $(JOBS) --target mirelune assets
	cd $(BUILD)/run && ../mirelune

test: build sanitize-build fuzz-build
	./tools/run-tests.sh $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)

# Every fuzz target for FUZZ_SECONDS, e.g. `make fuzz FUZZ_SECONDS=3600`.
fuzz: build fuzz-build
	./tools/run-fuzzers.sh $(FUZZ_BUILD) $(BUILD)/run $(FUZZ_SECONDS)

# The two soaks alone, without a time limit, e.g. `make soak SOAK_MATCHES=1000 SOAK_SECONDS=3600`.
soak: build sanitize-build
	SOAK_ONLY=1 ./tools/run-tests.sh $(BUILD) $(SANITIZE_BUILD)

# One table of the speed figures, measured in an Xvfb of its own (about half a minute).
bench: build
	./tools/with-xvfb.sh ./$(BUILD)/bench_mirelune

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
