# Read by ctest before it runs any test: every test drives the simulated
# bench unless it names another bench itself, so no test run reaches this
# machine's USB host controllers, whoever runs it and as whatever user.
set(ENV{VOLTARIS_BENCH} sim)
