# make run   - install what is missing, build, print the full report
# make test  - build everything and run the whole suite
# make build - build OrbelleC into build/
ARGS ?=
JOBS ?= $(shell nproc)

.PHONY: run build test deps clean

deps:
	@scripts/install-deps --check >/dev/null || scripts/install-deps

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build -j $(JOBS)

run: build
	@./build/OrbelleC $(ARGS)

.PHONY: build-asan
build-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DORBELLE_SANITIZE=ON >/dev/null
	cmake --build build-asan -j $(JOBS)

test: build build-asan
	ctest --test-dir build --output-on-failure -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

clean:
	rm -rf build build-asan
