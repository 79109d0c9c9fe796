# Front door: `make` builds everything, `make test` runs every test, `make demo` runs the setup.
BUILD ?= build
export ORDAVIN_BUILD := $(BUILD)
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps host asan win32 win64 demo-setups test demo bench fuzz clean

all: host win32 win64 demo-setups

deps:
	@scripts/install-deps.sh

$(BUILD)/host/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD)/host -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
$(BUILD)/asan/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD)/asan -DCMAKE_BUILD_TYPE=Debug -DORDAVIN_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
$(BUILD)/win32/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD)/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-win32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel $(CMAKE_FLAGS) >/dev/null
$(BUILD)/win64/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD)/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-win64.cmake -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

host: $(BUILD)/host/CMakeCache.txt
	cmake --build $(BUILD)/host -j$(JOBS)
asan: $(BUILD)/asan/CMakeCache.txt
	cmake --build $(BUILD)/asan -j$(JOBS)
win32: $(BUILD)/win32/CMakeCache.txt host
	cmake --build $(BUILD)/win32 -j$(JOBS)
win64: $(BUILD)/win64/CMakeCache.txt host win32
	cmake --build $(BUILD)/win64 -j$(JOBS)

# The sample product packed into build/demo/Setup.exe (32-bit) and Setup-x64.exe (its twin for Wine).
demo-setups: host win32 win64
	scripts/make-demo-setups.sh

test: all asan
	scripts/run-tests.sh

demo: all
	scripts/demo.sh

bench: host
	scripts/bench.sh

fuzz: deps
	scripts/fuzz.sh

clean:
	rm -rf $(BUILD)
