// Writes a line, then dereferences null: what a test that crashes does under Wine.
#include <cstdio>

int main() {
    std::puts("crasher: about to fault");
    std::fflush(stdout);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
