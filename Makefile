# The two commands: `make play` builds and starts the game, `make test` builds and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build play test bench clean

deps:
	./tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

play: build
	cd $(BUILD)/run && ../mirelune

test: build
	./tools/run-tests.sh $(BUILD)

bench: build
	./$(BUILD)/bench_mirelune

clean:
	rm -rf $(BUILD)
