# Every target installs what is missing first and is quick when nothing changed.
PYTHON ?= python3
VENV := .venv
BENCH_VENV := .venv-bench
STAMP := .make
WHEEL_DIR := build/dist
WHEELHOUSE := build/wheelhouse
CORE_TEST_DIR := build/core-tests

PACKAGE_SOURCES := CMakeLists.txt pyproject.toml README.md $(shell find cmake src vellumkit -type f -not -name '*.pyc')
CORE_TEST_SOURCES := $(shell find tests/core -type f)

.PHONY: demo test test-core test-python bench sanitize tsan fuzz wheel clean

demo: $(STAMP)/installed
	$(VENV)/bin/python examples/quickstart.py $(CORPUS)
	$(VENV)/bin/python examples/cjk.py $(CJK_CORPUS)

test: test-core test-python

test-python: $(STAMP)/installed
	$(VENV)/bin/pytest tests/python tests/build

test-core: $(STAMP)/venv
	$(VENV)/bin/cmake -S . -B $(CORE_TEST_DIR) -G Ninja -DCMAKE_MAKE_PROGRAM=$(CURDIR)/$(VENV)/bin/ninja \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUM_BUILD_TESTS=ON -DVELLUM_WERROR=ON >/dev/null
	$(VENV)/bin/cmake --build $(CORE_TEST_DIR)
	$(VENV)/bin/ctest --test-dir $(CORE_TEST_DIR) --output-on-failure

bench: $(STAMP)/bench-installed
	$(BENCH_VENV)/bin/python bench/run.py

# A self-contained wheel: the shared libraries it needs bundled by auditwheel, then checked in
# a new environment that has nothing but the wheel and NumPy.
wheel: $(STAMP)/wheel
	rm -rf $(WHEELHOUSE)
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH $(VENV)/bin/auditwheel repair -w $(WHEELHOUSE) $(WHEEL_DIR)/vellumkit-*.whl
	bash scripts/check-wheel.sh $(WHEELHOUSE) $(PYTHON)

sanitize: $(STAMP)/venv
	bash scripts/sanitize.sh $(VENV)

# The core tests under ThreadSanitizer, against a oneTBB built with it.
tsan: $(STAMP)/venv
	bash scripts/tsan.sh $(VENV)

# Coverage-guided fuzzing of every reader and parser, FUZZ_SECONDS (default 30) per target.
fuzz: $(STAMP)/venv
	bash scripts/fuzz.sh $(VENV)

clean:
	rm -rf build $(STAMP) $(VENV) $(BENCH_VENV)

$(STAMP)/system-deps: scripts/install-system-deps.sh
	bash scripts/install-system-deps.sh
	@mkdir -p $(STAMP) && touch $@

$(STAMP)/venv: requirements/dev.txt $(STAMP)/system-deps
	test -x $(VENV)/bin/python || $(PYTHON) -m venv $(VENV)
	$(VENV)/bin/pip install -q -r requirements/dev.txt
	@touch $@

$(STAMP)/wheel: $(STAMP)/venv $(PACKAGE_SOURCES)
	rm -rf $(WHEEL_DIR)
	$(VENV)/bin/pip wheel -q --no-build-isolation --no-deps -w $(WHEEL_DIR) .
	@touch $@

$(STAMP)/installed: $(STAMP)/wheel
	$(VENV)/bin/pip install -q --force-reinstall --no-deps $(WHEEL_DIR)/vellumkit-*.whl
	@touch $@

$(STAMP)/bench-venv: requirements/bench.txt $(STAMP)/system-deps
	test -x $(BENCH_VENV)/bin/python || $(PYTHON) -m venv $(BENCH_VENV)
	$(BENCH_VENV)/bin/pip install -q -r requirements/bench.txt
	@touch $@

$(STAMP)/bench-installed: $(STAMP)/bench-venv $(STAMP)/wheel
	$(BENCH_VENV)/bin/pip install -q --force-reinstall --no-deps $(WHEEL_DIR)/vellumkit-*.whl
	@touch $@
