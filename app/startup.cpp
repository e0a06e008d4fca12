#include "app/startup.h"

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/layout_check.h"
#include "app/packing_field.h"
#include "app/seam_list.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "document/undo_history.h"
#include "platform/command_line.h"
#include "platform/display.h"
#include "support/process_memory.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>
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
           "  PACKING    optional sixth field: -tightpack packs the charts' shapes at 1024\n"
           "             texels with 4 texels between charts, -tightpack=RES/PAD at RES texels\n"
           "             with PAD between charts; without it charts are packed on shelves\n"
           "  -keepflips optional, in any order with PACKING: charts keep the flattening's\n"
           "             layout even where triangles are flipped or collapsed\n"
           "  -autoseams optional, in any order with the others: the batch path adds seams\n"
           "             where charts meet before it unwraps, keeping the seam list's seams\n"
           "example: marrowby \"mesh.obj,seams.bin,,,-notlive\"\n"
           "         marrowby \"mesh.obj,seams.bin,,,-notlive,-tightpack=2048/8\"\n"
           "         marrowby \"mesh.obj,,,,-notlive,-autoseams\"\n"
           "exit codes of the batch path: 255 (-1) written, 2 usage, 3 the OBJ file could not\n"
           "be loaded or has no faces, 4 the result could not be written; the file is left\n"
           "unchanged unless the exit code is 255\n";
}

void shutdownCleanup() {
    finishStartupLoad();
    MeshDocument::instance().clear();
    UndoHistory::instance().reset();
}

namespace {

// The batch path: load, seams, unwrap, write. A file that could not be loaded, or that has no
// face to lay out, is left exactly as it was.
int runBatch(const CommandLineFields& fields) {
    std::error_code sizeError;
    const uintmax_t fileBytes = std::filesystem::file_size(fields.objPath, sizeError);
    keep_freed_memory_in_process(sizeError ? 0 : batch_heap_estimate(fileBytes));
    MeshDocument& doc = MeshDocument::instance();
    if (!doc.load(fields.objPath)) {
        std::fprintf(stderr, "marrowby: %s was not loaded and is left unchanged\n", fields.objPath);
        return EXIT_LOAD_FAILED;
    }
    if (doc.faceCount == 0) {
        std::fprintf(stderr, "marrowby: %s has no faces to lay out and is left unchanged\n",
                     fields.objPath);
        return EXIT_LOAD_FAILED;
    }
    readSeamList(fields.seamPath);
    if (engine_options().autoSeams) {
        const int added = doc.unwrapWithAutomaticSeams();
        std::fprintf(stderr, "marrowby: warning: -autoseams added %d seam edges\n", added);
    } else {
        doc.unwrapNow();
        warn_disc_cuts();
    }
    warn_faces_without_layout(doc);
    if (!doc.writeObj(fields.objPath, fields.objPath)) {
        std::fprintf(stderr, "marrowby: the result could not be written; %s is left unchanged\n",
                     fields.objPath);
        return EXIT_WRITE_FAILED;
    }
    return EXIT_BATCH_DONE;
}

// The interactive path's load of the command line's files, and what the window must say
// about them.
void load_command_line_files(const std::string& objPath, const std::string& seamPath) {
    StartupState& state = startup_state();
    MeshDocument& doc = MeshDocument::instance();
    state.loadFailed = !doc.load(objPath.c_str());
    state.startupProblem.clear();
    if (state.loadFailed && last_obj_reader())
        state.startupProblem = last_obj_reader()->error;
    std::string seamWarnings = readSeamList(seamPath.c_str());
    if (!state.loadFailed && doc.faceCount == 0)
        state.startupProblem = objPath + " has no faces to lay out; it will be left unchanged";
    else if (!state.loadFailed)
        state.startupProblem = seamWarnings;
    // The first unwrap is left to the window, which runs it in the background so that it can
    // show the mesh at once; finishStartupUnwrap runs it here for callers without one.
    state.unwrapPending = !state.loadFailed && doc.faceCount > 0;
}

// A load started by parseCommandLine for the window, and the view hooks held back meanwhile.
std::thread g_loadThread;
DocumentViewHooks g_viewHooks;
// Written by the load's thread, read after joining it.
bool g_normalisedSeen = false, g_loadedSeen = false;

} // namespace

void finishStartupLoad() {
    if (!g_loadThread.joinable())
        return;
    g_loadThread.join();
    document_view_hooks() = g_viewHooks;
    if (g_normalisedSeen && g_viewHooks.normalised)
        g_viewHooks.normalised();
    if (g_loadedSeen && g_viewHooks.loaded)
        g_viewHooks.loaded();
}

bool parseCommandLine(char* commandLine, bool loadInBackground) {
    finishStartupLoad();
    StartupState& state = startup_state();
    state.malformed = false;
    state.badPacking = false;
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
    if (!parse_switch_fields(fields.packing, engine_options())) {
        state.malformed = true;
        state.badPacking = true;
        return false;
    }
    if (std::strcmp(fields.batch, "-notlive") == 0) {
        state.batchExitCode = runBatch(fields);
        shutdownCleanup();
        return true;
    }
    state.startedWithFile = true;
    state.exitWriteSettled = false;
    state.exitTarget = fields.objPath;
    state.exitSource = fields.objPath;
    if (!loadInBackground) {
        load_command_line_files(fields.objPath, fields.seamPath);
        return false;
    }
    // The window starts while the file loads. The views learn of the load on the window's
    // thread, in finishStartupLoad.
    g_viewHooks = document_view_hooks();
    g_normalisedSeen = false;
    g_loadedSeen = false;
    document_view_hooks() =
        DocumentViewHooks{[] { g_normalisedSeen = true; }, [] { g_loadedSeen = true; }};
    g_loadThread = std::thread(load_command_line_files, std::string(fields.objPath),
                               std::string(fields.seamPath));
    return false;
}

void finishStartupUnwrap() {
    finishStartupLoad();
    StartupState& state = startup_state();
    MeshDocument& doc = MeshDocument::instance();
    if (state.unwrapPending) {
        state.unwrapPending = false;
        doc.unwrapNow();
        warn_faces_without_layout(doc);
    }
}

bool startStartupUnwrap() {
    finishStartupLoad();
    StartupState& state = startup_state();
    MeshDocument& doc = MeshDocument::instance();
    if (!state.unwrapPending)
        return false;
    state.unwrapPending = false;
    state.unwrapRunning = true;
    doc.startLiveUnwrap(UndoHistory::instance().currentId());
    return true;
}

bool startupUnwrapLanded() {
    StartupState& state = startup_state();
    if (!state.unwrapRunning || MeshDocument::instance().liveBusy)
        return false;
    state.unwrapRunning = false;
    warn_faces_without_layout(MeshDocument::instance());
    return true;
}

int marrowby_main(int argc, const char* const* argv, WindowRunner runner) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage_text(), stdout);
        return 0;
    }
    std::string text = platform_command_line(argc, argv);
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    // The window's toolkit and OpenGL context start while the file loads.
    if (parseCommandLine(line.data(), runner && platform_display_available()))
        return startup_state().batchExitCode;
    if (startup_state().badPacking) {
        std::fprintf(stderr,
                     "marrowby: the fields after the fifth must be -tightpack, -tightpack=RES/PAD, "
                     "-keepflips or -autoseams\n%s",
                     usage_text());
        shutdownCleanup();
        return EXIT_USAGE;
    }
    if (startup_state().malformed) {
        std::fprintf(stderr,
                     "marrowby: the command line needs five comma-separated fields in "
                     "double quotes\n%s",
                     usage_text());
        shutdownCleanup();
        return EXIT_USAGE;
    }
    if (!runner) {
        std::fprintf(stderr,
                     "marrowby: the window is not available in this build; use -notlive "
                     "for the batch path\n%s",
                     usage_text());
        shutdownCleanup();
        return EXIT_NO_WINDOW;
    }
    if (!platform_display_available()) {
        std::fprintf(stderr,
                     "marrowby: no window can be opened: there is no display (DISPLAY is not "
                     "set); a fifth field of -notlive selects the batch path, which needs "
                     "none\n%s",
                     usage_text());
        shutdownCleanup();
        return EXIT_NO_WINDOW;
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

namespace {

// What the user asked for before closing is in the file: a background unwrap still running
// (the first one included) is waited for and taken over.
void land_background_unwraps() {
    finishStartupLoad();
    MeshDocument::instance().completeLiveUnwrap();
    finishStartupUnwrap();
}

bool write_back(std::string* error) {
    StartupState& state = startup_state();
    MeshDocument& doc = MeshDocument::instance();
    if (state.exitWriteSettled || !state.startedWithFile || state.loadFailed)
        return true;
    if (doc.faceCount == 0) {
        std::fprintf(stderr, "marrowby: %s has no faces and is left unchanged\n",
                     state.exitTarget.c_str());
    } else if (!doc.writeObj(state.exitTarget.c_str(), state.exitSource.c_str(), error)) {
        return false;
    }
    state.exitWriteSettled = true;
    return true;
}

} // namespace

bool writeBackBeforeClose(std::string* error) {
    land_background_unwraps();
    return write_back(error);
}

void settleWriteBack() {
    startup_state().exitWriteSettled = true;
}

void finishInteractive() {
    land_background_unwraps();
    startup_state().unwrapRunning = false;
    write_back(nullptr);
    shutdownCleanup();
}
