# Thin wrapper over the CMake presets: `make demo` and `make test` are the
# two commands a newcomer needs.
.PHONY: all deps build native windows sanitize analyze fuzz test check demo bench soak dist clean

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

# The day-to-day loop: the Linux build, the unit tests and the Linux
# end-to-end tests. Installs nothing; no Wine, fuzzing or sanitizers.
check: native
	ctest --preset check

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

# The release files in dist/: the MSI, the zip, the Linux tarball, the
# Windows check, the developer kit and SHA256SUMS. EXTENSION_IDS="id1 id2"
# names the extensions the MSI's manifest allows (default: the test
# extension's); SIGN_PKCS12=cert.p12 SIGN_PASSWORD_FILE=file signs the .exe
# files and the .msi. Dates come from
# SOURCE_DATE_EPOCH, by default the last commit's time.
dist: deps native windows
	python3 scripts/dist.py --extension-ids "$(EXTENSION_IDS)" \
	  --sign-pkcs12 "$(SIGN_PKCS12)" --sign-password-file "$(SIGN_PASSWORD_FILE)"

demo: build
	python3 scripts/demo.py .

clean:
	rm -rf build dist
