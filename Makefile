# Thin wrapper over the CMake presets: `make demo` and `make test` are the
# two commands a newcomer needs.
.PHONY: all deps build native windows test demo clean

all: build

deps:
	@scripts/install_deps.sh

native:
	cmake --preset native >/dev/null
	cmake --build --preset native

windows:
	cmake --preset windows >/dev/null
	cmake --build --preset windows

build: deps native windows

test: build
	ctest --preset native

demo: build
	python3 scripts/demo.py .

clean:
	rm -rf build
