# make run   - install what is missing, build the program, start it
# make test  - install what is missing, build everything, run every test headless
# make bench - time sonovert-encode against the lame command-line encoder
# make fuzz  - fuzz the input reading and encoding, then CUE sheets, with libFuzzer (FUZZ_SECONDS=60 each)
# make package - build the Debian package build/sonovert_<version>_<arch>.deb
# make check-package - build the Debian package and check it with lintian
# make check-install - install the package into a fresh Debian 12 root and try it (root, network)
# make check-desktop - the window under X11 and Wayland: memory, screenshots, no display
# make check-paths - every form of sonovert-encode gives one input's MP3, byte for byte
# make check-cluster - the README's many-machines recipe over ssh to sshds of its own on 127.0.0.1
# make check-slurm - the Slurm job array recipe on a one-node cluster of its own on 127.0.0.1
BUILD ?= build
JOBS ?= $(shell nproc)
# CI turns compiler warnings into errors: WERROR=ON.
WERROR ?= OFF

.PHONY: all deps test-deps configure configure-all program build run test bench clean check-sanitize fuzz package check-package check-install check-desktop check-paths check-cluster check-slurm

all: build

deps:
	@scripts/install-deps build

test-deps:
	@scripts/install-deps test

CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=$(WERROR)

# A first configure for the program alone leaves the tests out, so it needs none of their
# packages; a build folder that has them keeps them.
configure: deps
	@$(CONFIGURE) $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DBUILD_TESTING=OFF) >/dev/null

configure-all: test-deps
	@$(CONFIGURE) -DBUILD_TESTING=ON >/dev/null

# The program alone, so a first start waits for nothing else.
program: configure
	@cmake --build $(BUILD) -j $(JOBS) --target sonovert

# Everything: the program, the tests and the benchmark tools.
build: configure-all
	@cmake --build $(BUILD) -j $(JOBS)

run: program
	$(BUILD)/app/sonovert

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@scripts/install-deps bench
	bench/run-bench $(BUILD)

clean:
	rm -rf $(BUILD)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, then the encoder's
# threading under ThreadSanitizer.
check-sanitize: deps
	scripts/check-sanitize

# libFuzzer over reading and encoding an input file, then over CUE sheets, FUZZ_SECONDS each
# (default 60).
FUZZ_SECONDS ?= 60
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz

# The program and sonovert-encode only, then CPack; no test is built.
package: configure
	@scripts/install-deps package
	@cmake --build $(BUILD) -j $(JOBS) --target sonovert sonovert-encode sonovert-manual sonovert-encode-manual
	cd $(BUILD) && cpack -G DEB

# The package, then lintian on it: any error, or a warning not accepted there, fails.
check-package:
	WERROR=$(WERROR) scripts/check-package $(BUILD)

# mmdebstrap makes a Debian 12 root from Debian's mirror; apt installs the package there, then
# its manual page, completion and a conversion with lame's words are tried.
check-install:
	scripts/check-install $(BUILD)

# The window under Xvfb with a window manager and under weston: memory, screenshots, and what
# it says without a display.
check-desktop: program
	scripts/check-desktop $(BUILD)

# Three inputs at six settings along every form of the command: the same bytes (a few minutes).
check-paths: build
	scripts/check-paths $(BUILD)

# GNU parallel over ssh to two sshds of its own on 127.0.0.1 and the local machine, one of them
# without the command: every MP3 equal to the local batch's.
check-cluster: build
	scripts/check-cluster $(BUILD)

# munged, slurmctld and slurmd of its own (config, state and spool in a temporary folder, free
# ports on 127.0.0.1) run the job array script over an awkward library: every MP3 equal to the
# local batch's; skipped, with the reason, where Slurm cannot start.
check-slurm: build
	scripts/check-slurm $(BUILD); status=$$?; [ $$status -eq 77 ] || exit $$status
