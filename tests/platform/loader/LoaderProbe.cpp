// A stand-in for the suite's shared modules: one exported C function, found
// by name the way the programs find the modules' entry points.
extern "C" __attribute__((visibility("default"))) int ProbeAnswer(void) { return 42; }
