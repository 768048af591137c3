// A Windows console program that carries the build's package block and nothing else: the
// native build's base for the signing check (made by the MinGW-w64 compilers, never run).
int main() { return 0; }
