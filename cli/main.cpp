// scorivo-cli: the marking engine without a window.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::puts("scorivo-cli: commands arrive with the engine (print, synth, read, session, mark).");
        return argc < 2 ? 2 : 0;
    }
    std::fprintf(stderr, "scorivo-cli: unknown command %s\n", argv[1]);
    return 2;
}
