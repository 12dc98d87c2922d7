# make run   - install what is missing, build, print the full report
# make test  - build everything and run the whole suite
# make check - build, then the unit and console end-to-end tests and the fuzz targets on
#              their committed corpora (seconds)
# make build - build OrbelleC and Orbelle into build/
# make windows - cross-build OrbelleC.exe and Orbelle.exe into build-win64/ and build-win32/
# make cross - cross-build OrbelleC and its unit tests for each of CROSS_ARCHES
#              into build-cross/<arch>/ and test them under qemu-user-static
# make fuzz  - run every fuzz target for FUZZ_SECONDS (300) seconds
# make bench [EARLIER=path/to/OrbelleC] - time OrbelleC against uname, free, lscpu and
#              logger (and an earlier build's /E); writes docs/PERFORMANCE.md
# make install [PREFIX=/usr/local] [DESTDIR=...] - install both programs, manuals, menu entry
# make package - the Debian packages (dpkg-buildpackage from debian/, without the
#                tests), the Debian source package, the Windows ZIP and the x64 and x86
#                MSIs, into build/packages/ with their SHA256SUMS; orbelle-console for
#                arm64 and i386 too, cross-built the same way. The Windows packages are
#                signed when ORBELLE_SIGN_PKCS12 and ORBELLE_SIGN_PASSWORD_FILE are given
#                (README). Needs scripts/install-deps --package-tier, not the test tier.
# make repro - build every package and program twice, from two fresh clones at two
#              times, and compare them byte for byte (diffoscope on a difference);
#              the last step of make test
# The configurations are the presets of CMakePresets.json (release, asan,
# fuzz, win64, win32). Warnings are errors only under make test (and so in
# CI), which also builds the tests: both are ON for test and everything it
# builds, OFF for a plain make build or make run.
ARGS ?=
JOBS ?= $(shell nproc)
WERROR ?= OFF
TESTS ?= OFF
test: WERROR = ON
test check cross: TESTS = ON
configure = cmake --preset $(1) -DORBELLE_WERROR=$(WERROR) $(2) >/dev/null
# Every time recorded in a package is this one: the last commit's, unless
# the environment gives another.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)
ifneq ($(SOURCE_DATE_EPOCH),)
export SOURCE_DATE_EPOCH
endif

.PHONY: run build test check deps check-deps test-deps package-deps clean

# What building and running the Linux programs needs; make test adds the
# cross compilers, Wine and the test and packaging tools.
deps:
	@scripts/install-deps --check >/dev/null || scripts/install-deps

test-deps:
	@scripts/install-deps --test --check >/dev/null || scripts/install-deps --test

# What make package needs: debhelper, the cross compilers and the MSI tools.
package-deps:
	@scripts/install-deps --package-tier --check >/dev/null || scripts/install-deps --package-tier

# What make check runs on: the compiler, GoogleTest and the console
# end-to-end tests' locales and tools, not the cross compilers or Wine.
check-deps:
	@scripts/install-deps --check-tier --check >/dev/null || scripts/install-deps --check-tier

build: deps
	$(call configure,release,-DBUILD_TESTING=$(TESTS))
	cmake --build --preset release -j $(JOBS)

run: build
	@./build/OrbelleC $(ARGS)

check: check-deps build
	ctest --test-dir build --output-on-failure -j $(JOBS) -L check

.PHONY: build-asan
build-asan: test-deps
	$(call configure,asan)
	cmake --build --preset asan -j $(JOBS)

.PHONY: windows
windows: package-deps
	$(call configure,win64)
	cmake --build --preset win64 -j $(JOBS)
	$(call configure,win32)
	cmake --build --preset win32 -j $(JOBS)

CROSS_ARCHES ?= i386 arm64 armhf ppc64el s390x riscv64
PACKAGE_ARCHES ?= arm64 i386

.PHONY: cross $(CROSS_ARCHES:%=build-cross/%)
$(CROSS_ARCHES:%=build-cross/%): build-cross/%: test-deps
	cmake -S . -B $@ -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-debian.cmake -DORBELLE_DEBIAN_ARCH=$* \
	      -DORBELLE_WINDOWED=OFF -DCMAKE_BUILD_TYPE=Release -DORBELLE_WERROR=$(WERROR) \
	      -DBUILD_TESTING=$(TESTS) >/dev/null
	cmake --build $@ -j $(JOBS)

# The console end-to-end tests of each architecture are the native build's,
# run against the cross-built program.
cross: build $(CROSS_ARCHES:%=build-cross/%)
	for arch in $(CROSS_ARCHES); do ctest --test-dir build-cross/$$arch --output-on-failure || exit 1; done

PREFIX ?= /usr/local

.PHONY: install package repro
install: build
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

package: package-deps build windows
	rm -rf build/packages
	# (umask 022: the packages' modes are the same whatever the caller's)
	umask 022 && scripts/debian-packages build/debian build/packages
	umask 022 && for arch in $(PACKAGE_ARCHES); do scripts/debian-packages build/debian-$$arch build/packages $$arch \
	    || exit 1; done
	umask 022 && cmake --build build --target windows_packages
	cd build/packages && sha256sum $$(ls | grep -v -x SHA256SUMS) >SHA256SUMS

# Also the last step of make test.
repro: test-deps
	scripts/repro

test: test-deps build build-asan build-fuzz windows package cross
	ctest --test-dir build --output-on-failure -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)
	fuzz/run build-fuzz 10
	scripts/repro

FUZZ_SECONDS ?= 300

.PHONY: build-fuzz fuzz
build-fuzz: test-deps
	$(call configure,fuzz)
	cmake --build --preset fuzz -j $(JOBS)

# Fuzzes every target for FUZZ_SECONDS seconds (make fuzz FUZZ_SECONDS=3600).
fuzz: build-fuzz
	fuzz/run build-fuzz $(FUZZ_SECONDS)

.PHONY: bench
bench: test-deps build
	bench/run build 500 $(EARLIER)

clean:
	rm -rf build build-asan build-fuzz build-win64 build-win32 build-cross
