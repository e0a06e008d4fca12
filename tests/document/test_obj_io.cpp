// OBJ reading and writing: the accepted subset, the exact written text, atomic writes, bad
// input, and round trips of the real meshes.

#include "doc_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <dirent.h>
#include <random>
#include <sys/stat.h>

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

TEST(ObjWriter, NumbersMatchPrintfFixedFormat) {
    // The writer's fast formatting must print what "%f" prints, including rounding ties,
    // negative zero and huge values.
    MeshDocument doc;
    std::mt19937 rng(7);
    std::vector<float> values = {0.0f,       -0.0f,        0.5f,    1e-7f,    -1e-7f,
                                 0.0000005f, 1234567.875f, 3.4e38f, -2.5e-6f, 0.1f};
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
        doc.addNormal(v, -v, v * 0.5f);
    std::string text = write_and_read(doc);
    std::string expected;
    char line[256];
    for (float v : values) {
        std::snprintf(line, sizeof line, "vn %f %f %f\n", double(v), double(-v), double(v * 0.5f));
        expected += line;
    }
    EXPECT_NE(text.find(expected), std::string::npos);
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

TEST(ObjReader, LongLinesAreReadInPiecesOf499Characters) {
    // 499 characters of a group line, then its continuation reads as a line of its own.
    std::string longLine = "g " + std::string(497, 'x') + "v 7 8 9\n";
    MeshDocument doc;
    ASSERT_TRUE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\n" + longLine + "f 1 2 3\n"));
    EXPECT_EQ(doc.vertexSlots, 4);
    // One character fewer: the continuation ' 7 8 9' has no keyword, so the face's third
    // vertex does not exist.
    std::string shorter = "g " + std::string(496, 'x') + "v 7 8 9\n";
    ObjReader reader;
    EXPECT_FALSE(read_obj_text(doc, "v 0 0 0\nv 1 0 0\n" + shorter + "f 1 2 3\n", &reader));
    EXPECT_NE(reader.error.find("test.obj:4:"), std::string::npos) << reader.error;
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
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1 3/1/1\n",
         "test.obj:6:", "form v/vt/vn"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2/1/1 3//1\n", "test.obj:5:", "form v//vn"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2x 3\n", "test.obj:4:", "form v"},
        {"v 0 0 0\nf\n", "test.obj:2:", "without corners"},
        {"v 0 0 0\n" + corners101 + "\n", "test.obj:2:", "more than 100 corners"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999999999999999999\n", "test.obj:4:", "outside"},
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
