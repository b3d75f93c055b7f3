# make test   install what is missing, build both builds, run every test
# make demo   build, sign and tag a demo stub and run it under Wine
.PHONY: all bootstrap build test test-win test-host test-host-asan demo clean

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	cmake --preset win >/dev/null
	cmake --build --preset win
	cmake --preset host >/dev/null
	cmake --build --preset host
	cmake --preset host-asan >/dev/null
	cmake --build --preset host-asan

test-win: bootstrap
	cmake --preset win >/dev/null
	cmake --build --preset win
	ctest --preset win

test-host: bootstrap
	cmake --preset host >/dev/null
	cmake --build --preset host
	ctest --preset host

test-host-asan: bootstrap
	cmake --preset host-asan >/dev/null
	cmake --build --preset host-asan
	ctest --preset host-asan

test: test-host test-host-asan test-win

demo: bootstrap
	cmake --preset win >/dev/null
	cmake --build --preset win --target demo_stub run_stub
	@scripts/demo

clean:
	rm -rf build/win build/host build/host-asan
