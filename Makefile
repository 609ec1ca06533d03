# Thin wrapper over the CMake presets: `make demo` and `make test` are the
# two commands a newcomer needs.
.PHONY: all deps build native windows sanitize analyze fuzz test demo bench soak clean

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

# The unit tests and the Linux end-to-end tests again, under AddressSanitizer
# and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize
	ctest --preset sanitize

analyze: deps
	scripts/analyze.sh

fuzz: deps
	scripts/fuzz.sh $(or $(FUZZ_SECONDS),30)

# Everything, the plain test run last so that its summary closes the output.
test: build analyze fuzz sanitize
	ctest --preset native

# Figures for the host beside the floor relay and a Python host, and the
# speed of its UTF-8 check; not a test. BENCH_FLAGS go to relay_bench, e.g.
# BENCH_FLAGS="--quick" or BENCH_FLAGS="--other-host OLDER_BUILD/tavorin_shim".
bench: native windows
	build/native/validator_bench
	build/native/relay_bench $(BENCH_FLAGS)

# The long runs: 100,000 messages through one session, 1,000 launches.
soak: native
	python3 tests/soak/soak.py --shim build/native/tavorin_shim --app build/native/tavorin_example_app

demo: build
	python3 scripts/demo.py .

clean:
	rm -rf build
