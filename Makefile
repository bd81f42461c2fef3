# Quick start: `make demo` and `make test`. Both first install what is missing
# from Debian's packages (as root; otherwise they print the apt-get line).

BUILD ?= build
JOBS ?= 2
OCTAVE = octave-cli --no-gui --norc --quiet --no-window-system

PACKAGES = g++ make cmake libgtest-dev libgmock-dev libbenchmark-dev octave octave-dev gnuplot-nox

.PHONY: all demo test setup build clean

all: build

setup:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' \
	    || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" -eq 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
	  else \
	    echo "Missing packages. Install them with:"; \
	    echo "  sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

build: setup
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(OCTAVE) --eval "addpath('$(CURDIR)/$(BUILD)/octave'); addpath('$(CURDIR)/demo'); \
	  identify_system(struct('figure', '$(CURDIR)/$(BUILD)/identify_system.png'));"

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
