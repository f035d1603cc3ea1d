# Thin wrapper: set-up, build and test in one command each. The programs land in build/.
BUILD ?= build
CMAKE_FLAGS ?=
ifeq ($(CI),true)
CMAKE_FLAGS += -DQUILLORY_WERROR=ON
endif
JOBS ?= 2

.PHONY: bootstrap configure build run screenshots test bench clean test-sanitize fuzz fuzz-build fuzz-smoke deb

bootstrap:
	@scripts/bootstrap

configure: bootstrap
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run

screenshots: build
	@XDG_CONFIG_HOME=$(abspath $(BUILD))/screenshot-config $(BUILD)/quillory-screenshots $(BUILD)/screenshots

# The suite, then once more under the sanitizers (SANITIZE=0 skips that run),
# then each fuzz target briefly (FUZZ_SMOKE=0 skips that).
SANITIZE ?= 1
FUZZ_SMOKE ?= 1
test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
ifeq ($(SANITIZE),1)
	@$(MAKE) --no-print-directory test-sanitize
endif
ifeq ($(FUZZ_SMOKE),1)
	@$(MAKE) --no-print-directory fuzz-smoke
endif

bench: build
	@bench/compose_bench.sh $(BUILD)
	@bench/smtp_bench.sh $(BUILD)
	@bench/scanner_bench.sh $(BUILD)
	@bench/list_bench.sh $(BUILD)

# The suite once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: bootstrap
	@cmake -S . -B $(BUILD)-sanitize -DQUILLORY_SANITIZE=ON -DQUILLORY_WINDOW=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-sanitize -j$(JOBS)
	@cd $(BUILD)-sanitize && ctest --output-on-failure -j$(JOBS)

# The libFuzzer targets, built with clang (with -Werror under CI, so they cannot
# break unseen).
fuzz-build: bootstrap
	@CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DQUILLORY_FUZZ=ON -DQUILLORY_WINDOW=OFF -DBUILD_TESTING=OFF \
	  $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-fuzz -j$(JOBS) --target fuzzers

# Each target for FUZZ_SECONDS, from the seeds in fuzz/corpus.
FUZZ_SECONDS ?= 30
fuzz: fuzz-build
	@scripts/run-fuzz $(BUILD)-fuzz $(FUZZ_SECONDS)

# The same for a few seconds each: a crash on the seeds or near them.
FUZZ_SMOKE_SECONDS ?= 3
fuzz-smoke: fuzz-build
	@scripts/run-fuzz $(BUILD)-fuzz $(FUZZ_SMOKE_SECONDS)

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz

# The Debian package, into $(BUILD)/ (not part of make test: it builds everything
# once more). Install it with: sudo apt install ./$(BUILD)/quillory_*.deb
deb: bootstrap
	@scripts/make-deb . $(BUILD)
