# Quick start on a fresh Debian 12 machine, as root:
#   make run    install what is missing, build, start the window
#   make test   install what is missing, build, run every test headless

BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

# Debian packages the build and the tests need.
PACKAGES = cmake g++ make pkg-config libjpeg62-turbo-dev googletest libgtest-dev libbenchmark-dev \
           qt6-base-dev libgl-dev

.PHONY: all deps configure build test run clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	$(BUILD)/app/lumivor

clean:
	rm -rf $(BUILD)
