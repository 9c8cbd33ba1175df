# Quick start on a fresh Debian 12 machine, as root: ./lumivor.sh run | ./lumivor.sh test
# (it installs make first, then runs the target of the same name here).
#   make run    install what building and running need, build, start the window
#   make test   install what the tests need too, build, run the core tests under AddressSanitizer
#               and UndefinedBehaviorSanitizer, a minute of fuzzing photos and 20 seconds each of
#               fuzzing Exif segments and folder trees, then every test headless
#   make fuzz SECONDS=N   fuzz the per-photo sequence for N seconds
#   make fuzz-exif SECONDS=N   fuzz the Exif thumbnail rebuild for N seconds
#   make fuzz-files SECONDS=N   fuzz runs over folder trees with links for N seconds
#   make deb    the Debian package, checked by lintian, in dist/

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
DEB_BUILD  ?= build-deb
DIST       ?= dist
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
SECONDS    ?= 60

# Debian packages that building and running need; libqt6svg6 draws the window's icon, Exempi
# writes the record of the enhancement into each photo's XMP.
RUN_PACKAGES = cmake g++ make pkg-config libjpeg62-turbo-dev libhwy-dev libexempi-dev qt6-base-dev \
               libgl-dev libqt6svg6
# Making the Debian package and checking it.
DEB_PACKAGES = $(RUN_PACKAGES) git debhelper lintian
# The tests add GoogleTest, Google Benchmark, clang-14 and its runtime for the fuzzer, the
# checkers of the desktop entry, the metainfo and the man pages, exiftool, which reads the
# photos' XMP independently of us, an X server for the window's class, the package, and a session
# bus of their own to hear what the window tells the desktop.
PACKAGES = $(DEB_PACKAGES) googletest libgtest-dev libbenchmark-dev clang-14 libclang-rt-14-dev \
           desktop-file-utils appstream man-db libimage-exiftool-perl xvfb xauth x11-utils \
           dbus-daemon

# apt-get runs as root, through sudo for anyone else.
SUDO = $(if $(filter 0,$(shell id -u)),,sudo)

# Whether GoogleTest is installed: a build for running only leaves the tests out.
HAVE_GTEST = $(if $(shell dpkg-query -W -f='$${Status}' libgtest-dev 2>/dev/null | grep 'ok installed'),ON,OFF)

# The core without Qt or benchmarks: what the sanitizer and fuzz builds need.
CORE_ARGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVOR_WITH_QT=OFF -DLUMIVOR_BENCH=OFF

# Fail on the first report, and with the whole stack of an undefined-behaviour report.
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

FUZZ_CORPUS = $(FUZZ_BUILD)/corpus
FUZZ_ARTIFACTS = $(FUZZ_BUILD)/artifacts

.PHONY: all deps deps-run deps-deb configure build test run clean sanitize fuzz-build fuzz \
        fuzz-exif fuzz-files deb

all: build

# Installs the packages of $(1) that are missing.
install-missing = missing=""; for p in $(1); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) apt-get update -qq && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

deps:
	@$(call install-missing,$(PACKAGES))

deps-run:
	@$(call install-missing,$(RUN_PACKAGES))

deps-deb:
	@$(call install-missing,$(DEB_PACKAGES))

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVOR_TESTS=ON $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The sanitizer and fuzz runs and the package come first, so that the run ends with the
# summary of every test.
test: build
	$(MAKE) sanitize
	$(MAKE) fuzz SECONDS=60
	$(MAKE) fuzz-exif SECONDS=20
	$(MAKE) fuzz-files SECONDS=20
	$(MAKE) deb
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# image, imageio, enhance, platform and the folder run, under ASan and UBSan.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) $(CORE_ARGS) -DLUMIVOR_SANITIZE=ON $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

fuzz-build: deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) $(CORE_ARGS) -DLUMIVOR_TESTS=OFF \
	    -DLUMIVOR_FUZZ=ON $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# New inputs collect in $(FUZZ_CORPUS); the seeds and the kept regressions are only read. A crash
# or a run over 30 seconds stops it with the input in $(FUZZ_ARTIFACTS). Inputs may grow to 8 KB,
# room for the mutator's runs of segments and scans beyond the product's bounds.
fuzz: fuzz-build
	mkdir -p $(FUZZ_CORPUS) $(FUZZ_ARTIFACTS)
	$(SANITIZER_ENV) $(FUZZ_BUILD)/fuzz/jpeg_fuzz -max_total_time=$(SECONDS) -timeout=30 \
	    -rss_limit_mb=2560 -max_len=8192 -dict=fuzz/jpeg.dict -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_ARTIFACTS)/ \
	    $(FUZZ_CORPUS) $(FUZZ_BUILD)/fuzz/seeds tests/data/fuzz-regressions

# The same for arbitrary APP1 data through the Exif thumbnail rebuild; its finds are named exif-*.
fuzz-exif: fuzz-build
	mkdir -p $(FUZZ_CORPUS)-exif $(FUZZ_ARTIFACTS)
	$(SANITIZER_ENV) $(FUZZ_BUILD)/fuzz/exif_fuzz -max_total_time=$(SECONDS) -timeout=30 \
	    -rss_limit_mb=2560 -dict=fuzz/exif.dict -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_ARTIFACTS)/exif- \
	    $(FUZZ_CORPUS)-exif $(FUZZ_BUILD)/fuzz/seeds-exif

# The same for runs over folder trees with links, each built in a private temporary folder from
# the input; its finds are named files-*, the path absolute since a list is read from within
# the tree.
fuzz-files: fuzz-build
	mkdir -p $(FUZZ_CORPUS)-files $(FUZZ_ARTIFACTS)
	$(SANITIZER_ENV) $(FUZZ_BUILD)/fuzz/files_fuzz -max_total_time=$(SECONDS) -timeout=30 \
	    -rss_limit_mb=2560 -max_len=512 -print_final_stats=1 \
	    -artifact_prefix=$(abspath $(FUZZ_ARTIFACTS))/files- \
	    $(FUZZ_CORPUS)-files fuzz/files-seeds

# Only the two programs, and the tests only where GoogleTest is already installed.
run: deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVOR_TESTS=$(HAVE_GTEST) \
	    $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS) --target lumivor lumivor-batch
	$(BUILD)/app/lumivor

# The package is built by dpkg-buildpackage from a copy of the files git tracks or would track,
# so that no build folder or stray file of this clone gets in; without the tests, which make
# test runs. The .deb files, the .changes and the .buildinfo end in $(DIST)/; lintian fails the
# target on a warning or error. A library the build needs must be a build dependency of the
# package too, or building the package on a clean machine fails where it succeeds here.
DEB_SOURCE = $(DEB_BUILD)/lumivor
# ccache, where installed, serves the package build too; its cache is named outright, since
# debhelper gives the build a HOME of its own.
DEB_CCACHE = $(if $(wildcard /usr/lib/ccache/c++),PATH="/usr/lib/ccache:$(PATH)" \
                  CCACHE_DIR="$(shell ccache -k cache_dir)")

deb: deps-deb
	@for p in $(filter %-dev,$(RUN_PACKAGES)); do \
	    grep -Eq "^(Build-Depends:)? +$$p( |,|$$)" debian/control \
	        || { echo "debian/control: $$p, which the build needs, is not in Build-Depends"; \
	             exit 1; }; \
	done
	rm -rf $(DEB_BUILD) $(DIST)
	mkdir -p $(DEB_SOURCE) $(DIST)
	git ls-files -z --cached --others --exclude-standard > $(DEB_BUILD)/files
	tar --null -T $(DEB_BUILD)/files --ignore-failed-read -cf $(DEB_BUILD)/source.tar
	tar -xf $(DEB_BUILD)/source.tar -C $(DEB_SOURCE)
	cd $(DEB_SOURCE) && $(DEB_CCACHE) DEB_BUILD_OPTIONS="parallel=$(JOBS)" \
	    dpkg-buildpackage -us -uc -b
	mv $(DEB_BUILD)/*.deb $(DEB_BUILD)/*.buildinfo $(DEB_BUILD)/*.changes $(DIST)/
	lintian --fail-on error,warning $(DIST)/*.changes

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(DEB_BUILD) $(DIST)
