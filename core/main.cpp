// The quorvel executable: the unattended run with a profile, or the console.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorvel %s\n", QUORVEL_VERSION);
        return 0;
    }
    std::fprintf(stderr, "quorvel: not yet able to run\n");
    return 2;
}
