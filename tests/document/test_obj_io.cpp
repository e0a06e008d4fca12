// OBJ reading and writing: the accepted subset, the exact written text, atomic writes, bad
// input, and round trips of the real meshes.

#include "doc_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

std::string write_and_read(const MeshDocument& doc) {
    std::string path = temp_dir() + "/out.obj";
    EXPECT_TRUE(doc.writeObj(path.c_str(), path.c_str()));
    return file_text(path);
}

int count_entries(const std::string& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

const char* HEADER = "# ###############################\n"
                     "# Obj file written by Marrowby1_1\n"
                     "# Marrowby UV layout, by the Marrowby developers\n"
                     "# https://marrowby.example/\n"
                     "# ###############################\n"
                     "g MarrowbyOut\n"
                     "o MarrowbyOut\n";

TEST(ObjWriter, SmallMeshIsWrittenByteForByte) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
                                   "vt 0.25 0.75 0.0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n"
                                   "f 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n"));
    std::string expected = std::string(HEADER) + "# 4 Vertex coords\n"
                                                 "v -1.000000 -1.000000 0.000000\n"
                                                 "v 1.000000 -1.000000 0.000000\n"
                                                 "v 1.000000 1.000000 0.000000\n"
                                                 "v -1.000000 1.000000 0.000000\n"
                                                 "\n# 1 Normal vectors\n"
                                                 "vn 0.000000 0.000000 1.000000\n"
                                                 "\n# 4 texture coords\n"
                                                 "vt 0.250000 0.750000 0.00\n"
                                                 "vt 1.000000 0.000000 0.00\n"
                                                 "vt 1.000000 1.000000 0.00\n"
                                                 "vt 0.000000 1.000000 0.00\n"
                                                 "\n# 2 Faces\n"
                                                 "f  1/1/1  2/2/1  3/3/1 \n"
                                                 "f  1/1/1  3/3/1  4/4/1 \n";
    EXPECT_EQ(write_and_read(doc), expected);
}

TEST(ObjWriter, EmptyDocumentWritesHeaderAndZeroCounts) {
    MeshDocument doc;
    EXPECT_EQ(write_and_read(doc), std::string(HEADER) + "# 0 Vertex coords\n"
                                                         "\n# 0 Normal vectors\n"
                                                         "\n# 0 texture coords\n"
                                                         "\n# 0 Faces\n");
}

TEST(ObjWriter, NormalsReadBackAsTheSameFloatsPrintedAsPrintfWhereThatSuffices) {
    // "%f" where it reads back as the same float, more decimals where it does not: small
    // values, rounding ties, negative zero and huge values, and random bit patterns.
    MeshDocument doc;
    std::mt19937 rng(7);
    std::vector<float> values = {0.0f,         -0.0f,   0.5f,     1e-7f, -1e-7f, 0.0000005f,
                                 1234567.875f, 3.4e38f, -2.5e-6f, 0.1f,  1e-45f};
    for (int i = 0; i < 2000; i++) {
        uint32_t bits = rng();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f))
            values.push_back(f);
        values.push_back(float(rng() % 2000000) / 1000.0f - 1000.0f);
    }
    doc.reserve(0, 0, int(values.size()), 1);
    for (float v : values)
        doc.addNormal(v, v, v);
    std::string text = write_and_read(doc);
    std::istringstream in(text.substr(text.find("\nvn ") + 1));
    for (float v : values) {
        std::string keyword, written;
        in >> keyword >> written;
        ASSERT_EQ(keyword, "vn");
        SCOPED_TRACE(written);
        float back = std::strtof(written.c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0);
        EXPECT_EQ(written.find('e'), std::string::npos);
        char printf_text[128];
        std::snprintf(printf_text, sizeof printf_text, "%f", double(v));
        if (std::strtof(printf_text, nullptr) == v && std::signbit(v) == (printf_text[0] == '-')) {
            EXPECT_EQ(written, printf_text);
        }
        in >> written >> written; // the same value twice more
    }
}

TEST(ObjWriter, NoSourcePathWritesNothing) {
    MeshDocument doc;
    std::string path = temp_dir() + "/untouched.obj";
    write_text(path, "keep me\n");
    EXPECT_FALSE(doc.writeObj(path.c_str(), nullptr));
    EXPECT_FALSE(doc.writeObj(path.c_str(), ""));
    EXPECT_EQ(file_text(path), "keep me\n");
}

TEST(ObjWriter, FailedWriteLeavesTargetAndNoTemporaryFile) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    std::string dir = temp_dir() + "/atomic";
    std::string cmd = "rm -rf " + dir + " && mkdir -p " + dir + "/target.obj";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    // A folder in the target's place: the rename fails after the temporary file was written.
    std::string target = dir + "/target.obj";
    write_text(target + "/inside", "x");
    EXPECT_FALSE(doc.writeObj(target.c_str(), target.c_str()));
    EXPECT_EQ(count_entries(dir), 1);
    EXPECT_EQ(file_text(target + "/inside"), "x");
    // A folder that does not exist: nothing can be created.
    std::string missing = dir + "/no/such/out.obj";
    EXPECT_FALSE(doc.writeObj(missing.c_str(), missing.c_str()));
}

TEST(ObjWriter, WriteReplacesTargetKeepingItsPermissions) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    std::string dir = temp_dir() + "/perm";
    std::string cmd = "rm -rf " + dir + " && mkdir -p " + dir;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string target = dir + "/m.obj";
    write_text(target, "old\n");
    chmod(target.c_str(), 0640);
    ASSERT_TRUE(doc.writeObj(target.c_str(), target.c_str()));
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(file_text(target).rfind("# ####", 0), 0u);
    EXPECT_EQ(count_entries(dir), 1);
}

TEST(ObjWriter, PositionsAndNormalsAreWrittenBackAsRead) {
    // Each file's v and vn lines must come back as the same floats, whatever the scale.
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"small units", "v 1e-7 2e-7 0\nv 3e-7 1e-7 0\nv 1e-7 5e-7 0\nf 1 2 3\n"},
        {"far outlier", "v 1 2 3\nv 1e7 0 0\nv 0 1 0\nf 1 2 3\n"},
        {"large values", "v 1.5e18 -3e17 0\nv 0 1 0\nv 7 0 1\nf 1 2 3\n"},
        {"decimals beyond six",
         "v 0.1234567 1.0000001 -2.5\nv 1 0 0\nv 0 1 0\nvn 1e-9 0.3333333 1\nf 1//1 2//1 3//1\n"},
        {"subnormal", "v 1e-44 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"},
    };
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        MeshDocument first, second;
        ASSERT_TRUE(read_obj_text(first, text));
        std::string written = write_and_read(first);
        ASSERT_TRUE(read_obj_text(second, written)) << written;
        ASSERT_EQ(second.vertexSlots, first.vertexSlots);
        for (int i = 1; i < first.vertexSlots; i++)
            EXPECT_EQ(std::memcmp(&first.filePositions[size_t(i)], &second.filePositions[size_t(i)],
                                  sizeof(Vec3)),
                      0)
                << "vertex " << i << " in\n"
                << written;
        ASSERT_EQ(second.normalCount, first.normalCount);
        for (int i = 0; i < first.normalCount; i++)
            EXPECT_EQ(
                std::memcmp(&first.normals[size_t(i)], &second.normals[size_t(i)], sizeof(Vec3)), 0)
                << "normal " << i << " in\n"
                << written;
    }
    // The plain case still reads as "%f".
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 1 2 3\nv 1e7 0 0\nv 0 1 0\nf 1 2 3\n"));
    EXPECT_NE(write_and_read(doc).find("\nv 1.000000 2.000000 3.000000\n"), std::string::npos);
}

struct WriteTarget {
    const char* what;
    std::function<std::string(const std::string& dir)> make; // answers the path to write
    bool written;
};

#ifndef _WIN32 // links, and permission bits that Windows files do not have
TEST(ObjWriter, WritesFollowLinksKeepPermissionsAndRefuseReadOnlyFiles) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    const std::vector<WriteTarget> cases = {
        {"link to a file in another folder",
         [](const std::string& dir) {
             (void)std::system(("mkdir -p " + dir + "/real").c_str());
             write_text(dir + "/real/m.obj", "old\n");
             chmod((dir + "/real/m.obj").c_str(), 0604);
             (void)symlink("real/m.obj", (dir + "/link.obj").c_str());
             return dir + "/link.obj";
         },
         true},
        {"link to a link",
         [](const std::string& dir) {
             write_text(dir + "/m.obj", "old\n");
             chmod((dir + "/m.obj").c_str(), 0604);
             (void)symlink("m.obj", (dir + "/a.obj").c_str());
             (void)symlink(dir.c_str(), (dir + "/here").c_str());
             (void)symlink("here/a.obj", (dir + "/b.obj").c_str());
             return dir + "/b.obj";
         },
         true},
        {"read-only file",
         [](const std::string& dir) {
             write_text(dir + "/m.obj", "old\n");
             chmod((dir + "/m.obj").c_str(), 0444);
             return dir + "/m.obj";
         },
         false},
        {"link to a read-only file",
         [](const std::string& dir) {
             write_text(dir + "/m.obj", "old\n");
             chmod((dir + "/m.obj").c_str(), 0444);
             (void)symlink("m.obj", (dir + "/link.obj").c_str());
             return dir + "/link.obj";
         },
         false},
        {"a device", [](const std::string&) { return std::string("/dev/null"); }, false},
    };
    for (const WriteTarget& c : cases) {
        SCOPED_TRACE(c.what);
        std::string dir = temp_dir() + "/links";
        ASSERT_EQ(std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str()), 0);
        std::string path = c.make(dir);
        char real[PATH_MAX];
        ASSERT_NE(realpath(path.c_str(), real), nullptr);
        struct stat before, linkBefore;
        ASSERT_EQ(stat(real, &before), 0);
        ASSERT_EQ(lstat(path.c_str(), &linkBefore), 0);
        std::string old = file_text(real);
        testing::internal::CaptureStderr();
        EXPECT_EQ(doc.writeObj(path.c_str(), path.c_str()), c.written);
        std::string err = testing::internal::GetCapturedStderr();
        struct stat after, linkAfter;
        ASSERT_EQ(stat(real, &after), 0);
        ASSERT_EQ(lstat(path.c_str(), &linkAfter), 0);
        EXPECT_EQ(S_ISLNK(linkAfter.st_mode), S_ISLNK(linkBefore.st_mode));
        EXPECT_EQ(after.st_mode, before.st_mode);
        if (c.written) {
            EXPECT_EQ(file_text(path).rfind("# ####", 0), 0u);
        } else {
            EXPECT_EQ(file_text(real), old);
            EXPECT_NE(err.find(path), std::string::npos) << err;
        }
        // No temporary file is left next to the file or the link.
        std::string find =
            "test -z \"$(find " + dir + " -name '*.obj." + std::string(6, '?') + "')\"";
        EXPECT_EQ(std::system(find.c_str()), 0);
    }
}
#endif

TEST(ObjReader, BareVerticesAndFacesGetPlaceholderUvAndFaceNormals) {
    MeshDocument doc;
    ObjReader reader;
    ASSERT_TRUE(
        read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 2 4 3\n", &reader));
    EXPECT_TRUE(reader.noNormals);
    EXPECT_TRUE(reader.noTexCoords);
    EXPECT_EQ(doc.uvCount, 1);
    EXPECT_EQ(doc.normalCount, 2);
    std::string text = write_and_read(doc);
    EXPECT_NE(text.find("\n# 1 texture coords\nvt 0.000000 0.000000 0.00\n"), std::string::npos);
    EXPECT_NE(text.find("\n# 2 Normal vectors\n"), std::string::npos);
    EXPECT_NE(text.find("f  1/1/1  2/1/1  3/1/1 \nf  2/1/2  4/1/2  3/1/2 \n"), std::string::npos);
}

TEST(ObjReader, CommentsBlanksTabsAndIgnoredLines) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "# header\n"
                                   "mtllib a.mtl\r\n"
                                   "v 0 0 0 # trailing comment\n"
                                   "  \t # only blanks and a comment\n"
                                   "\tv 1 0 0\r\n"
                                   "v 0 1 0\n"
                                   "vp 0.5\n"
                                   "g group\ns 1\nusemtl stone\no thing\n"
                                   "\n"
                                   "f\t1 \t2\t\t3\n"));
    EXPECT_EQ(doc.vertexSlots, 4);
    EXPECT_EQ(doc.faceCount, 1);
    EXPECT_EQ(doc.faces[0].vertexIndices[2], 3);
    std::string text = write_and_read(doc);
    size_t groups = 0, objects = 0;
    for (size_t p = 0; (p = text.find("\ng ", p)) != std::string::npos; p++)
        groups++;
    for (size_t p = 0; (p = text.find("\no ", p)) != std::string::npos; p++)
        objects++;
    EXPECT_EQ(groups, 1u);
    EXPECT_EQ(objects, 1u);
    EXPECT_EQ(text.find("usemtl"), std::string::npos);
    EXPECT_EQ(text.find("vp"), std::string::npos);
}

TEST(ObjReader, LinesOfAnyLengthAreReadWhole) {
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    // A 90-corner face is far longer than any fixed buffer.
    std::string face90 = "f";
    for (int i = 0; i < 90; i++)
        face90 += "   " + std::to_string(1 + i % 3);
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, tri + face90 + "\n"));
    EXPECT_EQ(doc.faces[0].cornerCount, 90);
    // A comment runs to its line end however long it is.
    ASSERT_TRUE(read_obj_text(doc, tri + "# " + std::string(600, 'x') + " v 7 8 9\nf 1 2 3\n"));
    EXPECT_EQ(doc.vertexSlots, 4);
    // A 60-corner face we wrote ourselves reads back with its 60 corners.
    std::string face60 = "f";
    for (int i = 0; i < 60; i++)
        face60 += " " + std::to_string(1 + i % 3);
    ASSERT_TRUE(read_obj_text(doc, tri + face60 + "\n"));
    std::string written = write_and_read(doc);
    MeshDocument back;
    ASSERT_TRUE(read_obj_text(back, written));
    EXPECT_EQ(back.faces[0].cornerCount, 60);
}

struct FaceCorners {
    std::vector<int> uv, normal;
};

TEST(ObjReader, EveryCornerFormReadsOnAnyFaceOfAnyFile) {
    // UV 1 is the placeholder after the file's one vt; normals 1 and 2 are the own normals of
    // the faces that have corners without one.
    const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0.5 0.5\nvn 0 0 1\n"
                             "f 1 2 3\n"
                             "f 1//1 2//1 3//1\n"
                             "f 2/1 4/1/1 3\n"
                             "f 1/1/1 2/1/1 4/1/1\n";
    const std::vector<FaceCorners> expected = {{{1, 1, 1}, {1, 1, 1}},
                                               {{1, 1, 1}, {0, 0, 0}},
                                               {{0, 0, 1}, {2, 0, 2}},
                                               {{0, 0, 0}, {0, 0, 0}}};
    MeshDocument doc;
    ObjReader reader;
    ASSERT_TRUE(read_obj_text(doc, text, &reader)) << reader.error;
    EXPECT_EQ(doc.uvCount, 2);
    EXPECT_EQ(doc.uvs[1].u, 0.0f);
    EXPECT_EQ(doc.normalCount, 3);
    EXPECT_EQ(doc.normals[0].z, 1.0f);
    // The first face's own normal faces the same way (not normalised again).
    EXPECT_GT(doc.normals[1].z, 0.0f);
    EXPECT_EQ(doc.normals[1].x, 0.0f);
    ASSERT_EQ(doc.faceCount, int(expected.size()));
    for (int f = 0; f < doc.faceCount; f++) {
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(doc.faces[size_t(f)].uvIndices[k], expected[size_t(f)].uv[size_t(k)])
                << "face " << f << " corner " << k;
            EXPECT_EQ(doc.faces[size_t(f)].normalIndices[k], expected[size_t(f)].normal[size_t(k)])
                << "face " << f << " corner " << k;
        }
    }
    // Written back, every corner names what it was read with.
    EXPECT_NE(write_and_read(doc).find("f  2/1/3  4/1/1  3/2/3 \n"), std::string::npos);
}

TEST(ObjReader, FacesWithFewerThanThreeCornersAreDroppedAndCounted) {
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2\nf 1\nf 1 2 3\nf\n", 1,
         "test.obj: 3 faces with fewer than three corners dropped (the first at line 4)"},
        {"v 0 0 0\nv 1 0 0\nf 1 2\n", 0,
         "test.obj: 1 face with fewer than three corners dropped (the first at line 3)"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", 1, ""},
    };
    for (const auto& [text, faces, warning] : cases) {
        SCOPED_TRACE(text);
        MeshDocument doc;
        ObjReader reader;
        ASSERT_TRUE(read_obj_text(doc, text, &reader)) << reader.error;
        EXPECT_EQ(doc.faceCount, faces);
        if (warning.empty()) {
            EXPECT_TRUE(reader.warnings.empty());
        } else {
            ASSERT_EQ(reader.warnings.size(), 1u);
            EXPECT_EQ(reader.warnings[0], warning);
        }
    }
}

TEST(ObjReader, CornerFormsFollowTheFileContent) {
    MeshDocument doc;
    ObjReader reader;
    ASSERT_TRUE(read_obj_text(doc,
                              "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nvn 0 0 -1\n"
                              "f 1//2 2//1 3//2\n",
                              &reader));
    EXPECT_TRUE(reader.noTexCoords);
    EXPECT_FALSE(reader.noNormals);
    EXPECT_EQ(doc.uvCount, 1);
    EXPECT_EQ(doc.faces[0].uvIndices[1], 0);
    EXPECT_EQ(doc.faces[0].normalIndices[0], 1);
    EXPECT_EQ(doc.faces[0].normalIndices[1], 0);

    // vt without vn: v/vt and v/vt/vn both read, the normal replaced by the face's own.
    ASSERT_TRUE(read_obj_text(doc,
                              "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\n"
                              "f 1/2 2/1/9 3/2\nf 1/1 3/1 2/2\n",
                              &reader));
    EXPECT_TRUE(reader.noNormals);
    EXPECT_EQ(doc.normalCount, 2);
    EXPECT_EQ(doc.faces[0].uvIndices[0], 1);
    EXPECT_EQ(doc.faces[1].normalIndices[2], 1);

    // Neither: v and v//vn both read.
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2//4 3\n"));
    EXPECT_EQ(doc.faces[0].vertexIndices[1], 2);
}

struct BadInput {
    std::string text;
    const char* where;
    const char* what;
};

TEST(ObjReader, InputOutsideTheSubsetFailsNamingFileAndLine) {
    std::string corners101 = "f";
    for (int i = 0; i < 101; i++)
        corners101 += " 1";
    std::string corners100 = "f";
    for (int i = 0; i < 100; i++)
        corners100 += " " + std::to_string(1 + i % 3);
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    std::vector<BadInput> cases = {
        {"v 0 0 0\nv 1 0\n", "test.obj:2:", "fewer than three"},
        {"v 0 0 0\nvn 1 0\n", "test.obj:2:", "fewer than three"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 0\n", "test.obj:4:", "outside 1..3"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -1\n", "test.obj:4:", "outside 1..3"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n", "test.obj:4:", "outside 1..3"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/2/1 3/1/1\n",
         "test.obj:6:", "texture index"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/2\n",
         "test.obj:6:", "normal index"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2/1/1 3//1\n", "test.obj:5:", "no vt line"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2x 3\n", "test.obj:4:", "not one of v, v/vt"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2/ 3\n", "test.obj:4:", "not one of v, v/vt"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1 2/1/ 3\n", "test.obj:5:", "not one of"},
        {"v 0 0 0\n" + corners101 + "\n", "test.obj:2:", "more than 100 corners"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999999999999999999\n", "test.obj:4:", "outside"},
        // Not text: NUL bytes (a UTF-16 file, a picture) or other control bytes.
        {std::string("v 0 0 0\nv 1 0 0\n\0\n", 18), "test.obj:3:", "not a text file"},
        {std::string("\xFF\xFEv\0 \0"
                     "1\0",
                     8),
         "test.obj:1:", "not a text file"},
        {"\x89PNG\r\n\x1A\n", "test.obj:2:", "not a text file"},
        // Nothing of OBJ in it.
        {"", "test.obj", "no OBJ content"},
        {"# only a comment\ng group\n", "test.obj", "no OBJ content"},
        // Numbers that are not finite, or a position so far from the rest that the
        // normalisation would overflow.
        {"v 0 0 0\nv inf 0 0\n", "test.obj:2:", "vertex position is not a finite number"},
        {"v 0 0 0\nv 0 nan 0\n", "test.obj:2:", "vertex position is not a finite number"},
        {"v 0 0 0\nv 0 0 1e999\n", "test.obj:2:", "vertex position is not a finite number"},
        {"v 0 0 0\nvn 0 0 -inf\n", "test.obj:2:", "normal is not a finite number"},
        {"v 0 0 0\nv 1 0 0\nv 0 3e19 0\nf 1 2 3\n", "test.obj:3:", "too far from the others"},
    };
    for (const BadInput& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        MeshDocument doc;
        ObjReader reader;
        EXPECT_FALSE(read_obj_text(doc, c.text, &reader));
        EXPECT_NE(reader.error.find(c.where), std::string::npos) << reader.error;
        EXPECT_NE(reader.error.find(c.what), std::string::npos) << reader.error;
        EXPECT_EQ(doc.faceCount, 0);
        EXPECT_EQ(doc.vertexSlots, 1);
    }
    // Exactly 100 corners is still a face.
    MeshDocument doc;
    EXPECT_TRUE(read_obj_text(doc, tri + corners100 + "\n"));
    EXPECT_EQ(doc.faces[0].cornerCount, 100);
}

struct UnusualText {
    const char* what;
    std::string text;
    int vertices, faces;
    float firstX; // x of the first vertex
};

TEST(ObjReader, UnusualButValidTextReadsAsItsLinesSay) {
    const std::vector<UnusualText> cases = {
        {"lone CR line ends", "v 5 0 0\rv 1 0 0\rv 0 1 0\rf 1 2 3\r", 3, 1, 5},
        {"CR LF line ends", "v 5 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1 2 3\r\n", 3, 1, 5},
        {"mixed line ends", "v 5 0 0\rv 1 0 0\nv 0 1 0\r\n\r\nf 1 2 3", 3, 1, 5},
        {"byte order mark", "\xEF\xBB\xBFv 5 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", 3, 1, 5},
        {"signs and exponents", "v +5e0 0 0\nv -1E+0 0 0\nv .5 1. 0\nf 1 2 3\n", 3, 1, 5},
        {"too small for a float", "v 1e-60 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", 3, 1, 0},
        {"form feed and vertical tab", "v 5 0 0\f\nv 1 0 0\nv 0 1 0\v\nf 1 2 3\n", 3, 1, 5},
        {"text in another encoding in a comment", "# caf\xE9\nv 5 0 0\nv 1 0 0\nv 0 1 0\n", 3, 0,
         5},
    };
    for (const UnusualText& c : cases) {
        SCOPED_TRACE(c.what);
        MeshDocument doc;
        ObjReader reader;
        ASSERT_TRUE(read_obj_text(doc, c.text, &reader)) << reader.error;
        EXPECT_EQ(doc.vertexSlots - 1, c.vertices);
        EXPECT_EQ(doc.faceCount, c.faces);
        EXPECT_EQ(doc.filePositions[1].x, c.firstX);
    }
}

TEST(ObjReader, ReadRefusesAnythingButARegularFile) {
    std::string dir = temp_dir() + "/special";
    std::string cmd =
        "rm -rf " + dir + " && mkdir -p " + dir + "/folder.obj && mkfifo " + dir + "/pipe.obj";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::vector<std::pair<std::string, const char*>> cases = {
        {dir + "/folder.obj", "is a folder"},
        {"/dev/zero", "not a regular file"},
        {dir + "/pipe.obj", "not a regular file"},
        {dir + "/missing.obj", "cannot open"},
    };
    for (const auto& [path, what] : cases) {
        SCOPED_TRACE(path);
        MeshDocument doc;
        ObjReader reader;
        EXPECT_FALSE(reader.read(doc, path.c_str()));
        EXPECT_NE(reader.error.find(path + ": "), std::string::npos) << reader.error;
        EXPECT_NE(reader.error.find(what), std::string::npos) << reader.error;
        EXPECT_EQ(doc.vertexSlots, 1);
    }
}

TEST(ObjReader, LoadOfMissingFileFailsAndClearsTheDocument) {
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(doc.load("/nonexistent/missing.obj"));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("/nonexistent/missing.obj"), std::string::npos);
    EXPECT_EQ(doc.faceCount, 0);
    EXPECT_EQ(doc.vertexSlots, 1);
}

TEST(ObjRoundTrip, RealMeshesKeepCountsFacesIndicesAndPositions) {
    for (const std::string& path : real_meshes()) {
        SCOPED_TRACE(path);
        MeshDocument first, second;
        ObjReader reader;
        ASSERT_TRUE(reader.read(first, path.c_str())) << reader.error;
        std::string out = temp_dir() + "/roundtrip.obj";
        ASSERT_TRUE(first.writeObj(out.c_str(), path.c_str()));
        ASSERT_TRUE(reader.read(second, out.c_str())) << reader.error;
        ASSERT_EQ(first.vertexSlots, second.vertexSlots);
        ASSERT_EQ(first.faceCount, second.faceCount);
        ASSERT_EQ(first.uvCount, second.uvCount);
        ASSERT_EQ(first.normalCount, second.normalCount);
        ASSERT_EQ(first.edgeCount, second.edgeCount);
        for (int f = 0; f < first.faceCount; f++) {
            const MeshFace& a = first.faces[size_t(f)];
            const MeshFace& b = second.faces[size_t(f)];
            ASSERT_EQ(a.cornerCount, b.cornerCount);
            for (int k = 0; k < a.cornerCount; k++) {
                ASSERT_EQ(a.vertexIndices[k], b.vertexIndices[k]);
                ASSERT_EQ(a.uvIndices[k], b.uvIndices[k]);
                ASSERT_EQ(a.normalIndices[k], b.normalIndices[k]);
            }
        }
        // Positions in file coordinates agree to the printed precision.
        float tolerance = 2e-6f * first.radius + 2e-6f;
        for (int i = 1; i < first.vertexSlots; i++) {
            for (int c = 0; c < 3; c++) {
                float pa = first.centre[c] + first.radius * (&first.vertices[size_t(i)].x)[c];
                float pb = second.centre[c] + second.radius * (&second.vertices[size_t(i)].x)[c];
                ASSERT_NEAR(pa, pb, tolerance) << "vertex " << i;
            }
        }
    }
}

} // namespace
