# Thin wrapper: set-up, build and test in one command each. The programs land in build/.
BUILD ?= build
CMAKE_FLAGS ?=
ifeq ($(CI),true)
CMAKE_FLAGS += -DQUILLORY_WERROR=ON
endif
JOBS ?= 2

.PHONY: bootstrap configure build run screenshots test bench clean test-sanitize fuzz

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

# The suite, then once more under the sanitizers (SANITIZE=0 skips that run).
SANITIZE ?= 1
test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
ifeq ($(SANITIZE),1)
	@$(MAKE) --no-print-directory test-sanitize
endif

bench: build
	@bench/compose_bench.sh $(BUILD)
	@bench/smtp_bench.sh $(BUILD)
	@bench/scanner_bench.sh $(BUILD)

# The suite once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: bootstrap
	@cmake -S . -B $(BUILD)-sanitize -DQUILLORY_SANITIZE=ON -DQUILLORY_WINDOW=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-sanitize -j$(JOBS)
	@cd $(BUILD)-sanitize && ctest --output-on-failure -j$(JOBS)

# Each libFuzzer target for FUZZ_SECONDS, from the seeds in fuzz/corpus.
FUZZ_SECONDS ?= 30
fuzz: bootstrap
	@CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DQUILLORY_FUZZ=ON -DBUILD_TESTING=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-fuzz -j$(JOBS)
	@scripts/run-fuzz $(BUILD)-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz
