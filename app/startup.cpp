#include "app/startup.h"

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/seam_list.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "platform/command_line.h"

#include <cstdio>
#include <cstring>
#include <vector>

StartupState& startup_state() {
    static StartupState state;
    return state;
}

const char* usage_text() {
    return "usage: marrowby \"MESH.obj,SEAMS.bin,METHOD,HOLES,MODE\"\n"
           "  MESH.obj   OBJ file to unwrap; it is written back in place\n"
           "  SEAMS.bin  seam list file (count, then pairs of 0-based vertex indices)\n"
           "  METHOD     -lscm for the least-squares conformal map alone, empty for angle\n"
           "             based flattening first\n"
           "  HOLES      -nofillholes to leave holes unfilled, else empty\n"
           "  MODE       -notlive for the batch path (load, apply seams, unwrap, write, exit)\n"
           "example: marrowby \"mesh.obj,seams.bin,,,-notlive\"\n";
}

void shutdownCleanup() {
    MeshDocument::instance().clear();
    UndoHistory::instance().reset();
}

bool parseCommandLine(char* commandLine) {
    StartupState& state = startup_state();
    state.malformed = false;
    CommandLineFields fields;
    switch (cutCommandLine(commandLine, fields)) {
    case CommandLineShape::Empty:
        return false;
    case CommandLineShape::Incomplete:
        state.malformed = true;
        return false;
    case CommandLineShape::Complete:
        break;
    }
    engine_options().useAbf = std::strcmp(fields.method, "-lscm") != 0;
    engine_options().fillHoles = std::strcmp(fields.holes, "-nofillholes") != 0;
    MeshDocument& doc = MeshDocument::instance();
    if (std::strcmp(fields.batch, "-notlive") == 0) {
        bool loaded = doc.load(fields.objPath);
        readSeamList(fields.seamPath);
        doc.unwrapNow();
        // A file that could not be read is left as it was instead of being replaced by an
        // empty document.
        if (loaded)
            doc.writeObj(fields.objPath, fields.objPath);
        else
            std::fprintf(stderr, "marrowby: %s was left unchanged\n", fields.objPath);
        shutdownCleanup();
        return true;
    }
    state.startedWithFile = true;
    state.exitTarget = fields.objPath;
    state.exitSource = fields.objPath;
    state.loadFailed = !doc.load(fields.objPath);
    readSeamList(fields.seamPath);
    doc.unwrapNow();
    return false;
}

int marrowby_main(int argc, const char* const* argv, WindowRunner runner) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage_text(), stdout);
        return 0;
    }
    std::string text = platform_command_line(argc, argv);
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    if (parseCommandLine(line.data()))
        return -1;
    if (startup_state().malformed) {
        std::fprintf(stderr,
                     "marrowby: the command line needs five comma-separated fields in "
                     "double quotes\n%s",
                     usage_text());
        shutdownCleanup();
        return 2;
    }
    if (!runner) {
        std::fprintf(stderr,
                     "marrowby: the window is not available in this build; use -notlive "
                     "for the batch path\n%s",
                     usage_text());
        shutdownCleanup();
        return 1;
    }
    AppState::instance().loadedPath.clear();
    int code = 0;
    if (!runner(argc, argv, &code)) {
        shutdownCleanup();
        return 0;
    }
    finishInteractive();
    return code;
}

void finishInteractive() {
    StartupState& state = startup_state();
    if (state.startedWithFile && !state.loadFailed)
        MeshDocument::instance().writeObj(state.exitTarget.c_str(), state.exitSource.c_str());
    shutdownCleanup();
}
