// The seam list file: parsing limits and its effect on the document.

#include "app/seam_list.h"
#include "app/startup.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "document/undo_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

std::string seam_bytes(int32_t count, const std::vector<std::string>& numbers) {
    std::string s;
    for (int i = 0; i < 4; i++)
        s += char((uint32_t(count) >> (8 * i)) & 0xff);
    for (const std::string& n : numbers) {
        s += n;
        s += '\0';
    }
    return s;
}

std::vector<SeamPair> parse(const std::string& bytes) {
    return parse_seam_list(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(ParseSeamList, PairsUpToTheCount) {
    auto pairs = parse(seam_bytes(2, {"0", "1", "12", "7", "99", "98"}));
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[1].a, 12);
    EXPECT_EQ(pairs[1].b, 7);
}

TEST(ParseSeamList, StopsSafelyOnShortOrHostileData) {
    EXPECT_TRUE(parse("").empty());
    EXPECT_TRUE(parse(std::string("\x01\x00", 2)).empty());
    EXPECT_TRUE(parse(seam_bytes(-5, {"0", "1"})).empty());
    // An oversized count ends at the end of the data, dropping the half pair.
    auto pairs = parse(seam_bytes(0x7fffffff, {"3", "4", "5"}));
    ASSERT_EQ(pairs.size(), 1u);
    // A number without its zero byte.
    std::string cut = seam_bytes(1, {"3"}) + "4";
    EXPECT_TRUE(parse(cut).empty());
    // 39 characters still read; 40 stop the list.
    std::string n39(39, '1'), n40(40, '1');
    EXPECT_EQ(parse(seam_bytes(2, {"1", n39, "2", "3"})).size(), 2u);
    EXPECT_EQ(parse(seam_bytes(2, {"1", "2", n40, "3"})).size(), 1u);
}

TEST(ParseSeamList, ConversionStopsAtTheFirstNonDigit) {
    auto pairs = parse(seam_bytes(1, {"12abc", "x"}));
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].a, 12);
    EXPECT_EQ(pairs[0].b, 0);
}

// Two triangles with a texture seam between them, through the process-wide document.
struct SeamListOnDocument : testing::Test {
    std::string dir = "/tmp/marrowby_seam_test_" + std::to_string(getpid());
    void SetUp() override {
        shutdownCleanup();
        std::string cmd = "mkdir -p " + dir;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        write(dir + "/m.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                              "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0.5 0.5\nvn 0 0 1\n"
                              "f 1/1/1 2/2/1 3/3/1\nf 1/5/1 3/3/1 4/4/1\n");
        ASSERT_TRUE(MeshDocument::instance().load((dir + "/m.obj").c_str()));
    }
    void TearDown() override { shutdownCleanup(); }
    static void write(const std::string& path, const std::string& bytes) {
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    static int seams() {
        int n = 0;
        for (const MeshEdge& e : MeshDocument::instance().edges)
            n += (e.flags & FLAG_SEAM) != 0;
        return n;
    }
};

TEST_F(SeamListOnDocument, CountZeroRemovesTheFilesTextureSeams) {
    ASSERT_EQ(seams(), 1);
    MeshDocument::instance().edges[0].flags = FLAG_SELECTED;
    write(dir + "/s.bin", seam_bytes(0, {}));
    readSeamList((dir + "/s.bin").c_str());
    EXPECT_EQ(seams(), 0);
    EXPECT_EQ(MeshDocument::instance().edges[0].flags, FLAG_UNSELECTED);
    EXPECT_EQ(UndoHistory::instance().size(), 2);
}

TEST_F(SeamListOnDocument, PairZeroOneMarksTheEdgeOfTheFirstTwoVertices) {
    write(dir + "/s.bin", seam_bytes(2, {"0", "1", "3", "1"}));
    readSeamList((dir + "/s.bin").c_str());
    MeshDocument& doc = MeshDocument::instance();
    EXPECT_EQ(doc.edges[size_t(doc.findEdge(1, 2))].flags, FLAG_SEAM | FLAG_UNSELECTED);
    // (3, 1) names vertices 4 and 2, which share no edge: nothing else changes.
    EXPECT_EQ(seams(), 1);
}

struct SeamListCase {
    const char* what;
    // Written to s.bin; "<folder>" makes it a folder, "<missing>" leaves it out and
    // "<device>" names /dev/zero instead.
    std::string bytes;
    const char* warning; // expected in the one warning line; null: no warning at all
    int seams;           // seams on the document afterwards
};

TEST_F(SeamListOnDocument, ProblemsKeepTheDesignedResultAndWarnOnce) {
    const std::vector<SeamListCase> cases = {
        {"well formed", seam_bytes(1, {"0", "1"}), nullptr, 1},
        {"missing", "<missing>", "cannot open", 0},
        {"a folder", "<folder>", "is a folder", 0},
        {"a device that never ends", "<device>", "not a regular file", 0},
        {"shorter than its count", std::string("\x01\x00", 2), "shorter than its 4-byte count", 0},
        {"negative count", seam_bytes(-3, {"0", "1"}), "negative count -3", 0},
        {"ends early", seam_bytes(3, {"0", "1", "2"}), "ends after 1 of its 3 pairs", 1},
        {"number too long", seam_bytes(1, {std::string(40, '1'), "1"}), "ends after 0 of its 1", 0},
        {"not digits", seam_bytes(1, {"0x", "1"}), "characters other than digits", 1},
        {"pairs naming no edge", seam_bytes(2, {"0", "1", "7", "9"}), "1 of 2 pairs name no edge",
         1},
    };
    for (const SeamListCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = c.bytes == "<device>" ? "/dev/zero" : dir + "/s.bin";
        ASSERT_EQ(std::system(("rm -rf " + dir + "/s.bin").c_str()), 0);
        if (c.bytes == "<folder>")
            ASSERT_EQ(std::system(("mkdir " + path).c_str()), 0);
        else if (c.bytes != "<missing>" && c.bytes != "<device>")
            write(path, c.bytes);
        testing::internal::CaptureStderr();
        std::string returned = readSeamList(path.c_str());
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(seams(), c.seams);
        if (!c.warning) {
            EXPECT_EQ(err, "");
            EXPECT_EQ(returned, "");
            continue;
        }
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind("marrowby: warning: seam list " + path, 0), 0u) << err;
        EXPECT_NE(err.find(c.warning), std::string::npos) << err;
        EXPECT_NE(returned.find(c.warning), std::string::npos) << returned;
    }
    // No seam list named: no warning.
    testing::internal::CaptureStderr();
    readSeamList("");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(SeamListOnDocument, MissingFileOnlyClearsAndPushes) {
    testing::internal::CaptureStderr();
    readSeamList((dir + "/none.bin").c_str());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(seams(), 0);
    EXPECT_EQ(UndoHistory::instance().size(), 2);
    EXPECT_EQ(UndoHistory::instance().currentId(), 1);
}

} // namespace
