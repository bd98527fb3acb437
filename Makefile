# The two set-up commands of the README, the benchmark and the package.
BUILD ?= build
JOBS ?= 2
PACKAGE_BUILD ?= build-package

.PHONY: deps deps-programs programs build run test bench package clean

deps:
	bash scripts/install-deps.sh

deps-programs:
	bash scripts/install-deps.sh programs

# Only the two programs: no tests, tools or manual pages, and no debug
# information, which costs a third of the compile time: the code is that of
# the full build (-O2), less the symbols a debugger needs.
programs: deps-programs
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
	  -DNUBIKA_BUILD_TESTS=OFF -DNUBIKA_MAN_PAGES=OFF
	cmake --build $(BUILD) -j $(JOBS) --target nubika-sitemap nubika-sitemap-cli

# Everything: the programs, the manual pages, the tests and the tools.
build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNUBIKA_BUILD_TESTS=ON -DNUBIKA_MAN_PAGES=ON
	cmake --build $(BUILD) -j $(JOBS)

# Writes the sitemap of the bundled example site.
run: programs
	$(BUILD)/bin/nubika-sitemap-cli examples/site --base-url https://example.jp/ \
	  --ext html,htm --priority --changefreq --lastmod --no-mobile
	@echo "Written: examples/site/nubika_sitemap.xml"

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# BENCH_ARGS=--skip-1m leaves out the million-file site.
bench: build
	BUILD=$(BUILD) bash bench/run.sh $(BENCH_ARGS)

# nubika-sitemap_<version>_<arch>.deb, here: a build of its own for /usr,
# with the settings in the user's config folder and Debian's flags and
# hardening (no -g: the programs are stripped). Only what the package holds
# is built.
package: deps
	eval "$$(DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g \
	         DEB_CPPFLAGS_MAINT_APPEND=-DNDEBUG dpkg-buildflags --export=sh)" && \
	  CXXFLAGS="$$CPPFLAGS $$CXXFLAGS" cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=None \
	  -DCMAKE_INSTALL_PREFIX=/usr -DNUBIKA_SETTINGS_IN_CONFIG=ON -DNUBIKA_BUILD_TESTS=OFF \
	  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
	cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target package_contents
	rm -f $(PACKAGE_BUILD)/nubika-sitemap_*.deb
	cd $(PACKAGE_BUILD) && cpack -G DEB
	cp $(PACKAGE_BUILD)/nubika-sitemap_*.deb .

clean:
	rm -rf $(BUILD) $(PACKAGE_BUILD)
