#include <cstdio>

// Start-up: prints the usage until the batch path is in place.
int main() {
    std::fputs("usage: marrowby \"MESH.obj,SEAMS.bin,,,SWITCHES\"\n"
               "  SWITCHES: -notlive (batch), -lscm, -nofillholes\n",
               stdout);
    return 0;
}
