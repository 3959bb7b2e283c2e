# The two entry points: `make test` and `make demo`. Both install what is missing first.
JOBS ?= 2
# Where `make install` puts the library, its headers, the tool and the rest; DESTDIR, when
# set, is put in front of it (staged installs, packaging).
PREFIX ?= /usr/local

.PHONY: all bootstrap test demo build install clean

all: build

bootstrap:
	bash scripts/bootstrap.sh

# Sanitized debug build; every test runs through ctest, then 30 s of fuzzing (clang).
test: bootstrap
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DUVCCAM_SANITIZE=ON
	cmake --build build/test -j$(JOBS)
	cd build/test && ctest --output-on-failure -j$(JOBS)
	bash scripts/fuzz.sh

build: bootstrap
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUVCCAM_BUILD_TESTS=OFF
	cmake --build build/release -j$(JOBS)

# The guided tour on the simulated devices. On the virtual clock the 10-second recording
# takes no real time; the snapshot shows the simulated camera's colour bars. Then the
# viewer's window on the same devices, grabbed once its preview runs (no display needed).
demo: build
	./build/release/tools/uvccamctl --virtual-clock demo --snapshot build/release/demo-snapshot.png
	QT_QPA_PLATFORM=offscreen ./build/release/viewer/uvccam-viewer --simulate --screenshot build/release/viewer-screenshot.png

install: build
	cmake --install build/release --prefix $(PREFIX)

clean:
	rm -rf build
