# make run   - install what is missing, build, print the full report
# make test  - build everything and run the whole suite
# make build - build OrbelleC and Orbelle into build/
# make windows - cross-build OrbelleC.exe and Orbelle.exe into build-win64/ and build-win32/
# make fuzz  - run every fuzz target for FUZZ_SECONDS (300) seconds
# make bench - time OrbelleC against uname, free and lscpu; writes docs/PERFORMANCE.md
# make install [PREFIX=/usr/local] [DESTDIR=...] - install both programs, manuals, menu entry
# make package - the Debian packages, the Windows ZIP and installer, into build/packages/,
#                and orbelle-console for arm64 and i386 into build-cross/<arch>/packages/
# make cross - cross-build OrbelleC and its unit tests for each of CROSS_ARCHES
#              into build-cross/<arch>/ and test them under qemu-user-static
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

.PHONY: windows
windows: deps
	cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build-win64 -j $(JOBS)
	cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build-win32 -j $(JOBS)

# Debian architectures, each built with Debian's cross compilers and the one
# toolchain file, cmake/toolchain-debian.cmake.
CROSS_ARCHES ?= i386 arm64 armhf ppc64el s390x riscv64
PACKAGE_ARCHES ?= arm64 i386

.PHONY: cross $(CROSS_ARCHES:%=build-cross/%)
$(CROSS_ARCHES:%=build-cross/%): build-cross/%: deps
	cmake -S . -B $@ -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-debian.cmake -DORBELLE_DEBIAN_ARCH=$* \
	      -DORBELLE_WINDOWED=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $@ -j $(JOBS)

# The unit tests under qemu, and the native build's console end-to-end tests
# against each cross-built OrbelleC.
cross: build $(CROSS_ARCHES:%=build-cross/%)
	for arch in $(CROSS_ARCHES); do ctest --test-dir build-cross/$$arch --output-on-failure || exit 1; done

PREFIX ?= /usr/local

.PHONY: install package
install: build
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

package: build windows $(PACKAGE_ARCHES:%=build-cross/%)
	cd build && cpack -G DEB
	cmake --build build --target windows_zip
	cmake --build build --target windows_setup
	for arch in $(PACKAGE_ARCHES); do (cd build-cross/$$arch && cpack -G DEB) || exit 1; done

# make check - build, then the unit and console end-to-end tests (CTest label check)
.PHONY: check
check: build
	ctest --test-dir build --output-on-failure -j $(JOBS) -L check

test: build build-asan build-fuzz windows package cross
	ctest --test-dir build --output-on-failure -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)
	fuzz/run build-fuzz 10

FUZZ_SECONDS ?= 300

.PHONY: build-fuzz fuzz
build-fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DORBELLE_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target orbelle_fuzzers

# Fuzzes every target for FUZZ_SECONDS seconds (make fuzz FUZZ_SECONDS=3600).
fuzz: build-fuzz
	fuzz/run build-fuzz $(FUZZ_SECONDS)

.PHONY: bench
bench: build
	bench/run build

clean:
	rm -rf build build-asan build-fuzz build-win64 build-win32 build-cross
