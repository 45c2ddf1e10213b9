# The commands of the README: `make build`, `make test`, `make dist`, `make demo`.
BUILD := build
TREES := host i686 x86_64
GENERATOR := Ninja

.PHONY: all bootstrap build test dist packages demo screenshots clean

all: build

bootstrap:
	@scripts/bootstrap.sh

# The builder users run: optimised, without the host tree's sanitizers.
$(BUILD)/release/build.ninja:
	@cmake -S . -B $(BUILD)/release -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	  -DVANDREL_SANITIZE=OFF >/dev/null

$(BUILD)/host/build.ninja:
	@cmake -S . -B $(BUILD)/host -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug >/dev/null

$(BUILD)/i686/build.ninja:
	@cmake -S . -B $(BUILD)/i686 -G $(GENERATOR) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake >/dev/null

$(BUILD)/x86_64/build.ninja:
	@cmake -S . -B $(BUILD)/x86_64 -G $(GENERATOR) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake >/dev/null

build: bootstrap
	@$(MAKE) --no-print-directory $(foreach t,$(TREES) release,$(BUILD)/$(t)/build.ninja)
	@for t in $(TREES); do cmake --build $(BUILD)/$$t || exit 1; done
	@cmake --build $(BUILD)/release --target vandrel-pack vandrel-papers

# Two at a time: tests of different Wine prefixes run side by side, those of
# one prefix take turns (their RESOURCE_LOCK); each keeps its own time-out.
CTEST_JOBS := 2

test: build
	@status=0; for t in $(TREES); do \
	  echo "== tests: $$t"; \
	  ctest --test-dir $(BUILD)/$$t -j$(CTEST_JOBS) --output-on-failure --timeout 600 \
	    || status=1; \
	done; \
	echo "== tests: packages"; \
	$(MAKE) --no-print-directory packages || status=1; \
	for t in i686 x86_64; do \
	  echo "stub size ($$t): $$(stat -c %s $(BUILD)/$$t/bin/vandrel-stub.exe) bytes"; \
	done; \
	echo "i686 Windows tests ran $$(sh -c '. scripts/wine-env.sh; i386_mode' 2>/dev/null)"; \
	exit $$status

# Installable releases in $(BUILD)/dist: the Debian package of the release
# builder with both stubs, and the zip for Windows users; then their check.
DIST := $(BUILD)/dist
dist: build
	@$(MAKE) --no-print-directory packages

# Makes and checks the packages from what is built; `make test` runs it too.
packages:
	@rm -rf $(DIST)
	@for t in release i686; do \
	  cpack --config $(BUILD)/$$t/CPackConfig.cmake -B $(abspath $(DIST)) >/dev/null || exit 1; \
	done
	@rm -rf $(DIST)/_CPack_Packages
	@ls -l $(DIST)
	@scripts/check_dist.sh $(BUILD) $(DIST)

demo: build
	@scripts/demo.sh

# Pictures of the wizard for the README; not part of `make test`.
screenshots: build
	@BUILD=$(abspath $(BUILD)) scripts/screenshots.sh

clean:
	rm -rf $(BUILD)
