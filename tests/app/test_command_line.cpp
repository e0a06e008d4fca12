// Cutting the command line, and the text the platform builds from argv.

#include "app/command_line.h"
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Cut {
    std::vector<char> buffer;
    CommandLineFields fields;
    CommandLineShape shape;
    explicit Cut(const std::string& text) : buffer(text.begin(), text.end()) {
        buffer.push_back('\0');
        shape = cutCommandLine(buffer.data(), fields);
    }
};

TEST(CutCommandLine, FiveFieldsAreCutInPlace) {
    Cut c("\"mesh.obj,seams.bin,-lscm,-nofillholes,-notlive\" trailing");
    ASSERT_EQ(c.shape, CommandLineShape::Complete);
    EXPECT_STREQ(c.fields.objPath, "mesh.obj");
    EXPECT_STREQ(c.fields.seamPath, "seams.bin");
    EXPECT_STREQ(c.fields.method, "-lscm");
    EXPECT_STREQ(c.fields.holes, "-nofillholes");
    EXPECT_STREQ(c.fields.batch, "-notlive");
    EXPECT_EQ(c.fields.objPath, c.buffer.data() + 1);
}

TEST(CutCommandLine, EmptySwitchFieldsAndUncheckedFirstCharacter) {
    Cut c("xa.obj,b.bin,,,\"");
    ASSERT_EQ(c.shape, CommandLineShape::Complete);
    EXPECT_STREQ(c.fields.objPath, "a.obj");
    EXPECT_STREQ(c.fields.method, "");
    EXPECT_STREQ(c.fields.batch, "");
    // A comma as the skipped first character is not field 1's end.
    Cut d(",a.obj,b.bin,,,\"");
    ASSERT_EQ(d.shape, CommandLineShape::Complete);
    EXPECT_STREQ(d.fields.objPath, "a.obj");
}

TEST(CutCommandLine, MissingCommaOrQuoteIsIncomplete) {
    EXPECT_EQ(Cut("").shape, CommandLineShape::Empty);
    EXPECT_EQ(Cut("\"").shape, CommandLineShape::Incomplete);
    EXPECT_EQ(Cut("\"a.obj,b.bin,,-notlive\"").shape, CommandLineShape::Incomplete);
    EXPECT_EQ(Cut("\"a.obj,b.bin,,,-notlive").shape, CommandLineShape::Incomplete);
    EXPECT_EQ(Cut("\"a.obj\"").shape, CommandLineShape::Incomplete);
}

TEST(CutCommandLine, FieldsOfAnyLengthAreCutWhole) {
    // Lengths around the old 253/254/255-character windows and far beyond them.
    for (size_t n : {253u, 254u, 255u, 256u, 4096u, 70000u}) {
        SCOPED_TRACE(n);
        std::string f(n, 'a');
        Cut first("\"" + f + ",b,,,\"");
        ASSERT_EQ(first.shape, CommandLineShape::Complete);
        EXPECT_EQ(std::strlen(first.fields.objPath), n);
        Cut second("\"a," + f + ",,,-notlive\"");
        ASSERT_EQ(second.shape, CommandLineShape::Complete);
        EXPECT_EQ(std::strlen(second.fields.seamPath), n);
        EXPECT_STREQ(second.fields.batch, "-notlive");
        Cut fifth("\"a,b,,," + f + "\"");
        ASSERT_EQ(fifth.shape, CommandLineShape::Complete);
        EXPECT_EQ(std::strlen(fifth.fields.batch), n);
    }
}

TEST(PlatformCommandLine, ArgumentsAreJoinedAndQuotedOnce) {
    const char* none[] = {"marrowby"};
    EXPECT_EQ(platform_command_line(1, none), "");
    const char* shell[] = {"marrowby", "m.obj,s.bin,,,-notlive"};
    EXPECT_EQ(platform_command_line(2, shell), "\"m.obj,s.bin,,,-notlive\"");
    const char* host[] = {"marrowby", "\"m.obj,s.bin,,,-notlive\""};
    EXPECT_EQ(platform_command_line(2, host), "\"m.obj,s.bin,,,-notlive\"");
    const char* split[] = {"marrowby", "my", "mesh.obj,s.bin,,,"};
    EXPECT_EQ(platform_command_line(3, split), "\"my mesh.obj,s.bin,,,\"");
}

} // namespace
