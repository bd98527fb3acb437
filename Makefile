# The two set-up commands of the README, and the benchmark.
BUILD ?= build
JOBS ?= 2

.PHONY: deps build run test bench clean

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# Writes the sitemap of the bundled example site.
run: build
	$(BUILD)/bin/nubika-sitemap-cli examples/site --base-url https://example.jp/ \
	  --ext html,htm --priority --changefreq --lastmod --no-mobile
	@echo "Written: examples/site/nubika_sitemap.xml"

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# BENCH_ARGS=--skip-1m leaves out the million-file site.
bench: build
	BUILD=$(BUILD) bash bench/run.sh $(BENCH_ARGS)

clean:
	rm -rf $(BUILD)
