// scenehost: the stand-in modeller on the command line. It loads libzelvora.so (zelvora.dll on
// Windows) the way the modeller would, with its own C interface in place, and runs one export:
//   scenehost read MODEL                          su_read_pages_cameras_json
//   scenehost read-active MODEL                   su_read_active_pages_cameras_json (MODEL open)
//   scenehost apply MODEL CAMERAS [--save OUT]    su_apply_camera_2d (MODEL open, CAMERAS the JSON)
//   scenehost convert SRC DST YEAR                su_convert_skp_to_version
// It prints "status N" and, after a successful read, the JSON text on the next line. Exit code 0
// when the status is 0, 1 for any other status, 2 when the command itself is wrong.
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/model_file.h"
#include "host/stand_in.h"

#ifdef _WIN32
#define ZELVORA_FILE_NAME "zelvora.dll"
#else
#define ZELVORA_FILE_NAME "libzelvora.so"
#endif

namespace {

const char* const kUsage =
    "usage: scenehost [--fail CALL]... read MODEL\n"
    "       scenehost [--fail CALL]... read-active MODEL\n"
    "       scenehost [--fail CALL]... apply MODEL CAMERAS [--save OUT]\n"
    "       scenehost [--fail CALL]... convert SRC DST YEAR\n"
    "The bridge is ZELVORA_LIBRARY, else " ZELVORA_FILE_NAME " next to scenehost,\n"
    "else the one this scenehost was built with.\n";

struct Bridge {
    int32_t (*read)(const char*, char**) = nullptr;
    int32_t (*read_active)(char**) = nullptr;
    int32_t (*apply)(const char*) = nullptr;
    int32_t (*convert)(const char*, const char*, int32_t) = nullptr;
    void (*free_text)(char*) = nullptr;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "scenehost: %s\n", message.c_str());
    return 2;
}

#ifdef _WIN32
using Library = HMODULE;

std::string executable_dir() {
    std::vector<char> buf(MAX_PATH * 4, '\0');
    const DWORD n = GetModuleFileNameA(nullptr, buf.data(), DWORD(buf.size()));
    if (n == 0 || n >= buf.size()) {
        return ".";
    }
    std::string path(buf.data(), n);
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool readable(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Library open_library(const std::string& path, std::string* why) {
    HMODULE lib = LoadLibraryA(path.c_str());
    if (lib == nullptr) {
        *why = "error " + std::to_string(GetLastError());
    }
    return lib;
}

void* find_symbol(Library lib, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(lib, name));
}
#else
using Library = void*;

std::string executable_dir() {
    std::vector<char> buf(PATH_MAX + 1, '\0');
    const ssize_t n = readlink("/proc/self/exe", buf.data(), PATH_MAX);
    if (n <= 0) {
        return ".";
    }
    std::string path(buf.data(), static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool readable(const std::string& path) {
    return access(path.c_str(), R_OK) == 0;
}

Library open_library(const std::string& path, std::string* why) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        const char* text = dlerror();
        *why = text ? text : "unknown error";
    }
    return lib;
}

void* find_symbol(Library lib, const char* name) {
    return dlsym(lib, name);
}
#endif

std::string library_path() {
    if (const char* env = std::getenv("ZELVORA_LIBRARY"); env != nullptr && *env != '\0') {
        return env;
    }
    const std::string beside = executable_dir() + "/" ZELVORA_FILE_NAME;
    if (readable(beside)) {
        return beside;
    }
    return ZELVORA_BUILT_LIBRARY;
}

template <typename Fn> bool bind(Library lib, const char* name, Fn* fn, std::string* error) {
    void* sym = find_symbol(lib, name);
    if (sym == nullptr) {
        *error = std::string(ZELVORA_FILE_NAME " has no export ") + name;
        return false;
    }
    *fn = reinterpret_cast<Fn>(sym);
    return true;
}

bool load_bridge(Bridge* bridge, std::string* error) {
    const std::string path = library_path();
    std::string why;
    Library lib = open_library(path, &why);
    if (lib == nullptr) {
        *error = "cannot load " + path + ": " + why;
        return false;
    }
    // The library stays loaded until the process ends, as in the modeller.
    return bind(lib, "su_read_pages_cameras_json", &bridge->read, error) &&
           bind(lib, "su_read_active_pages_cameras_json", &bridge->read_active, error) &&
           bind(lib, "su_apply_camera_2d", &bridge->apply, error) &&
           bind(lib, "su_convert_skp_to_version", &bridge->convert, error) &&
           bind(lib, "su_free", &bridge->free_text, error);
}

bool read_text_file(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    *text = all.str();
    return true;
}

bool open_model(const std::string& path, std::string* error) {
    HostModel model;
    if (!host_read_model_file(path, &model, error)) {
        return false;
    }
    host_set_active_model(model);
    return true;
}

int report(int32_t status) {
    std::printf("status %d\n", static_cast<int>(status));
    return status == 0 ? 0 : 1;
}

int report_text(const Bridge& bridge, int32_t status, char* text) {
    const int code = report(status);
    if (text != nullptr) {
        std::printf("%s\n", text);
        bridge.free_text(text);
    }
    return code;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    size_t i = 0;
    while (i + 1 < args.size() && args[i] == "--fail") {
        host_fail(args[i + 1], SU_ERROR_GENERIC);
        i += 2;
    }
    if (i >= args.size()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());

    Bridge bridge;
    std::string error;
    if (!load_bridge(&bridge, &error)) {
        return fail(error);
    }

    if (command == "read" && rest.size() == 1) {
        char* text = nullptr;
        const int32_t status = bridge.read(rest[0].c_str(), &text);
        return report_text(bridge, status, text);
    }
    if (command == "read-active" && rest.size() == 1) {
        if (!open_model(rest[0], &error)) {
            return fail(error);
        }
        char* text = nullptr;
        const int32_t status = bridge.read_active(&text);
        return report_text(bridge, status, text);
    }
    if (command == "apply" && (rest.size() == 2 || (rest.size() == 4 && rest[2] == "--save"))) {
        if (!open_model(rest[0], &error)) {
            return fail(error);
        }
        std::string cameras;
        if (!read_text_file(rest[1], &cameras)) {
            return fail(rest[1] + ": cannot open");
        }
        const int code = report(bridge.apply(cameras.c_str()));
        if (rest.size() == 4) {
            if (!host_write_model_file(rest[3], *host_active_model(), &error)) {
                return fail(error);
            }
            std::printf("saved %s\n", rest[3].c_str());
        }
        return code;
    }
    if (command == "convert" && rest.size() == 3) {
        errno = 0;
        char* end = nullptr;
        const long year = std::strtol(rest[2].c_str(), &end, 10);
        if (rest[2].empty() || *end != '\0' || errno != 0 || year < INT32_MIN || year > INT32_MAX) {
            return fail("YEAR must be a whole number: " + rest[2]);
        }
        return report(bridge.convert(rest[0].c_str(), rest[1].c_str(), static_cast<int32_t>(year)));
    }
    std::fputs(kUsage, stderr);
    return 2;
}
