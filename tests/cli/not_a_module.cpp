// Loads like a library, but offers none of a module's callbacks.
extern "C" __attribute__((visibility("default"))) int notAModule() { return 1; }
