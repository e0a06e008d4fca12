#include "app/startup.h"

int main(int argc, char** argv) {
    return marrowby_main(argc, argv);
}
