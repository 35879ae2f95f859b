# The two commands a newcomer needs (see README.md), and a few more for developers.
PRESET ?= default
BUILD   = build/$(PRESET)

.PHONY: all bootstrap build demo demo-desktop test asan fuzz bench clean

all: build

bootstrap:
	scripts/bootstrap

build: bootstrap
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

# Runs the filter's main job against a private mail server with a demo mailbox.
demo: build
	scripts/demo

# The same check in the desktop program's window and tray (needs a desktop session).
demo-desktop: build
	scripts/demo-desktop

# Builds everything and runs every test.
test: build
	ctest --preset $(PRESET)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan:
	$(MAKE) test PRESET=asan

# Builds the libFuzzer targets with clang and runs each for a short while.
fuzz: bootstrap
	cmake --preset fuzz
	cmake --build --preset fuzz
	scripts/run-fuzzers build/fuzz/fuzz

# Side-by-side figures against a peer measured in the same run (see README.md).
bench: build
	$(BUILD)/bench/bench_pop3_pass
	$(BUILD)/bench/bench_process
	$(BUILD)/bench/bench_is_spam
	$(BUILD)/bench/bench_mail_check
	$(BUILD)/bench/bench_list_windows
	$(BUILD)/bench/bench_desktop

clean:
	rm -rf build
