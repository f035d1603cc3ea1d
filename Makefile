# Thin wrapper: set-up, build and test in one command each. The programs land in build/.
BUILD ?= build
CMAKE_FLAGS ?=
ifeq ($(CI),true)
CMAKE_FLAGS += -DQUILLORY_WERROR=ON
endif
JOBS ?= 2

.PHONY: bootstrap configure build run test bench clean

bootstrap:
	@scripts/bootstrap

configure: bootstrap
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run-example

test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: build
	@bench/compose_bench.sh $(BUILD)
	@bench/smtp_bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
