// scenehost: the stand-in modeller on the command line. It loads libzelvora.so the way the
// modeller would, with its own C interface in place, and runs one export:
//   scenehost read MODEL                          su_read_pages_cameras_json
//   scenehost read-active MODEL                   su_read_active_pages_cameras_json (MODEL open)
//   scenehost apply MODEL CAMERAS [--save OUT]    su_apply_camera_2d (MODEL open, CAMERAS the JSON)
//   scenehost convert SRC DST YEAR                su_convert_skp_to_version
// It prints "status N" and, after a successful read, the JSON text on the next line. Exit code 0
// when the status is 0, 1 for any other status, 2 when the command itself is wrong.
#include <dlfcn.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "host/model_file.h"
#include "host/stand_in.h"

namespace {

const char* const kUsage = "usage: scenehost [--fail CALL]... read MODEL\n"
                           "       scenehost [--fail CALL]... read-active MODEL\n"
                           "       scenehost [--fail CALL]... apply MODEL CAMERAS [--save OUT]\n"
                           "       scenehost [--fail CALL]... convert SRC DST YEAR\n"
                           "The bridge is ZELVORA_LIBRARY, else libzelvora.so next to scenehost,\n"
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

std::string library_path() {
    if (const char* env = std::getenv("ZELVORA_LIBRARY"); env != nullptr && *env != '\0') {
        return env;
    }
    const std::string beside = executable_dir() + "/libzelvora.so";
    if (access(beside.c_str(), R_OK) == 0) {
        return beside;
    }
    return ZELVORA_BUILT_LIBRARY;
}

template <typename Fn> bool bind(void* lib, const char* name, Fn* fn, std::string* error) {
    void* sym = dlsym(lib, name);
    if (sym == nullptr) {
        *error = std::string("libzelvora.so has no export ") + name;
        return false;
    }
    *fn = reinterpret_cast<Fn>(sym);
    return true;
}

bool load_bridge(Bridge* bridge, std::string* error) {
    const std::string path = library_path();
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        const char* why = dlerror();
        *error = "cannot load " + path + ": " + (why ? why : "unknown error");
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
