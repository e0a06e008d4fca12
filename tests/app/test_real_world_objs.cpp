// OBJ files that other programs wrote: Debian's assimp-testmodels, run through the batch path.
// Each either loads and unwraps, or fails with a message and leaves its file byte for byte.

#include "app/startup.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const char* const MODELS = "/usr/share/assimp/models";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<fs::path> obj_files() {
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(MODELS, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string ext = it->path().extension().string();
        if (it->is_regular_file() && (ext == ".obj" || ext == ".OBJ"))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(RealWorldObj, EveryAssimpTestModelUnwrapsOrFailsLeavingItsFileUnchanged) {
    std::vector<fs::path> files = obj_files();
    if (files.empty())
        GTEST_SKIP() << "assimp-testmodels is not installed (scripts/install-deps installs it)";
    EXPECT_GE(files.size(), 20u);
    fs::path dir = fs::path("/tmp") / ("marrowby_real_world_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    int unwrapped = 0;
    for (const fs::path& source : files) {
        SCOPED_TRACE(source.string());
        fs::path copy = dir / source.filename();
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
        std::string before = read_file(copy);
        std::string arg = copy.string() + ",,,,-notlive";
        const char* argv[] = {"marrowby", arg.c_str()};
        testing::internal::CaptureStderr();
        int code = marrowby_main(2, argv);
        std::string err = testing::internal::GetCapturedStderr();
        if (code == -1) {
            // Written back: it loads again with the same vertices and faces as the original.
            MeshDocument original, written;
            ObjReader reader;
            ASSERT_TRUE(reader.readText(original, "original", before.data(), before.size()))
                << reader.error;
            ASSERT_TRUE(reader.read(written, copy.string().c_str())) << reader.error;
            EXPECT_EQ(written.vertexSlots, original.vertexSlots);
            EXPECT_EQ(written.faceCount, original.faceCount);
            EXPECT_GT(written.faceCount, 0);
            unwrapped++;
        } else {
            EXPECT_EQ(code, 3) << err;
            EXPECT_NE(err.find(copy.string()), std::string::npos) << err;
            EXPECT_NE(err.find("left unchanged"), std::string::npos) << err;
            EXPECT_EQ(read_file(copy), before);
        }
    }
    // Most of them are ordinary meshes.
    EXPECT_GE(unwrapped, int(files.size()) / 2);
    fs::remove_all(dir);
}

} // namespace
