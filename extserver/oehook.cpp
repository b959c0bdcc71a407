// The hook library the program loads at start and never calls into. It exists so the program
// finds it beside itself, as it expects; the one function keeps the library non-empty.
extern "C" __attribute__((visibility("default"))) void TervaneOEHookNoOp() {}
