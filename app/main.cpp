#include "app/startup.h"

#ifdef MARROWBY_HAS_WINDOW
#include "platform/qt/window_run.h"
#endif

int main(int argc, char** argv) {
#ifdef MARROWBY_HAS_WINDOW
    return marrowby_main(argc, argv, platform_run_window);
#else
    return marrowby_main(argc, argv);
#endif
}
