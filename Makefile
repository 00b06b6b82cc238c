# The two commands: `make play` builds and starts the game, `make test` builds and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build play test bench clean

deps:
	./tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only the game and its run directory: playing does not wait for the tests to compile.
play: configure
	cmake --build $(BUILD) -j $(JOBS) --target mirelune assets
	cd $(BUILD)/run && ../mirelune

test: build
	./tools/run-tests.sh $(BUILD)

# One table of the speed figures, measured in an Xvfb of its own (about half a minute).
bench: build
	./tools/with-xvfb.sh ./$(BUILD)/bench_mirelune

clean:
	rm -rf $(BUILD)
